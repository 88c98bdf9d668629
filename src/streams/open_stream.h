// Choosing a stream kind by content: the first 32 bytes of an archive decide
// whether it is read plain or through a decoder. Names and extensions never
// count.
//
// The console program's kinds of the one table of recognisers
// (sources/content_kind.h), in its order: 1F 9D (compress) -> LzwStream;
// 1F 8B (gzip) -> GzipStream; 'B' 'Z' at bytes 28-29 -> Bz2BlockStream;
// anything else is plain. A bare bzip2 file (its magic at byte 0) is plain.
#ifndef NIMBREL_STREAMS_OPEN_STREAM_H_
#define NIMBREL_STREAMS_OPEN_STREAM_H_

#include <cstdint>
#include <memory>

#include "sources/content_kind.h"
#include "streams/byte_stream.h"

namespace nimbrel {

inline constexpr int32_t kSniffSize = 32;

enum class OpenFailure : uint8_t { kNone, kCantOpen, kTooShort, kNoMemory };

// `raw` read through the decoder of `kind` (kCompress, kGzip, kBz2Blocks),
// or as it is for any other kind; `raw` must deliver the data from its
// first byte. Null when no memory.
std::unique_ptr<ByteStream> WrapStream(ContentKind kind, std::unique_ptr<ByteStream> raw);

// Opens `path` and builds the stream its first 32 bytes call for. Null when
// the file cannot be opened, holds fewer than 32 bytes or no memory is left;
// `failure`, when given, says which.
std::unique_ptr<ByteStream> OpenByteStream(const char* path, OpenFailure* failure = nullptr);

// The same over a descriptor that is already open (standard input, say),
// which the stream then owns; nothing is positioned, so pipes work.
std::unique_ptr<ByteStream> OpenByteStreamOn(const char* name, int32_t fd,
                                             OpenFailure* failure = nullptr);

}  // namespace nimbrel

#endif  // NIMBREL_STREAMS_OPEN_STREAM_H_
