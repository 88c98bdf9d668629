// The bytes of one product candidate (a member or file that is not an
// archive, a compression or a feed), read whole so that the intake can
// look at them.
//
// Invariants: at most kMaxProductSize bytes are ever held (one more is read
// to tell a candidate over the limit); the buffer grows with the bytes that
// arrive (from the size a member announces, when it does), never with a
// size field alone, and is kept for the next candidate so that each does not
// cost a fresh allocation. A candidate lent whole by its stream (the usual
// tar member) is used in place, uncopied. Every byte handed on is one read.
#ifndef NIMBREL_SOURCES_CANDIDATE_BUFFER_H_
#define NIMBREL_SOURCES_CANDIDATE_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "conversion/outcome.h"
#include "streams/byte_stream.h"

namespace nimbrel {

class CandidateBuffer {
 public:
  // Reads the rest of `stream`; `announced` is the size its archive gave
  // (-1: none). kTooLarge when more than kMaxProductSize bytes arrive,
  // kNoMemory when they cannot be held; none when the candidate is whole
  // (or the stream failed: its End() says so).
  std::optional<Outcome> Take(ByteStream& stream, int64_t announced);

  // The candidate: valid until the next Take (and, when lent, until the
  // next call on its stream).
  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_ = 0;
};

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_CANDIDATE_BUFFER_H_
