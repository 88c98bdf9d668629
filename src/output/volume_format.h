// The site-volume (.jx4) file format: up to 60 product images of one station
// and volume scan behind a 980-byte header that indexes them. This module
// owns the layout, the header's encoding, the two checks of a file and a
// reader; the writer, the tools that inspect files and the tests all use it.
//
// Layout (all numbers little-endian):
//   0    4   magic 'J' 'X' '4' 0
//   4    4   volume time, signed seconds since 1970-01-01 UTC
//   8    8   station id, zero-terminated, zero-padded
//   16   4   entry count, 0..60
//   20   960 60 index entries of 16 bytes: product id, reserved, offset, length
//   980  ... the images
//
// What an existing file holds is never destroyed. A file may be started
// afresh only when it can hold no stored product (JudgeFileStart): shorter
// than a header and all zero bytes or beginning with the magic (a header
// cut short), or a first 980 bytes all zero and at most kMaxRemnantSize
// bytes behind them (an interrupted first store: the image is written
// before the header). Any other file without the magic is someone's data.
//
// Two checks of a file with the magic, for two purposes:
//   - CheckAppendable: may the writer add an image without losing any? True
//     when the count is 0..60 and every used entry lies inside the file,
//     behind the header, at or after the end of the entry before it (so none
//     overlap), and bytes behind the last image can only be what one
//     interrupted store leaves: at most kMaxRemnantSize of them, and every
//     unused entry still zero (a lowered count leaves them set). Gaps between
//     images are allowed (they lose nothing); the writer cuts such a tail.
//   - CheckWellFormed: is the file exactly as the writer makes it? Also no
//     gap (images tile the file from byte 980 without a hole), no tail, ids
//     unique, unused entries zero and a terminated station id.
#ifndef NIMBREL_OUTPUT_VOLUME_FORMAT_H_
#define NIMBREL_OUTPUT_VOLUME_FORMAT_H_

#include <cstdint>
#include <vector>

namespace nimbrel {

inline constexpr int32_t kVolumeHeaderSize = 980;
inline constexpr int32_t kMaxVolumeEntries = 60;
inline constexpr int32_t kVolumeEntrySize = 16;
inline constexpr int32_t kVolumeStationSize = 8;
// Offsets in the index are 32-bit: a file may not grow past this.
inline constexpr int64_t kMaxVolumeFileSize = UINT32_MAX;
// The most one interrupted store can leave behind the indexed images: one
// image, no larger than a product may be (16 MiB).
inline constexpr int64_t kMaxRemnantSize = int64_t{16} << 20;

struct VolumeIndexEntry {
  uint32_t productId = 0;
  uint32_t reserved = 0;
  uint32_t offset = 0;  // absolute, 980 or more
  uint32_t length = 0;
};

// The header in host form.
struct VolumeFileHeader {
  char magic[4] = {};
  int32_t volumeTime = 0;
  char station[kVolumeStationSize] = {};
  int32_t entryCount = 0;
  VolumeIndexEntry entries[kMaxVolumeEntries];
};

// A fresh header for `station` (at most 7 characters are kept) and
// `volumeTime`, with an empty index.
VolumeFileHeader NewVolumeHeader(const char* station, int32_t volumeTime);

void EncodeVolumeHeader(const VolumeFileHeader& header, uint8_t bytes[kVolumeHeaderSize]);
void DecodeVolumeHeader(const uint8_t bytes[kVolumeHeaderSize], VolumeFileHeader* header);

// Whether the first four bytes are the magic.
bool HasVolumeMagic(const uint8_t* bytes, int64_t size);

// How an existing file begins, judged by its size and its first bytes
// (`head`, the first min(fileSize, 980) bytes of it).
enum class FileStart : uint8_t {
  kHeader,   // the magic and a whole header: its index decides
  kRemnant,  // can hold no product: a store starts it afresh
  kForeign,  // data that is not a .jx4 header: left unchanged
};
FileStart JudgeFileStart(const uint8_t* head, int64_t fileSize);

// What is wrong with a file. One value per kind of fault; a report names the
// entry (and the other entry) it concerns.
enum class VolumeProblem : uint8_t {
  kShortFile,        // fewer than 980 bytes
  kBadMagic,
  kEntryCount,       // outside 0..60
  kInsideHeader,     // an image starts inside the header
  kPastEnd,          // an image runs past the end of the file
  kOutOfOrder,       // an image starts before the end of the one indexed before it
  kGap,              // bytes between two images, or between the header and the first
  kTail,             // bytes behind the last image, as an interrupted store leaves them
  kDuplicateId,
  kUnusedEntry,      // an entry beyond the count is not zero
  kStation,          // the station field is not zero-terminated
  kLongTail,         // more than kMaxRemnantSize bytes behind the last image
  kTailAndEntries,   // bytes behind the last image, and unused entries set
  kForeign,          // no magic: data that is not a .jx4 header
};

struct VolumeFinding {
  VolumeProblem problem;
  int32_t entry = -1;  // the entry concerned, or -1
  int32_t other = -1;  // the earlier entry it clashes with, or -1
};

// A short English description, e.g. "image past the end of the file".
const char* VolumeProblemText(VolumeProblem problem);

// The end of the last image (largest end of all used entries; 980 with none)
// when an image can be appended without losing data, or -1 with `finding`
// (when given) saying why not.
int64_t CheckAppendable(const VolumeFileHeader& header, int64_t fileSize,
                        VolumeFinding* finding = nullptr);

// Every way in which the file differs from what the writer makes; none when
// it is well formed. The magic and count are checked first: when they are
// wrong, the entries are not looked at.
std::vector<VolumeFinding> CheckWellFormed(const VolumeFileHeader& header, int64_t fileSize);

// Reads a .jx4 file: its header and, on request, an entry's image. Open()
// fails only when the file cannot be read or is shorter than a header; a
// header with a wrong magic or count is delivered for the checks to judge.
class VolumeReader {
 public:
  VolumeReader() = default;
  ~VolumeReader();
  VolumeReader(const VolumeReader&) = delete;
  VolumeReader& operator=(const VolumeReader&) = delete;

  bool Open(const char* path);
  // How the file begins; also set when Open failed for a file shorter than
  // a header (kForeign when it could not be read at all).
  FileStart start() const { return start_; }
  const VolumeFileHeader& header() const { return header_; }
  int64_t fileSize() const { return fileSize_; }
  // The number of used entries that can be read: the count clamped to 0..60.
  int32_t entryCount() const;

  // The bytes entry `index` points at; false when the entry is not used,
  // lies outside the file or cannot be read (or held: at most 64 MiB).
  bool ReadImage(int32_t index, std::vector<uint8_t>* image) const;

 private:
  int32_t fd_ = -1;
  int64_t fileSize_ = 0;
  FileStart start_ = FileStart::kForeign;
  VolumeFileHeader header_;
};

}  // namespace nimbrel

#endif  // NIMBREL_OUTPUT_VOLUME_FORMAT_H_
