// .jx4 files as inputs: every product a site-volume file holds goes to the
// intake, as if it were the product file `jx4 extract` writes, under the
// name extract gives it (output/volume_name.h), so that converting .jx4
// files files the same products as extracting them and converting what was
// extracted. What a damaged file does not give is reported, the rest still
// filed.
//
// A file is read as extract reads it (VolumeReader): each entry of a usable
// index whose image lies inside the file. A .jx4 file arriving as a stream
// (a member of an archive) is read front to back: its images in the order
// of their offsets; one that starts before the end of the one read before it
// cannot be read from a stream. Each image not read is reported as
// kCouldntRead (kTooLarge over kMaxProductSize), and the input ends as cut
// short when the file ends before an image does, or before its header
// ends, as damaged (kDecodingError) for an index that cannot be used or an
// image that cannot be read otherwise. Images are held one at a time.
#ifndef NIMBREL_SOURCES_VOLUME_INPUT_H_
#define NIMBREL_SOURCES_VOLUME_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "conversion/run_context.h"
#include "streams/byte_stream.h"

namespace nimbrel {

// Whether `head` (its first `size` bytes) begins as a .jx4 file does.
bool LooksLikeVolume(const uint8_t* head, size_t size);

// How reading a .jx4 input went: kCleanEnd, kMemberCutShort,
// kDecodingError, kReadError or kInterrupted, and what was wrong.
struct VolumeInputEnd {
  InputEnd end = InputEnd::kCleanEnd;
  std::string detail;
};

// Files the products of the .jx4 file at `path`. Members are named
// "<outer>/<name>", or "<name>" when `outer` is "".
VolumeInputEnd ProcessVolumeFile(RunContext& context, const char* path, const std::string& outer);

// Files the products of the .jx4 file that `stream` delivers; `outer` is
// its member name (its last name is taken for the volume's file name).
VolumeInputEnd ProcessVolumeStream(RunContext& context, ByteStream& stream, const std::string& outer);

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_VOLUME_INPUT_H_
