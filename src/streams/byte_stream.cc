#include "streams/byte_stream.h"

#include <algorithm>
#include <cstdio>
#include <climits>
#include <cstring>
#include <new>

#include "platform/input_file.h"

namespace nimbrel {

ByteStream::ByteStream(const char* path) {
  std::snprintf(name, sizeof name, "%s", path);
}

ByteStream::~ByteStream() = default;

int32_t ByteStream::Borrow(const uint8_t** /*bytes*/, int32_t /*length*/) { return -1; }

int32_t ByteStream::ReadSome(uint8_t* buffer, int32_t length) {
  if (length <= 0) return 0;
  const uint8_t* lent = nullptr;
  int32_t got = Borrow(&lent, length);
  if (got < 0) return Read(buffer, length);
  if (got > 0) std::memcpy(buffer, lent, static_cast<size_t>(got));
  return got;
}

bool ByteStream::MoreAtHand() { return true; }

StreamEnd ByteStream::SourceEnd(const ByteStream& source, StreamEnd otherwise) {
  return IsFault(source.End()) ? source.End() : otherwise;
}

FileStream::FileStream(const char* path, int32_t fd, const std::atomic<bool>* stop,
                       std::atomic<int64_t>* bytesRead)
    : ByteStream(path), fd(fd), stop(stop), bytesRead(bytesRead) {}

FileStream::~FileStream() {
  CloseInputFile(fd);
  fd = -1;
}

int32_t FileStream::ReadOnce(uint8_t* buffer, int32_t length) {
  // Waits in short steps, so that a stop is seen while no data comes.
  constexpr int32_t kStep = 100;  // milliseconds
  while (stop != nullptr && !WaitForInput(fd, kStep)) {
    if (stop->load(std::memory_order_relaxed)) {
      SetEnd(StreamEnd::kInterrupted);
      return 0;
    }
  }
  if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
    SetEnd(StreamEnd::kInterrupted);
    return 0;
  }
  int32_t got = ReadInputFile(fd, buffer, length);
  if (got <= 0) {
    SetEnd(got < 0 ? StreamEnd::kReadError : StreamEnd::kEndOfData);
    return 0;
  }
  return Count(got);
}

int32_t FileStream::Read(uint8_t* buffer, int32_t length) {
  if (length <= 0) return 0;
  int32_t done = std::min(lentEnd - lentPos, length);  // what a Borrow read and did not lend
  if (done > 0) std::memcpy(buffer, lent.get() + lentPos, static_cast<size_t>(done));
  lentPos += done;
  if (End() != StreamEnd::kOpen) return done;
  if (stop == nullptr && done < length) {
    bool failed = false;
    int32_t got = ReadInputFully(fd, buffer + done, length - done, &failed);
    if (got < length - done) SetEnd(failed ? StreamEnd::kReadError : StreamEnd::kEndOfData);
    return done + Count(got);
  }
  while (done < length) {
    int32_t got = ReadOnce(buffer + done, length - done);
    if (got == 0) break;
    done += got;
  }
  return done;
}

int32_t FileStream::Borrow(const uint8_t** bytes, int32_t length) {
  if (length <= 0) return End() != StreamEnd::kOpen && lentPos == lentEnd ? 0 : -1;
  if (lentPos == lentEnd) {
    if (End() != StreamEnd::kOpen) return 0;
    if (lent == nullptr) {
      lent.reset(new (std::nothrow) uint8_t[kLendSize]);
      if (lent == nullptr) return -1;  // Read still works
    }
    lentPos = 0;
    lentEnd = ReadOnce(lent.get(), kLendSize);
    if (lentEnd == 0) return 0;
  }
  int32_t given = std::min(lentEnd - lentPos, length);
  *bytes = lent.get() + lentPos;
  lentPos += given;
  return given;
}

int32_t FileStream::ReadSome(uint8_t* buffer, int32_t length) {
  if (length <= 0) return 0;
  if (lentPos < lentEnd) return ByteStream::ReadSome(buffer, length);  // what a Borrow read
  return End() != StreamEnd::kOpen ? 0 : ReadOnce(buffer, length);
}

bool FileStream::MoreAtHand() {
  return lentPos < lentEnd || End() != StreamEnd::kOpen || WaitForInput(fd, 0);
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

int32_t PrefixedStream::ReadSome(uint8_t* buffer, int32_t length) {
  if (prefixPos < prefixSize) return ByteStream::ReadSome(buffer, length);
  if (End() != StreamEnd::kOpen || length <= 0) return 0;
  int32_t got = rest->ReadSome(buffer, length);
  if (got == 0) SetEnd(SourceEnd(*rest, StreamEnd::kEndOfData));
  return got;
}

bool PrefixedStream::MoreAtHand() { return prefixPos < prefixSize || rest->MoreAtHand(); }

std::unique_ptr<ByteStream> Peek(std::unique_ptr<ByteStream> stream, size_t length,
                                 std::vector<uint8_t>* head,
                                 bool (*enough)(const uint8_t* head, size_t size)) {
  const uint8_t* lent = nullptr;
  int32_t got = stream->Borrow(&lent, INT32_MAX);
  if (got >= 0 && (static_cast<size_t>(got) >= length || stream->End() != StreamEnd::kOpen)) {
    head->assign(lent, lent + std::min(static_cast<size_t>(got), length));
    return std::make_unique<PrefixedStream>(lent, static_cast<size_t>(got), std::move(stream), true);
  }
  // Pieces shorter than the head (a pipe's writes, a block's tail) are
  // gathered into it.
  head->assign(lent, lent + std::max(got, 0));
  while (got >= 0 && head->size() < length && stream->End() == StreamEnd::kOpen) {
    if (enough != nullptr && enough(head->data(), head->size()) && !stream->MoreAtHand()) break;
    got = stream->Borrow(&lent, static_cast<int32_t>(length - head->size()));
    if (got > 0) head->insert(head->end(), lent, lent + got);
  }
  if (got < 0) {  // a stream that does not lend
    size_t had = head->size();
    head->resize(length);
    got = stream->Read(head->data() + had, static_cast<int32_t>(length - had));
    head->resize(had + static_cast<size_t>(got));
  }
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
