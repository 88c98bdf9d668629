// Sequential readers of bytes: the interface, and the plain kind over a file
// descriptor. Decoding kinds (compress, gzip, bzip2 blocks) read their raw
// bytes from another ByteStream, so that a decoder never knows whether its
// input is a file, a pipe or the member of an outer archive.
//
// Contract of every kind:
//   - Read(buffer, length) places 0..length bytes at the start of `buffer`
//     and returns the count, never negative. A count below `length` means the
//     stream has ended; every later call returns 0. A request of length 0
//     (or less) returns 0 and changes nothing.
//   - End() says why it ended: kOpen while it may deliver more; kEndOfData
//     for a clean end; kReadError, kCorrupt or kNoMemory when the data could
//     not be read, could not be decoded or needed memory that was refused.
//     The first reason given stays.
//   - Borrow(&bytes, length) lends up to `length` of the next bytes from the
//     stream's own memory instead of copying them, and consumes them; they
//     stay valid until the next call on the stream. It returns how many (any
//     count from 1 up; 0 only at the end, with End() set), or -1 when the
//     kind does not lend (nothing is consumed: use Read). Read and Borrow
//     may be mixed.
//   - A stream owns what it reads from and releases it when destroyed.
//   - Nothing is printed.
#ifndef NIMBREL_STREAMS_BYTE_STREAM_H_
#define NIMBREL_STREAMS_BYTE_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace nimbrel {

enum class StreamEnd : uint8_t { kOpen, kEndOfData, kReadError, kCorrupt, kNoMemory };

// Whether the stream ended because its data could not be read, decoded or
// held (not simply because it ran out).
inline bool IsFault(StreamEnd end) {
  return end != StreamEnd::kOpen && end != StreamEnd::kEndOfData;
}

class ByteStream {
 public:
  // Copies `path` into `name`; a path longer than 511 characters is cut.
  explicit ByteStream(const char* path);
  virtual ~ByteStream();
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  virtual int32_t Read(uint8_t* buffer, int32_t length) = 0;
  virtual int32_t Borrow(const uint8_t** bytes, int32_t length);

  const char* Name() const { return name; }
  StreamEnd End() const { return end_; }

 protected:
  // Records why the stream ended, unless a reason is already recorded.
  void SetEnd(StreamEnd why) {
    if (end_ == StreamEnd::kOpen) end_ = why;
  }
  // The end reason for a decoder whose source ended: the source's own reason
  // when that was a fault, `otherwise` when the source simply ran out.
  static StreamEnd SourceEnd(const ByteStream& source, StreamEnd otherwise);

  char name[512];

 private:
  StreamEnd end_ = StreamEnd::kOpen;
};

// The plain kind: a descriptor's bytes as the system delivers them; each
// request is filled while data lasts, also from a pipe that hands out less
// at a time.
class FileStream : public ByteStream {
 public:
  FileStream(const char* path, int32_t fd);
  ~FileStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;

 private:
  int32_t fd;
};

// Bytes already taken from a stream (to look at them) delivered again, then
// the rest of that stream; its end is the rest's end. The bytes are copied,
// or, `borrowed`, lent by `rest` itself (they stay valid: `rest` is not
// called before they are delivered).
class PrefixedStream : public ByteStream {
 public:
  PrefixedStream(const uint8_t* prefix, size_t length, std::unique_ptr<ByteStream> rest,
                 bool borrowed = false);
  int32_t Read(uint8_t* buffer, int32_t length) override;
  int32_t Borrow(const uint8_t** bytes, int32_t length) override;

 private:
  std::vector<uint8_t> copy;
  const uint8_t* prefix;
  size_t prefixSize;
  size_t prefixPos = 0;
  std::unique_ptr<ByteStream> rest;
};

// Takes the first bytes of `stream` (up to `length` of them into `head`) and
// returns a stream that delivers them again, then the rest. A stream that
// lends keeps lending: nothing is copied but `head`.
std::unique_ptr<ByteStream> Peek(std::unique_ptr<ByteStream> stream, size_t length,
                                 std::vector<uint8_t>* head);

// Bytes held in memory by the caller, who keeps them alive while the stream
// lives (an archive member already read, a test's input).
class MemoryStream : public ByteStream {
 public:
  MemoryStream(const char* name, const uint8_t* data, size_t size);
  int32_t Read(uint8_t* buffer, int32_t length) override;
  int32_t Borrow(const uint8_t** bytes, int32_t length) override;

 private:
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
};

}  // namespace nimbrel

#endif  // NIMBREL_STREAMS_BYTE_STREAM_H_
