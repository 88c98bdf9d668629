// Reading a stream on a thread of its own: a decoder (and the file under
// it) runs on one core while the reader of its bytes works on another.
//
// Invariants: the source is read only by the worker thread, in chunks of
// kChunk bytes, into at most kChunks buffers (memory is bounded whatever the
// source holds). Read delivers exactly the source's bytes in order, and the
// source's end reason once they are delivered. Destruction stops the worker
// (it finishes the chunk it is reading) and joins it. When no thread can be
// started, the source is read directly instead.
#ifndef NIMBREL_STREAMS_READ_AHEAD_STREAM_H_
#define NIMBREL_STREAMS_READ_AHEAD_STREAM_H_

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "streams/byte_stream.h"

namespace nimbrel {

class ReadAheadStream : public ByteStream {
 public:
  static constexpr int32_t kChunk = 256 * 1024;
  static constexpr int kChunks = 4;

  explicit ReadAheadStream(std::unique_ptr<ByteStream> source);
  ~ReadAheadStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;
  // Lends from the chunk at the head; it is given back to the worker at the
  // next call.
  int32_t Borrow(const uint8_t** bytes, int32_t length) override;

 private:
  struct Chunk {
    std::vector<uint8_t> bytes;
    int32_t filled = 0;
  };
  void Work();
  // Gives the head chunk back when it is delivered whole; under `mutex`.
  void ReleaseHead();

  std::unique_ptr<ByteStream> source;
  std::mutex mutex;
  std::condition_variable changed;
  Chunk chunks[kChunks];
  int head = 0;          // next chunk to deliver from
  int count = 0;         // chunks filled and not yet delivered
  int32_t headPos = 0;   // bytes of chunks[head] already delivered
  bool finalDelivered = false;  // the source's last chunk has been delivered
  bool stopping = false;
  bool threaded = false;
  std::thread worker;
};

}  // namespace nimbrel

#endif  // NIMBREL_STREAMS_READ_AHEAD_STREAM_H_
