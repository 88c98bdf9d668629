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
//     not be read, could not be decoded or needed memory that was refused;
//     kInterrupted when the run was stopped while it waited for data;
//     kCutShort when the data under it ended in the middle of something.
//     The first reason given stays.
//   - Borrow(&bytes, length) lends up to `length` of the next bytes from the
//     stream's own memory instead of copying them, and consumes them; they
//     stay valid until the next call on the stream. It returns how many (any
//     count from 1 up; 0 only at the end, with End() set), or -1 when the
//     kind does not lend (nothing is consumed: use Read). Read and Borrow
//     may be mixed.
//   - ReadSome(buffer, length) places what the stream can give without
//     waiting for more than its next piece (one read of the system, one
//     lent block): 1 to `length` bytes, or 0 only at the end, with End()
//     set. Unlike Read, a short count is no end.
//   - MoreAtHand() says whether the next bytes (or the end) can be had
//     without waiting on a live source: false only while a pipe or terminal
//     under the stream has delivered everything written to it so far. A
//     reader that may stop at a boundary (the end of a framed product) asks
//     it before waiting for bytes that may not come yet. Kinds that cannot
//     tell say true.
//   - A stream owns what it reads from and releases it when destroyed.
//   - Nothing is printed.
#ifndef NIMBREL_STREAMS_BYTE_STREAM_H_
#define NIMBREL_STREAMS_BYTE_STREAM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace nimbrel {

enum class StreamEnd : uint8_t {
  kOpen,
  kEndOfData,
  kReadError,
  kCorrupt,
  kNoMemory,
  kInterrupted,
  kCutShort,  // the data under it ran out inside what it was delivering
};

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
  virtual int32_t ReadSome(uint8_t* buffer, int32_t length);
  virtual bool MoreAtHand();

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

// The plain kind: a descriptor's bytes as the system delivers them. Read
// fills each request while data lasts, also from a pipe that hands out less
// at a time; Borrow lends what one read of the system gives (up to kLendSize
// bytes, into a buffer made at the first Borrow), so that a reader of a pipe
// gets each write as it comes. With `stop`, a wait for data (a pipe, a
// terminal) ends when the flag is set, and the stream with kInterrupted.
// With `bytesRead`, the count of bytes read is kept there for another
// thread to show.
class FileStream : public ByteStream {
 public:
  static constexpr int32_t kLendSize = 256 * 1024;

  FileStream(const char* path, int32_t fd, const std::atomic<bool>* stop = nullptr,
             std::atomic<int64_t>* bytesRead = nullptr);
  ~FileStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;
  int32_t Borrow(const uint8_t** bytes, int32_t length) override;
  int32_t ReadSome(uint8_t* buffer, int32_t length) override;
  bool MoreAtHand() override;

 private:
  int32_t Count(int32_t done) {
    if (bytesRead != nullptr) bytesRead->fetch_add(done, std::memory_order_relaxed);
    return done;
  }
  // One read of the system (after waiting for data, with `stop`): 1 to
  // `length` bytes, or 0 with the end set.
  int32_t ReadOnce(uint8_t* buffer, int32_t length);

  int32_t fd;
  const std::atomic<bool>* stop;
  std::atomic<int64_t>* bytesRead;
  std::unique_ptr<uint8_t[]> lent;  // lent[lentPos, lentEnd) is read and not yet delivered
  int32_t lentPos = 0;
  int32_t lentEnd = 0;
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
  int32_t ReadSome(uint8_t* buffer, int32_t length) override;
  bool MoreAtHand() override;

 private:
  std::vector<uint8_t> copy;
  const uint8_t* prefix;
  size_t prefixSize;
  size_t prefixPos = 0;
  std::unique_ptr<ByteStream> rest;
};

// Takes the first bytes of `stream` (`length` of them into `head`, fewer
// only when the stream ends first) and returns a stream that delivers them
// again, then the rest. With `enough`, it takes fewer when nothing more is
// at hand and `enough` says the bytes taken already decide (a live feed's
// first product may be shorter than `length`). When the first lent piece
// holds `length` bytes, nothing is copied but `head`.
std::unique_ptr<ByteStream> Peek(std::unique_ptr<ByteStream> stream, size_t length,
                                 std::vector<uint8_t>* head,
                                 bool (*enough)(const uint8_t* head, size_t size) = nullptr);

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
