// The tar archive walker: reads an archive front to back through a
// ByteStream and hands every member that carries data to ProcessProduct.
//
// Of a 512-byte header block only the name (offset 0, at most 100 bytes),
// size (124), modification time (136) and checksum (148) are read. The walk
// ends at the first all-zero block, a short block, or any header it cannot
// use. Between members the stream stands at a header boundary, since each
// member's padding is read with its data (and not passed on). Member sizes
// are 0 .. kMaxTarMemberSize, so that the rounded size fits 32 bits; a
// member's buffer grows with the bytes that actually arrive, never with what
// the header claims. Products handed on before a failure stay stored.
#ifndef NIMBREL_SOURCES_TAR_WALKER_H_
#define NIMBREL_SOURCES_TAR_WALKER_H_

#include <cstdint>

#include "products/product_intake.h"
#include "streams/open_stream.h"

namespace nimbrel {

inline constexpr int32_t kTarBlockSize = 512;
// Largest member size whose rounded size still fits a signed 32-bit count.
inline constexpr int32_t kMaxTarMemberSize = INT32_MAX - (kTarBlockSize - 1);

// Where each member's data goes: ProcessProduct in the program, a recorder
// in tests. Its result is not used.
using TarMemberHandler = bool (*)(const char* name, const uint8_t* data, int32_t size);

// Walks the archive at `path`; prints its own "***" messages.
void ProcessTar(const char* path, TarMemberHandler handler = ProcessProduct);

// Reads one member's data (its size rounded up to whole blocks) and passes
// the first `size` bytes to `handler`. True when every block arrived; false,
// after a message, when the stream ended early, and false without one when
// memory ran out or `size` is outside 0 .. kMaxTarMemberSize.
bool TarReadFile(ByteStream* stream, const char* name, int32_t size,
                 TarMemberHandler handler = ProcessProduct);

// Reads an octal number from `block` (kTarBlockSize bytes) at `offset` the
// way "%<width>o" would: white space is skipped (also past the field, up to
// the end of the block), then an optional sign and octal digits, at most
// `width` characters together. False when no digit converts. A negative
// sign negates the value; values beyond 2^62 saturate there.
bool ParseTarNumber(const uint8_t* block, int32_t offset, int32_t width, int64_t* value);

// The header checksum: all 512 bytes as unsigned values, with the 8 bytes of
// the checksum field counted as blanks.
int64_t TarHeaderSum(const uint8_t* block);

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_TAR_WALKER_H_
