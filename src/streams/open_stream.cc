#include "streams/open_stream.h"

#include <new>

#include "platform/input_file.h"
#include "streams/bz2_block_stream.h"
#include "streams/gzip_stream.h"
#include "streams/lzw_stream.h"

namespace nimbrel {

StreamKind SniffStreamKind(const uint8_t head[kSniffSize]) {
  if (head[0] == 0x1F && head[1] == 0x9D) return StreamKind::kCompress;
  if (head[0] == 0x1F && head[1] == 0x8B) return StreamKind::kGzip;
  if (head[28] == 'B' && head[29] == 'Z') return StreamKind::kBz2Blocks;
  return StreamKind::kPlain;
}

std::unique_ptr<ByteStream> WrapStream(StreamKind kind, std::unique_ptr<ByteStream> raw) {
  if (raw == nullptr) return nullptr;
  switch (kind) {
    case StreamKind::kPlain:
      return raw;
    case StreamKind::kCompress:
      return std::unique_ptr<ByteStream>(new (std::nothrow) LzwStream(std::move(raw)));
    case StreamKind::kGzip:
      return std::unique_ptr<ByteStream>(new (std::nothrow) GzipStream(std::move(raw)));
    case StreamKind::kBz2Blocks:
      return std::unique_ptr<ByteStream>(new (std::nothrow) Bz2BlockStream(std::move(raw)));
  }
  return nullptr;
}

std::unique_ptr<ByteStream> OpenByteStreamOn(const char* name, int32_t fd, OpenFailure* failure) {
  OpenFailure ignored;
  if (failure == nullptr) failure = &ignored;
  *failure = OpenFailure::kNone;
  if (fd < 0) {
    *failure = OpenFailure::kCantOpen;
    return nullptr;
  }
  uint8_t head[kSniffSize];
  if (ReadInputFully(fd, head, kSniffSize) != kSniffSize) {
    CloseInputFile(fd);
    *failure = OpenFailure::kTooShort;
    return nullptr;
  }
  std::unique_ptr<ByteStream> file(new (std::nothrow) FileStream(name, fd));
  if (file == nullptr) CloseInputFile(fd);
  std::unique_ptr<ByteStream> raw;
  if (file != nullptr) raw.reset(new (std::nothrow) PrefixedStream(head, kSniffSize, std::move(file)));
  std::unique_ptr<ByteStream> stream = WrapStream(SniffStreamKind(head), std::move(raw));
  if (stream == nullptr) *failure = OpenFailure::kNoMemory;
  return stream;
}

std::unique_ptr<ByteStream> OpenByteStream(const char* path, OpenFailure* failure) {
  return OpenByteStreamOn(path, OpenInputFile(path), failure);
}

}  // namespace nimbrel
