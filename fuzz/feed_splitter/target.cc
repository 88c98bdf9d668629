// Splits arbitrary bytes as a feed, once held whole and once arriving in
// pieces (their size, and whether the source is live, from the first two
// bytes). Checks: a product given is neither empty nor over the product
// limit; a problem comes with its reason and no image; offsets only grow
// and every item lies inside the stream; and, the source not live, both
// splits give exactly the same items (how bytes arrive changes nothing).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "products/feed_splitter.h"
#include "support/piece_stream.h"

using namespace nimbrel;

namespace {

struct Item {
  std::optional<Outcome> problem;
  std::vector<uint8_t> image;
  int64_t offset, frameSize;
  bool operator==(const Item&) const = default;
};

std::vector<Item> Split(ByteStream& stream, size_t size) {
  std::vector<Item> items;
  FeedSplitter splitter(stream);
  FeedItem item;
  int64_t last = -1;
  while (splitter.Next(&item)) {
    bool good = !item.problem.has_value();
    if (good && (item.size == 0 || item.size > static_cast<size_t>(kMaxProductSize))) std::abort();
    if (good == (item.why[0] != '\0') || (!good && item.size != 0)) std::abort();
    if (item.offset <= last || item.frameSize <= 0 ||
        item.offset + item.frameSize > static_cast<int64_t>(size)) {
      std::abort();
    }
    last = item.offset;
    items.push_back({item.problem, std::vector<uint8_t>(item.image, item.image + item.size),
                     item.offset, item.frameSize});
  }
  if (stream.End() != StreamEnd::kEndOfData) std::abort();
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  size_t piece = 1 + (data[0] * 131u) % 4099;
  bool live = (data[1] & 1) != 0;
  std::vector<uint8_t> feed(kFrameStart, kFrameStart + kFrameMarkSize);
  feed.insert(feed.end(), data + 2, data + size);
  MemoryStream whole("whole", feed.data(), feed.size());
  std::vector<Item> once = Split(whole, feed.size());
  PieceStream pieces(feed.data(), feed.size(), piece, live);
  std::vector<Item> again = Split(pieces, feed.size());
  if (!live && once != again) std::abort();
  return 0;
}
