// Converting inputs of any kind, told apart by their content, never by
// name: archives of the formats the archive library reads (tar in every
// variant, zip, 7z, cpio, and more), compressed by anything it or we decode;
// archives and compressed files inside archives, streamed, never unpacked to
// disk, down to kMaxNesting levels; the bzip2-block kind; Level II volumes
// (reported, not read); framed feed files (taken apart into products); and
// single product files in any naming.
//
// Every product or member seen is reported with its outcome, and how the
// input ended once. Members of nested archives are named by their path
// through the archives ("day.tar.Z/KTLX_SDUS54_N0RTLX_200507031203").
// Memory stays bounded: a member is held only when it is a product
// candidate of at most kMaxProductSize bytes; anything larger is streamed
// or read past.
#ifndef NIMBREL_SOURCES_ANY_INPUT_H_
#define NIMBREL_SOURCES_ANY_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "output/report.h"
#include "streams/byte_stream.h"

namespace nimbrel {

// Archives inside archives are read down to this many levels; compressed
// layers around one file count separately, to the same limit.
inline constexpr int kMaxNesting = 4;

enum class ContentKind : uint8_t {
  kCompress,    // 1F 9D: our LZW decoder
  kGzip,        // 1F 8B: our gzip decoder
  kBz2Blocks,   // 'BZ' at bytes 28-29: our block decoder
  kLevelTwo,    // a Level II volume header
  kCompressed,  // bzip2, xz, zstd, lz4, lzip: the archive library's filters
  kArchive,     // tar, zip, 7z, cpio, rar, xar, ar: the archive library
  kFramed,      // SOH CR CR LF: products in feed framing
  kOther,       // anything else: a product candidate
};

// The kind of content whose first bytes are `head` (as many as there are,
// up to 512).
ContentKind ClassifyContent(const uint8_t* head, size_t size);

// Converts the file at `path` (not a folder).
InputEnd ProcessAnyFile(RunContext& context, const char* path);

// Converts what `stream` delivers (standard input, say).
InputEnd ProcessAnyStream(RunContext& context, std::unique_ptr<ByteStream> stream);

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_ANY_INPUT_H_
