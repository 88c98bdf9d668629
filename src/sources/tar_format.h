// The layout of a tar header block, named once for the walker and the
// recogniser: where the fields the walk reads lie, the ustar magic, and the
// two computations on a block (a number field, the checksum).
//
// Invariants: every offset and width lies inside the 512-byte block; the
// functions read nothing outside it and never overflow.
#ifndef NIMBREL_SOURCES_TAR_FORMAT_H_
#define NIMBREL_SOURCES_TAR_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace nimbrel {

inline constexpr int32_t kTarBlockSize = 512;
inline constexpr int32_t kTarNameOffset = 0;
inline constexpr int32_t kTarNameSize = 100;
inline constexpr int32_t kTarSizeOffset = 124;
inline constexpr int32_t kTarTimeOffset = 136;
inline constexpr int32_t kTarNumberWidth = 12;
inline constexpr int32_t kTarChecksumOffset = 148;
inline constexpr int32_t kTarChecksumWidth = 8;
inline constexpr int32_t kTarMagicOffset = 257;
inline constexpr char kTarMagic[] = "ustar";  // 5 bytes; what follows differs by variant

// Reads an octal number from `block` (kTarBlockSize bytes) at `offset` the
// way "%<width>o" would: white space is skipped (also past the field, up to
// the end of the block), then an optional sign and octal digits, at most
// `width` characters together. False when no digit converts. A negative
// sign negates the value; values beyond 2^62 saturate there.
bool ParseTarNumber(const uint8_t* block, int32_t offset, int32_t width, int64_t* value);

// The header checksum: all 512 bytes as unsigned values, with the 8 bytes of
// the checksum field counted as blanks.
int64_t TarHeaderSum(const uint8_t* block);

// Whether `head` (its first `size` bytes) begins with a tar header: the
// ustar magic, or an old-style header whose checksum matches.
bool LooksLikeTar(const uint8_t* head, size_t size);

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_TAR_FORMAT_H_
