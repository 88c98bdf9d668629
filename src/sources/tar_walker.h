// The tar archive walker: reads an archive front to back through a
// ByteStream and hands every member that carries data to ProcessProduct.
//
// Between members the stream stands at a header boundary, since each
// member's padding is read with its data. Products handed on before a
// failure stay stored.
#ifndef NIMBREL_SOURCES_TAR_WALKER_H_
#define NIMBREL_SOURCES_TAR_WALKER_H_

#include <cstdint>

#include "streams/byte_stream.h"

inline constexpr int32_t kTarBlockSize = 512;

// Walks the archive at `path`; prints its own "***" messages.
void ProcessTar(const char* path);

// Reads one member's data (its size rounded up to whole blocks) and passes
// the first `size` bytes to ProcessProduct. True when every block arrived.
bool TarReadFile(ByteStream* stream, const char* name, int32_t size);

#endif  // NIMBREL_SOURCES_TAR_WALKER_H_
