// What an input holds, told from its first bytes by one table of
// recognisers, never by its name. Each reader says whether it recognises a
// head (its decoder, its format, the archive library's adapter); the table
// asks them in a fixed order and the first that answers yes decides.
//
// Invariants: the table is the one place that orders the kinds. The console
// program reads three of them (compress, gzip, bzip2 blocks: asked in that
// order on exactly 32 bytes) and everything else as a plain tar archive;
// jx4 reads every kind, asking on up to kHeadSize bytes. A new kind is one
// more row (its enum value, its recogniser, and who reads it). Recognisers
// read only head[0, size) and keep no state.
#ifndef NIMBREL_SOURCES_CONTENT_KIND_H_
#define NIMBREL_SOURCES_CONTENT_KIND_H_

#include <cstddef>
#include <cstdint>

namespace nimbrel {

enum class ContentKind : uint8_t {
  kCompress,    // 1F 9D: our LZW decoder
  kGzip,        // 1F 8B: our gzip decoder
  kLevelTwo,    // a Level II volume header (jx4 reports it, reads nothing)
  kBz2Blocks,   // 'BZ' at bytes 28-29: our block decoder
  kCompressed,  // bzip2, xz, zstd, lz4, lzip: the archive library's filters
  kArchive,     // tar, zip, 7z, cpio, rar, xar, ar: the archive library
  kFramed,      // SOH CR CR LF: products in feed framing, split as they arrive
  kVolume,      // 'J' 'X' '4' 0: a .jx4 file, whose products are read again
  kOther,       // anything else: for jx4 a product candidate, for the console program tar
};

// Which program's set of kinds is asked.
enum class Readers : uint8_t {
  kConsole,  // compress, gzip, bzip2 blocks; anything else is kOther
  kEvery,    // every kind, in the table's order
};

// jx4 looks at up to this many first bytes (a tar header needs 512).
inline constexpr size_t kHeadSize = 512;

// The kind whose first bytes are head[0, size).
ContentKind RecogniseContent(const uint8_t* head, size_t size, Readers readers = Readers::kEvery);

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_CONTENT_KIND_H_
