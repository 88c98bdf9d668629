#include "streams/byte_stream.h"

#include <cstdio>
#include <new>

#include "platform/input_file.h"
#include "streams/bz2_block_stream.h"
#include "streams/gzip_stream.h"
#include "streams/lzw_stream.h"

namespace nimbrel {

ByteStream::ByteStream(const char* path) {
  std::snprintf(name, sizeof name, "%s", path);
}

ByteStream::~ByteStream() = default;

FileStream::FileStream(const char* path, int32_t fd) : ByteStream(path), fd(fd) {}

FileStream::~FileStream() {
  CloseInputFile(fd);
  fd = -1;
}

int32_t FileStream::Read(uint8_t* buffer, int32_t length) {
  if (ended || length <= 0) return 0;
  int32_t done = ReadInputFully(fd, buffer, length);
  ended = done < length;
  return done;
}

std::unique_ptr<ByteStream> OpenByteStream(const char* path) {
  int32_t fd = OpenInputFile(path);
  if (fd < 0) return nullptr;
  uint8_t head[kSniffSize];
  if (ReadInputFully(fd, head, kSniffSize) != kSniffSize) {
    CloseInputFile(fd);
    return nullptr;
  }

  ByteStream* stream = nullptr;
  if (head[0] == 0x1F && head[1] == 0x9D) {
    stream = new (std::nothrow) LzwStream(path, fd);
  } else if (head[0] == 0x1F && head[1] == 0x8B) {
    if (SeekInputFile(fd, 0)) stream = new (std::nothrow) GzipStream(path, fd);
  } else if (head[28] == 'B' && head[29] == 'Z') {
    if (SeekInputFile(fd, 0)) stream = new (std::nothrow) Bz2BlockStream(path, fd);
  } else {
    if (SeekInputFile(fd, 0)) stream = new (std::nothrow) FileStream(path, fd);
  }
  if (stream == nullptr) CloseInputFile(fd);
  return std::unique_ptr<ByteStream>(stream);
}

}  // namespace nimbrel
