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

FileStream::FileStream(const char* path, int32_t fd) : ByteStream(path), fd(fd) {}

FileStream::~FileStream() {
  CloseInputFile(fd);
  fd = -1;
}

int32_t FileStream::Read(uint8_t* buffer, int32_t length) {
  if (End() != StreamEnd::kOpen || length <= 0) return 0;
  bool failed = false;
  int32_t done = ReadInputFully(fd, buffer, length, &failed);
  if (done < length) SetEnd(failed ? StreamEnd::kReadError : StreamEnd::kEndOfData);
  return done;
}

PrefixedStream::PrefixedStream(const uint8_t* bytes, size_t length, std::unique_ptr<ByteStream> source)
    : ByteStream(source->Name()), prefix(bytes, bytes + length), rest(std::move(source)) {}

int32_t PrefixedStream::Read(uint8_t* buffer, int32_t length) {
  if (End() != StreamEnd::kOpen || length <= 0) return 0;
  int32_t done = static_cast<int32_t>(std::min(prefix.size() - prefixPos, static_cast<size_t>(length)));
  if (done > 0) std::memcpy(buffer, prefix.data() + prefixPos, static_cast<size_t>(done));
  prefixPos += static_cast<size_t>(done);
  if (done < length) done += rest->Read(buffer + done, length - done);
  if (done < length) SetEnd(SourceEnd(*rest, StreamEnd::kEndOfData));
  return done;
}

std::unique_ptr<ByteStream> Peek(std::unique_ptr<ByteStream> stream, size_t length,
                                 std::vector<uint8_t>* head) {
  head->resize(length);
  int32_t got = stream->Read(head->data(), static_cast<int32_t>(length));
  head->resize(static_cast<size_t>(got));
  return std::make_unique<PrefixedStream>(head->data(), head->size(), std::move(stream));
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
