#include "streams/gzip_stream.h"

#include <cstring>


namespace nimbrel {

namespace {

// Window bits 15 plus 16: inflate expects a gzip header and trailer.
constexpr int kGzipWindowBits = 15 + 16;

}  // namespace

GzipStream::GzipStream(std::unique_ptr<ByteStream> raw)
    : ByteStream(raw->Name()), source(std::move(raw)) {
  zs.next_in = input;
  zs.avail_in = 0;
  inflating = inflateInit2(&zs, kGzipWindowBits) == Z_OK;
  ended = !inflating;
  if (ended) SetEnd(StreamEnd::kNoMemory);
}

GzipStream::~GzipStream() {
  if (inflating) inflateEnd(&zs);
}

int32_t GzipStream::Read(uint8_t* buffer, int32_t length) {
  if (ended || length <= 0) return 0;
  zs.next_out = buffer;
  zs.avail_out = static_cast<uInt>(length);
  while (zs.avail_out > 0) {
    if (!Step()) {
      ended = true;
      break;
    }
  }
  int32_t delivered = length - static_cast<int32_t>(zs.avail_out);
  zs.next_out = nullptr;
  zs.avail_out = 0;
  return delivered;
}

bool GzipStream::Step() {
  if (memberEnded) {
    // Another member follows only where the magic does; anything else
    // (the end of the file, zero padding, other bytes) ends the stream.
    if (!Fill(2) || zs.next_in[0] != 0x1F || zs.next_in[1] != 0x8B) {
      SetEnd(SourceEnd(*source, StreamEnd::kEndOfData));
      return false;
    }
    if (inflateReset(&zs) != Z_OK) {
      SetEnd(StreamEnd::kCorrupt);
      return false;
    }
    memberEnded = false;
  }
  // Inflate runs even when the file has ended inside a member: the bits it
  // holds, or a match cut short by a full buffer, may still give bytes.
  if (zs.avail_in == 0) Fill(1);
  int rc = inflate(&zs, Z_NO_FLUSH);
  if (rc == Z_STREAM_END) {
    memberEnded = true;
    return true;
  }
  // Z_OK is progress. Z_BUF_ERROR means none is possible without more input
  // (a truncated member); anything else is a fault in the data or no memory
  // for the window.
  if (rc == Z_OK) return true;
  SetEnd(rc == Z_MEM_ERROR ? StreamEnd::kNoMemory : SourceEnd(*source, StreamEnd::kCorrupt));
  return false;
}

bool GzipStream::Fill(uInt wanted) {
  if (zs.avail_in > 0 && zs.next_in != input) std::memmove(input, zs.next_in, zs.avail_in);
  zs.next_in = input;
  while (zs.avail_in < wanted) {
    if (fileEnded) return false;
    int32_t want = kInputSize - static_cast<int32_t>(zs.avail_in);
    int32_t got = source->Read(input + zs.avail_in, want);
    fileEnded = got < want;  // no read after the end or an error
    zs.avail_in += static_cast<uInt>(got);
    if (got <= 0) return false;
  }
  return true;
}

}  // namespace nimbrel
