#include "streams/byte_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/input_file.h"

namespace nimbrel {

ByteStream::ByteStream(const char* path) {
  std::snprintf(name, sizeof name, "%s", path);
}

ByteStream::~ByteStream() = default;

StreamEnd ByteStream::SourceEnd(const ByteStream& source, StreamEnd otherwise) {
  StreamEnd why = source.End();
  return why == StreamEnd::kOpen || why == StreamEnd::kEndOfData ? otherwise : why;
}

FileStream::FileStream(const char* path, int32_t fd, const uint8_t* bytes, int32_t length)
    : ByteStream(path), fd(fd) {
  prefixLength = std::clamp(length, 0, kMaxPrefix);
  if (prefixLength > 0) std::memcpy(prefix, bytes, static_cast<size_t>(prefixLength));
}

FileStream::~FileStream() {
  CloseInputFile(fd);
  fd = -1;
}

int32_t FileStream::Read(uint8_t* buffer, int32_t length) {
  if (End() != StreamEnd::kOpen || length <= 0) return 0;
  int32_t done = std::min(prefixLength - prefixPos, length);
  std::memcpy(buffer, prefix + prefixPos, static_cast<size_t>(done));
  prefixPos += done;
  if (done == length) return done;
  bool failed = false;
  done += ReadInputFully(fd, buffer + done, length - done, &failed);
  if (done < length) SetEnd(failed ? StreamEnd::kReadError : StreamEnd::kEndOfData);
  return done;
}

MemoryStream::MemoryStream(const char* path, const uint8_t* bytes, size_t length)
    : ByteStream(path), data(bytes), size(length) {}

int32_t MemoryStream::Read(uint8_t* buffer, int32_t length) {
  if (End() != StreamEnd::kOpen || length <= 0) return 0;
  size_t take = std::min(size - pos, static_cast<size_t>(length));
  if (take > 0) std::memcpy(buffer, data + pos, take);
  pos += take;
  if (take < static_cast<size_t>(length)) SetEnd(StreamEnd::kEndOfData);
  return static_cast<int32_t>(take);
}

}  // namespace nimbrel
