// Converting inputs of any kind, told apart by their content (the table of
// sources/content_kind.h), never by name: archives of the formats the
// archive library reads (tar in every variant, zip, 7z, cpio, and more),
// compressed by anything it or we decode;
// archives and compressed files inside archives, streamed, never unpacked to
// disk, down to kMaxNesting levels; the bzip2-block kind; Level II volumes
// (reported, not read); framed feeds of any length (each product filed as
// its frame arrives); .jx4 files (their products read, sources/volume_input.h);
// and single product files in any naming. This file only walks: the archive
// library's adapter, the candidate buffer and the feed splitter are each a
// file of their own.
//
// Every product or member seen is reported with its outcome, and how the
// input ended once. Members of nested archives are named by their path
// through the archives ("day.tar.Z/KTLX_SDUS54_N0RTLX_200507031203").
// Memory stays bounded: a member is held only when it is a product
// candidate of at most kMaxProductSize bytes, a feed one frame at a time;
// anything larger is streamed or read past.
#ifndef NIMBREL_SOURCES_ANY_INPUT_H_
#define NIMBREL_SOURCES_ANY_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "conversion/run_context.h"
#include "streams/byte_stream.h"

namespace nimbrel {

// Archives inside archives are read down to this many levels; compressed
// layers around one file count separately, to the same limit.
inline constexpr int kMaxNesting = 4;

// Converts the file at `path` (not a folder).
InputEnd ProcessAnyFile(RunContext& context, const char* path);

// Converts what `stream` delivers (standard input, say).
InputEnd ProcessAnyStream(RunContext& context, std::unique_ptr<ByteStream> stream);

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_ANY_INPUT_H_
