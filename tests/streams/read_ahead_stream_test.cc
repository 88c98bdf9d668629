#include "streams/read_ahead_stream.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

// Delivers `data` in its own small pieces, then ends for `why`.
class ScriptedStream : public ByteStream {
 public:
  ScriptedStream(Bytes data, StreamEnd why) : ByteStream("scripted"), data_(std::move(data)), why_(why) {}
  int32_t Read(uint8_t* buffer, int32_t length) override {
    if (End() != StreamEnd::kOpen || length <= 0) return 0;
    int32_t take = static_cast<int32_t>(std::min(data_.size() - pos_, static_cast<size_t>(length)));
    std::copy(data_.begin() + static_cast<std::ptrdiff_t>(pos_),
              data_.begin() + static_cast<std::ptrdiff_t>(pos_ + static_cast<size_t>(take)), buffer);
    pos_ += static_cast<size_t>(take);
    if (take < length) SetEnd(why_);
    return take;
  }

 private:
  Bytes data_;
  size_t pos_ = 0;
  StreamEnd why_;
};

Bytes Pattern(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
  return bytes;
}

}  // namespace

// Whatever the sizes of source and requests, the bytes come through in order
// and the source's end reason with the last of them.
TEST(ReadAheadStream, DeliversTheSourceAndItsEnd) {
  const int32_t chunk = ReadAheadStream::kChunk;
  const size_t sizes[] = {0, 1, static_cast<size_t>(chunk) - 1, static_cast<size_t>(chunk),
                          static_cast<size_t>(chunk) * 6 + 7};
  const int32_t requests[] = {1, 512, 4096, chunk, 3 * chunk + 5};
  for (StreamEnd why : {StreamEnd::kEndOfData, StreamEnd::kCorrupt}) {
    for (size_t size : sizes) {
      Bytes data = Pattern(size);
      for (int32_t request : requests) {
        if (request == 1 && size > 100000) continue;
        ReadAheadStream stream(std::make_unique<ScriptedStream>(data, why));
        Bytes got;
        Bytes buffer(static_cast<size_t>(request));
        for (int call = 0;; ++call) {
          if (call % 3 == 1) {  // borrowing and reading mixed
            const uint8_t* lent = nullptr;
            int32_t n = stream.Borrow(&lent, request);
            ASSERT_GE(n, 0);
            ASSERT_LE(n, request);
            got.insert(got.end(), lent, lent + n);
            if (n == 0) break;
            continue;
          }
          int32_t n = stream.Read(buffer.data(), request);
          ASSERT_GE(n, 0);
          got.insert(got.end(), buffer.begin(), buffer.begin() + n);
          if (n < request) break;
          EXPECT_EQ(stream.End(), StreamEnd::kOpen);
        }
        EXPECT_TRUE(got == data) << size << " in " << request;
        EXPECT_EQ(stream.End(), why) << size << " in " << request;
        EXPECT_EQ(stream.Read(buffer.data(), request), 0);
      }
    }
  }
}

// A reader that stops early leaves the worker to be stopped and joined.
TEST(ReadAheadStream, StopsWhenDestroyedEarly) {
  for (int round = 0; round < 20; ++round) {
    ReadAheadStream stream(
        std::make_unique<ScriptedStream>(Pattern(20u << 20), StreamEnd::kEndOfData));
    uint8_t buffer[100];
    EXPECT_EQ(stream.Read(buffer, round), round);
  }
}

}  // namespace nimbrel
