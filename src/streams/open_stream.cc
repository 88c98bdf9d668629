#include "streams/open_stream.h"

#include <new>

#include "platform/input_file.h"
#include "streams/bz2_block_stream.h"
#include "streams/gzip_stream.h"
#include "streams/lzw_stream.h"

namespace nimbrel {

// The console program tells its kinds by exactly the bytes the bzip2 block
// kind needs.
static_assert(kSniffSize == Bz2BlockStream::kRecogniseSize);

std::unique_ptr<ByteStream> WrapStream(ContentKind kind, std::unique_ptr<ByteStream> raw) {
  if (raw == nullptr) return nullptr;
  switch (kind) {
    case ContentKind::kCompress:
      return std::unique_ptr<ByteStream>(new (std::nothrow) LzwStream(std::move(raw)));
    case ContentKind::kGzip:
      return std::unique_ptr<ByteStream>(new (std::nothrow) GzipStream(std::move(raw)));
    case ContentKind::kBz2Blocks:
      return std::unique_ptr<ByteStream>(new (std::nothrow) Bz2BlockStream(std::move(raw)));
    default:
      return raw;
  }
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
  ContentKind kind = RecogniseContent(head, kSniffSize, Readers::kConsole);
  std::unique_ptr<ByteStream> stream = WrapStream(kind, std::move(raw));
  if (stream == nullptr) *failure = OpenFailure::kNoMemory;
  return stream;
}

std::unique_ptr<ByteStream> OpenByteStream(const char* path, OpenFailure* failure) {
  return OpenByteStreamOn(path, OpenInputFile(path), failure);
}

}  // namespace nimbrel
