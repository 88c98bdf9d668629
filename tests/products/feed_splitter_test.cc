#include "products/feed_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/piece_stream.h"
#include "support/product_builder.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

// What a splitter gives: each item's product (or problem) and offset.
struct Got {
  std::optional<Outcome> problem;
  Bytes image;
  int64_t offset;
  bool operator==(const Got&) const = default;
};

std::vector<Got> Split(ByteStream& stream) {
  std::vector<Got> items;
  FeedSplitter splitter(stream);
  FeedItem item;
  while (splitter.Next(&item)) {
    items.push_back({item.problem, Bytes(item.image, item.image + item.size), item.offset});
    EXPECT_EQ(item.problem.has_value(), item.why[0] != '\0');
  }
  return items;
}

}  // namespace

// Every stream gives the same items whatever the pieces its bytes come in,
// and damage costs only the frame it is in: the split goes on at the next
// frame, each bad one reported at the byte where it began.
TEST(FeedSplitter, DamageCostsOnlyItsFrame) {
  Bytes a = RandomProduct("N0R", 1), b = RandomProduct("N0V", 2), c = RandomProduct("NCR", 3, 60000);
  Bytes fa = FrameProduct(a, 1), fb = FrameProduct(b, 2, 3), fc = FrameProduct(c, 3, 1, false);
  Bytes tricky = a;  // holds the end framing, but no frame follows it
  const uint8_t end[] = {'\r', '\r', '\n', 0x03, 'x'};
  std::copy(end, end + 5, tricky.begin() + 200);
  Bytes cut(fb.begin(), fb.begin() + 900);  // no end framing: the next frame starts
  Bytes brokenZlib = fb;
  brokenZlib[80] ^= 0xFF;
  Bytes junk(300, 'j');
  Bytes pad = {'\r', '\n', 0, '\r', '\r', '\n'};
  Bytes overlong = FrameProduct(Bytes(kMaxFrameSize + 4096, 'z'), 4);
  const int64_t A = static_cast<int64_t>(fa.size());
  using O = std::optional<Outcome>;
  const O kGood, kBad = Outcome::kNotProduct, kLarge = Outcome::kTooLarge;
  struct Case {
    const char* what;
    Bytes stream;
    std::vector<Got> expected;  // images are left empty for problems
  } cases[] = {
      {"three kinds, padded", JoinBytes({fa, pad, fb, pad, fc, pad}),
       {{kGood, a, 0}, {kGood, b, A + 6}, {kGood, c, A + 12 + static_cast<int64_t>(fb.size())}}},
      {"end framing inside a message", JoinBytes({FrameProduct(tricky, 5), fb}),
       {{kGood, tricky, 0}, {kGood, b, static_cast<int64_t>(tricky.size()) + 15}}},
      {"a frame cut off by the next", JoinBytes({fa, cut, fc}),
       {{kGood, a, 0}, {kBad, {}, A}, {kGood, c, A + 900}}},
      {"a broken zlib stream", JoinBytes({fa, brokenZlib, fc}),
       {{kGood, a, 0}, {kBad, {}, A}, {kGood, c, A + static_cast<int64_t>(fb.size())}}},
      {"bytes between frames", JoinBytes({fa, junk, fc}),
       {{kGood, a, 0}, {kBad, {}, A}, {kGood, c, A + 300}}},
      {"bytes before the first frame", JoinBytes({junk, fa}), {{kBad, {}, 0}, {kGood, a, 300}}},
      {"bytes after the last frame", JoinBytes({fa, junk}), {{kGood, a, 0}, {kBad, {}, A}}},
      {"the data ends inside a frame", JoinBytes({fa, cut}), {{kGood, a, 0}, {kBad, {}, A}}},
      {"a frame too large to hold", JoinBytes({fa, overlong, fc}),
       {{kGood, a, 0}, {kLarge, {}, A}, {kGood, c, A + static_cast<int64_t>(overlong.size())}}},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1} << 30, size_t{4096}, size_t{777}, size_t{3}}) {
      if (piece < 4096 && c.stream.size() > (1u << 20)) continue;  // the large case in big pieces
      PieceStream stream(c.stream.data(), c.stream.size(), piece);
      std::vector<Got> got = Split(stream);
      for (Got& item : got) {
        if (item.problem.has_value()) {
          EXPECT_TRUE(item.image.empty()) << c.what;
        }
      }
      EXPECT_TRUE(got == c.expected) << c.what << " in pieces of " << piece << ": " << got.size()
                                     << " items";
      EXPECT_EQ(stream.End(), StreamEnd::kEndOfData) << c.what;
    }
  }
}

// A live feed: each product is handed on as soon as its end framing has
// arrived, before the writer's next frame is asked for; a frame is
// whole-stream only when it is the one frame of an ended stream.
TEST(FeedSplitter, HandsOnEachFrameAsItArrives) {
  Bytes a = RandomProduct("N0R", 1), b = RandomProduct("N0V", 2, 150);
  Bytes frames[] = {FrameProduct(a, 1), FrameProduct(b, 2, 1), FrameProduct(a, 3, 2)};
  Bytes feed = JoinBytes({frames[0], frames[1], frames[2]});
  // Pieces of exactly one frame each (they are of equal size here).
  Bytes same = JoinBytes({FrameProduct(a, 1), FrameProduct(a, 2), FrameProduct(a, 3)});
  PieceStream stream(same.data(), same.size(), same.size() / 3, true);
  FeedSplitter splitter(stream);
  FeedItem item;
  for (int frame = 1; frame <= 3; ++frame) {
    ASSERT_TRUE(splitter.Next(&item)) << frame;
    EXPECT_EQ(stream.pieces, frame);
    EXPECT_FALSE(item.problem.has_value());
    EXPECT_TRUE(Bytes(item.image, item.image + item.size) == a) << frame;
    EXPECT_FALSE(item.wholeStream);
  }
  EXPECT_FALSE(splitter.Next(&item));

  for (bool live : {false, true}) {
    PieceStream one(frames[1].data(), frames[1].size(), 100, live);
    FeedSplitter single(one);
    ASSERT_TRUE(single.Next(&item));
    EXPECT_TRUE(Bytes(item.image, item.image + item.size) == b);
    EXPECT_TRUE(item.wholeStream) << live;
  }
  PieceStream many(feed.data(), feed.size(), 1 << 20);
  FeedSplitter several(many);
  ASSERT_TRUE(several.Next(&item));
  EXPECT_FALSE(item.wholeStream);
}

}  // namespace nimbrel
