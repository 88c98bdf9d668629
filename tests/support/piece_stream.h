// A stream for tests and fuzz targets that lends bytes held in memory in
// pieces of a chosen size, as a pipe's writes or an archive's blocks come;
// `live`, it says like a pipe whose writer waits that nothing more is at
// hand once a piece has been lent whole. `pieces` counts the pieces begun.
#ifndef NIMBREL_TESTS_SUPPORT_PIECE_STREAM_H_
#define NIMBREL_TESTS_SUPPORT_PIECE_STREAM_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "streams/byte_stream.h"

namespace nimbrel {

class PieceStream : public ByteStream {
 public:
  PieceStream(const uint8_t* data, size_t size, size_t piece, bool live = false)
      : ByteStream("pieces"), data_(data), size_(size), piece_(piece), live_(live) {}

  int32_t Read(uint8_t* buffer, int32_t length) override {
    int32_t done = 0;
    const uint8_t* bytes = nullptr;
    for (int32_t got; done < length && (got = Borrow(&bytes, length - done)) > 0; done += got) {
      std::memcpy(buffer + done, bytes, static_cast<size_t>(got));
    }
    return done;
  }
  int32_t Borrow(const uint8_t** bytes, int32_t length) override {
    if (length <= 0) return End() != StreamEnd::kOpen ? 0 : -1;
    if (pos_ == size_) {
      SetEnd(StreamEnd::kEndOfData);
      return 0;
    }
    if (pos_ % piece_ == 0) ++pieces;
    size_t pieceEnd = std::min(size_, (pos_ / piece_ + 1) * piece_);
    size_t take = std::min(pieceEnd - pos_, static_cast<size_t>(length));
    *bytes = data_ + pos_;
    pos_ += take;
    return static_cast<int32_t>(take);
  }
  bool MoreAtHand() override { return !live_ || pos_ % piece_ != 0 || pos_ == size_; }

  int pieces = 0;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t piece_;
  bool live_;
  size_t pos_ = 0;
};

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_PIECE_STREAM_H_
