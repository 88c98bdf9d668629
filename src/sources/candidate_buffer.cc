#include "sources/candidate_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace nimbrel {

std::optional<Outcome> CandidateBuffer::Take(ByteStream& stream, int64_t announced) {
  constexpr size_t kFirst = 64 * 1024;
  constexpr size_t kLimit = static_cast<size_t>(kMaxProductSize) + 1;
  size_t wanted = announced >= 0 ? std::min(static_cast<size_t>(announced) + 1, kLimit) : kFirst;
  size_ = 0;
  data_ = buffer_.get();
  // A whole candidate lent at once is used in place.
  const uint8_t* lent = nullptr;
  int32_t got = stream.Borrow(&lent, static_cast<int32_t>(kLimit));
  if (got >= 0 && static_cast<int64_t>(got) == announced) {
    data_ = lent;
    size_ = static_cast<size_t>(got);
    return std::nullopt;
  }
  if (got > 0) wanted = std::min(std::max(wanted, static_cast<size_t>(got) + 1), kLimit);
  for (bool first = true;; first = false) {
    if (wanted > capacity_) {
      // Uninitialised: every byte handed on is one that was read.
      std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[wanted]);
      if (grown == nullptr) return Outcome::kNoMemory;
      if (size_ > 0) std::memcpy(grown.get(), buffer_.get(), size_);
      buffer_ = std::move(grown);
      capacity_ = wanted;
      data_ = buffer_.get();
    }
    if (first && got >= 0) {  // what was lent, then the rest
      if (got > 0) std::memcpy(buffer_.get(), lent, static_cast<size_t>(got));
      size_ = static_cast<size_t>(got);
      if (got == 0) break;
    }
    int32_t want = static_cast<int32_t>(capacity_ - size_);
    int32_t read = stream.Read(buffer_.get() + size_, want);
    size_ += static_cast<size_t>(read);
    if (read < want || capacity_ == kLimit) break;
    wanted = std::min(capacity_ * 2, kLimit);
  }
  if (size_ == kLimit) return Outcome::kTooLarge;
  return std::nullopt;
}

}  // namespace nimbrel
