#include "streams/read_ahead_stream.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace nimbrel {

ReadAheadStream::ReadAheadStream(std::unique_ptr<ByteStream> raw)
    : ByteStream(raw->Name()), source(std::move(raw)) {
  for (Chunk& chunk : chunks) chunk.bytes.resize(kChunk);
  try {
    worker = std::thread(&ReadAheadStream::Work, this);
    threaded = true;
  } catch (const std::system_error&) {
    threaded = false;  // read the source directly
  }
}

ReadAheadStream::~ReadAheadStream() {
  if (!threaded) return;
  {
    std::lock_guard<std::mutex> hold(mutex);
    stopping = true;
  }
  changed.notify_all();
  worker.join();
}

void ReadAheadStream::Work() {
  int tail = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> hold(mutex);
      changed.wait(hold, [this] { return stopping || count < kChunks; });
      if (stopping) return;
    }
    // The chunk at `tail` is free: only this thread touches it now.
    Chunk& chunk = chunks[tail];
    chunk.filled = source->Read(chunk.bytes.data(), kChunk);
    bool last = chunk.filled < kChunk;
    {
      std::lock_guard<std::mutex> hold(mutex);
      ++count;
    }
    changed.notify_all();
    if (last) return;
    tail = (tail + 1) % kChunks;
  }
}

void ReadAheadStream::ReleaseHead() {
  if (count == 0 || headPos < chunks[head].filled) return;
  bool last = chunks[head].filled < kChunk;
  head = (head + 1) % kChunks;
  headPos = 0;
  --count;
  changed.notify_all();
  if (last) finalDelivered = true;
}

int32_t ReadAheadStream::Read(uint8_t* buffer, int32_t length) {
  if (End() != StreamEnd::kOpen || length <= 0) return 0;
  if (!threaded) {
    int32_t got = source->Read(buffer, length);
    if (got < length) SetEnd(SourceEnd(*source, StreamEnd::kEndOfData));
    return got;
  }
  int32_t done = 0;
  std::unique_lock<std::mutex> hold(mutex);
  ReleaseHead();
  while (done < length && !finalDelivered) {
    changed.wait(hold, [this] { return count > 0; });
    Chunk& chunk = chunks[head];
    int32_t take = std::min(chunk.filled - headPos, length - done);
    hold.unlock();
    std::memcpy(buffer + done, chunk.bytes.data() + headPos, static_cast<size_t>(take));
    hold.lock();
    done += take;
    headPos += take;
    ReleaseHead();
  }
  if (done < length) SetEnd(SourceEnd(*source, StreamEnd::kEndOfData));
  return done;
}

int32_t ReadAheadStream::Borrow(const uint8_t** bytes, int32_t length) {
  if (End() != StreamEnd::kOpen) return 0;
  if (!threaded || length <= 0) return -1;
  std::unique_lock<std::mutex> hold(mutex);
  ReleaseHead();
  while (!finalDelivered) {
    changed.wait(hold, [this] { return count > 0; });
    Chunk& chunk = chunks[head];
    int32_t lent = std::min(chunk.filled - headPos, length);
    if (lent > 0) {
      *bytes = chunk.bytes.data() + headPos;
      headPos += lent;  // the chunk goes back at the next call
      return lent;
    }
    ReleaseHead();  // an empty last chunk
  }
  SetEnd(SourceEnd(*source, StreamEnd::kEndOfData));
  return 0;
}

}  // namespace nimbrel
