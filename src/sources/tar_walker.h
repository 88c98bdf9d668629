// The tar archive walker: reads an archive front to back through a
// ByteStream and hands every member that carries data to the intake.
//
// Of a 512-byte header block only the name (offset 0, at most 100 bytes),
// size (124), modification time (136) and checksum (148) are read. The walk
// ends at the first all-zero block, the end of the data, or any header it
// cannot use. Between members the stream stands at a header boundary, since
// each member's padding is read with its data (and not passed on). A member
// over kMaxProductSize bytes, or one whose data cannot be held in memory,
// is read past in bounded chunks, reported, and the walk goes on behind it;
// a member's buffer grows with the bytes that actually arrive, never with
// what the header claims. Products handed on before a failure stay stored.
// How the walk ended is reported once, and returned.
#ifndef NIMBREL_SOURCES_TAR_WALKER_H_
#define NIMBREL_SOURCES_TAR_WALKER_H_

#include <cstdint>
#include <functional>

#include "conversion/run_context.h"
#include "sources/tar_format.h"
#include "streams/open_stream.h"

namespace nimbrel {

// Where each member's data goes: the intake in the program, a recorder in
// tests.
using MemberHandler = std::function<void(const char* name, const uint8_t* data, int32_t size)>;

// Walks the archive at `path`; members go to `handler`, or to
// ProcessProduct when it is null.
InputEnd ProcessTar(RunContext& context, const char* path, const MemberHandler* handler = nullptr);

// The same over a stream already open.
InputEnd WalkTar(RunContext& context, ByteStream& stream, const MemberHandler& handler);

// Reads one member's data (its size rounded up to whole blocks) and passes
// the first `size` bytes to `handler`, or reads past them (reporting
// kTooLarge or kNoMemory) when they are over kMaxProductSize or cannot be
// held. False when the stream ended first.
bool TarReadFile(RunContext& context, ByteStream& stream, const char* name, int64_t size,
                 const MemberHandler& handler);

// How an input ended when the walk stopped in `end`ed data: the stream's
// fault (damaged data, a read error, no memory), or `otherwise` when the
// data simply ran out or the stream is still open.
InputEnd InputEndOf(StreamEnd end, InputEnd otherwise);

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_TAR_WALKER_H_
