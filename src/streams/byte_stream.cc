#include "streams/byte_stream.h"

#include <algorithm>
#include <cstdio>
#include <climits>
#include <cstring>

#include "platform/input_file.h"

namespace nimbrel {

ByteStream::ByteStream(const char* path) {
  std::snprintf(name, sizeof name, "%s", path);
}

ByteStream::~ByteStream() = default;

int32_t ByteStream::Borrow(const uint8_t** /*bytes*/, int32_t /*length*/) { return -1; }

StreamEnd ByteStream::SourceEnd(const ByteStream& source, StreamEnd otherwise) {
  return IsFault(source.End()) ? source.End() : otherwise;
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

PrefixedStream::PrefixedStream(const uint8_t* bytes, size_t length, std::unique_ptr<ByteStream> source,
                               bool borrowed)
    : ByteStream(source->Name()), prefix(bytes), prefixSize(length), rest(std::move(source)) {
  if (!borrowed) {
    copy.assign(bytes, bytes + length);
    prefix = copy.data();
  }
}

int32_t PrefixedStream::Read(uint8_t* buffer, int32_t length) {
  if (End() != StreamEnd::kOpen || length <= 0) return 0;
  int32_t done = static_cast<int32_t>(std::min(prefixSize - prefixPos, static_cast<size_t>(length)));
  if (done > 0) std::memcpy(buffer, prefix + prefixPos, static_cast<size_t>(done));
  prefixPos += static_cast<size_t>(done);
  if (done < length) done += rest->Read(buffer + done, length - done);
  if (done < length) SetEnd(SourceEnd(*rest, StreamEnd::kEndOfData));
  return done;
}

int32_t PrefixedStream::Borrow(const uint8_t** bytes, int32_t length) {
  if (End() != StreamEnd::kOpen || length <= 0) return End() != StreamEnd::kOpen ? 0 : -1;
  if (prefixPos < prefixSize) {
    int32_t lent = static_cast<int32_t>(std::min(prefixSize - prefixPos, static_cast<size_t>(length)));
    *bytes = prefix + prefixPos;
    prefixPos += static_cast<size_t>(lent);
    return lent;
  }
  int32_t lent = rest->Borrow(bytes, length);
  if (lent == 0) SetEnd(SourceEnd(*rest, StreamEnd::kEndOfData));
  return lent;
}

std::unique_ptr<ByteStream> Peek(std::unique_ptr<ByteStream> stream, size_t length,
                                 std::vector<uint8_t>* head) {
  const uint8_t* lent = nullptr;
  int32_t got = stream->Borrow(&lent, INT32_MAX);
  if (got >= 0) {
    head->assign(lent, lent + std::min(static_cast<size_t>(got), length));
    return std::make_unique<PrefixedStream>(lent, static_cast<size_t>(got), std::move(stream), true);
  }
  head->resize(length);
  got = stream->Read(head->data(), static_cast<int32_t>(length));
  head->resize(static_cast<size_t>(got));
  return std::make_unique<PrefixedStream>(head->data(), head->size(), std::move(stream));
}

MemoryStream::MemoryStream(const char* path, const uint8_t* bytes, size_t length)
    : ByteStream(path), data(bytes), size(length) {}

int32_t MemoryStream::Borrow(const uint8_t** bytes, int32_t length) {
  if (End() != StreamEnd::kOpen || length <= 0) return End() != StreamEnd::kOpen ? 0 : -1;
  size_t lent = std::min(size - pos, static_cast<size_t>(length));
  *bytes = data + pos;
  pos += lent;
  if (lent == 0) SetEnd(StreamEnd::kEndOfData);
  return static_cast<int32_t>(lent);
}

int32_t MemoryStream::Read(uint8_t* buffer, int32_t length) {
  if (End() != StreamEnd::kOpen || length <= 0) return 0;
  size_t take = std::min(size - pos, static_cast<size_t>(length));
  if (take > 0) std::memcpy(buffer, data + pos, take);
  pos += take;
  if (take < static_cast<size_t>(length)) SetEnd(StreamEnd::kEndOfData);
  return static_cast<int32_t>(take);
}

}  // namespace nimbrel
