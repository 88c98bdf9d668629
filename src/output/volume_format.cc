#include "output/volume_format.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "platform/input_file.h"

namespace nimbrel {

namespace {

constexpr uint8_t kMagic[4] = {'J', 'X', '4', 0};
constexpr int32_t kEntriesOffset = 20;
constexpr int64_t kMaxReadableImage = int64_t{64} << 20;

void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Get32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

int64_t EndOf(const VolumeIndexEntry& entry) { return int64_t{entry.offset} + entry.length; }

bool IsZero(const VolumeIndexEntry& entry) {
  return (entry.productId | entry.reserved | entry.offset | entry.length) == 0;
}

// The checks both kinds share: magic and count, then each used entry in
// index order. Every finding goes to `all` when it is given; without it the
// scan stops at the first, which `first` receives. Returns the end of the
// images (the largest end of all used entries), or -1 after a finding.
int64_t ScanEntries(const VolumeFileHeader& header, int64_t fileSize,
                    std::vector<VolumeFinding>* all, VolumeFinding* first) {
  auto found = [&](VolumeFinding finding) {
    if (all != nullptr) all->push_back(finding);
    if (first != nullptr) *first = finding;
  };
  if (std::memcmp(header.magic, kMagic, 4) != 0) {
    found({VolumeProblem::kBadMagic});
    return -1;
  }
  if (header.entryCount < 0 || header.entryCount > kMaxVolumeEntries) {
    found({VolumeProblem::kEntryCount});
    return -1;
  }
  bool sound = true;
  int64_t end = kVolumeHeaderSize;  // of the images before
  int32_t endEntry = -1;
  for (int32_t i = 0; i < header.entryCount; ++i) {
    const VolumeIndexEntry& entry = header.entries[i];
    const int64_t entryEnd = EndOf(entry);
    VolumeFinding finding{VolumeProblem::kGap, i, endEntry};
    if (entry.offset < static_cast<uint32_t>(kVolumeHeaderSize)) {
      finding = {VolumeProblem::kInsideHeader, i};
    } else if (entryEnd > fileSize) {
      finding = {VolumeProblem::kPastEnd, i};
    } else if (entry.offset < end) {
      finding = {VolumeProblem::kOutOfOrder, i, endEntry};
    }
    // A gap loses nothing: it counts only when every finding is asked for.
    bool gap = finding.problem == VolumeProblem::kGap;
    if (!gap || (all != nullptr && entry.offset > end)) {
      found(finding);
      if (!gap && all == nullptr) return -1;
      sound = sound && gap;
    }
    if (entryEnd > end) {
      end = entryEnd;
      endEntry = i;
    }
  }
  if (sound && end < fileSize) {
    // Only what one interrupted store leaves may be cut: a tail no larger
    // than an image, behind an index whose unused entries are untouched.
    bool entriesSet = false;
    for (int32_t i = header.entryCount; i < kMaxVolumeEntries; ++i) entriesSet |= !IsZero(header.entries[i]);
    VolumeProblem tail = fileSize - end > kMaxRemnantSize ? VolumeProblem::kLongTail
                         : entriesSet                     ? VolumeProblem::kTailAndEntries
                                                          : VolumeProblem::kTail;
    if (tail != VolumeProblem::kTail || all != nullptr) found({tail, endEntry});
    if (tail != VolumeProblem::kTail) return -1;
  }
  return sound ? end : -1;
}

bool AllZero(const uint8_t* bytes, int64_t size) {
  for (int64_t i = 0; i < size; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

}  // namespace

VolumeFileHeader NewVolumeHeader(const char* station, int32_t volumeTime) {
  VolumeFileHeader header;
  std::memcpy(header.magic, kMagic, 4);
  header.volumeTime = volumeTime;
  size_t length = strnlen(station, kVolumeStationSize - 1);
  std::memcpy(header.station, station, length);
  return header;
}

// On a little-endian host the header's memory is its file layout.
constexpr bool kLayoutIsFileLayout =
    std::endian::native == std::endian::little && sizeof(VolumeFileHeader) == kVolumeHeaderSize &&
    sizeof(VolumeIndexEntry) == kVolumeEntrySize;

void EncodeVolumeHeader(const VolumeFileHeader& header, uint8_t bytes[kVolumeHeaderSize]) {
  if constexpr (kLayoutIsFileLayout) {
    std::memcpy(bytes, &header, kVolumeHeaderSize);
    return;
  }
  std::memcpy(bytes, header.magic, 4);
  Put32(bytes + 4, static_cast<uint32_t>(header.volumeTime));
  std::memcpy(bytes + 8, header.station, kVolumeStationSize);
  Put32(bytes + 16, static_cast<uint32_t>(header.entryCount));
  for (int32_t i = 0; i < kMaxVolumeEntries; ++i) {
    uint8_t* at = bytes + kEntriesOffset + i * kVolumeEntrySize;
    const VolumeIndexEntry& entry = header.entries[i];
    Put32(at, entry.productId);
    Put32(at + 4, entry.reserved);
    Put32(at + 8, entry.offset);
    Put32(at + 12, entry.length);
  }
}

void DecodeVolumeHeader(const uint8_t bytes[kVolumeHeaderSize], VolumeFileHeader* header) {
  if constexpr (kLayoutIsFileLayout) {
    std::memcpy(header, bytes, kVolumeHeaderSize);
    return;
  }
  std::memcpy(header->magic, bytes, 4);
  header->volumeTime = static_cast<int32_t>(Get32(bytes + 4));
  std::memcpy(header->station, bytes + 8, kVolumeStationSize);
  header->entryCount = static_cast<int32_t>(Get32(bytes + 16));
  for (int32_t i = 0; i < kMaxVolumeEntries; ++i) {
    const uint8_t* at = bytes + kEntriesOffset + i * kVolumeEntrySize;
    header->entries[i] = {Get32(at), Get32(at + 4), Get32(at + 8), Get32(at + 12)};
  }
}

bool HasVolumeMagic(const uint8_t* bytes, int64_t size) {
  return size >= 4 && std::memcmp(bytes, kMagic, 4) == 0;
}

FileStart JudgeFileStart(const uint8_t* head, int64_t fileSize) {
  if (fileSize < kVolumeHeaderSize) {
    // A header cut short, or zeros: what an interrupted first store or a
    // full disk leaves.
    int64_t magic = std::min<int64_t>(fileSize, 4);
    bool cutHeader = std::memcmp(head, kMagic, static_cast<size_t>(magic)) == 0;
    return cutHeader || AllZero(head, fileSize) ? FileStart::kRemnant : FileStart::kForeign;
  }
  if (HasVolumeMagic(head, fileSize)) return FileStart::kHeader;
  // The image of a first store, whose header never came.
  bool firstImage = AllZero(head, kVolumeHeaderSize) && fileSize - kVolumeHeaderSize <= kMaxRemnantSize;
  return firstImage ? FileStart::kRemnant : FileStart::kForeign;
}

const char* VolumeProblemText(VolumeProblem problem) {
  switch (problem) {
    case VolumeProblem::kShortFile: return "shorter than a header";
    case VolumeProblem::kBadMagic: return "not a JX4 file (wrong magic)";
    case VolumeProblem::kEntryCount: return "entry count outside 0..60";
    case VolumeProblem::kInsideHeader: return "image starts inside the header";
    case VolumeProblem::kPastEnd: return "image runs past the end of the file";
    case VolumeProblem::kOutOfOrder: return "image overlaps or precedes the one indexed before it";
    case VolumeProblem::kGap: return "gap before the image";
    case VolumeProblem::kTail: return "bytes behind the last image (what an interrupted store leaves; the next store cuts them)";
    case VolumeProblem::kLongTail: return "more than 16 MiB behind the last image: no interrupted store leaves that";
    case VolumeProblem::kTailAndEntries: return "bytes behind the last image while unused index entries are set (a lowered count?)";
    case VolumeProblem::kForeign: return "holds data that is not a .jx4 header";
    case VolumeProblem::kDuplicateId: return "product id indexed twice";
    case VolumeProblem::kUnusedEntry: return "unused index entry is not zero";
    case VolumeProblem::kStation: return "station id not zero-terminated";
  }
  return "unknown problem";
}

int64_t CheckAppendable(const VolumeFileHeader& header, int64_t fileSize, VolumeFinding* finding) {
  if (fileSize < kVolumeHeaderSize) {
    if (finding != nullptr) *finding = {VolumeProblem::kShortFile};
    return -1;
  }
  return ScanEntries(header, fileSize, nullptr, finding);
}

std::vector<VolumeFinding> CheckWellFormed(const VolumeFileHeader& header, int64_t fileSize) {
  std::vector<VolumeFinding> findings;
  if (fileSize < kVolumeHeaderSize) {
    findings.push_back({VolumeProblem::kShortFile});
    return findings;
  }
  ScanEntries(header, fileSize, &findings, nullptr);
  if (!findings.empty() &&
      (findings[0].problem == VolumeProblem::kBadMagic ||
       findings[0].problem == VolumeProblem::kEntryCount)) {
    return findings;
  }
  for (int32_t i = 0; i < header.entryCount; ++i) {
    for (int32_t j = 0; j < i; ++j) {
      if (header.entries[i].productId == header.entries[j].productId) {
        findings.push_back({VolumeProblem::kDuplicateId, i, j});
        break;
      }
    }
  }
  for (int32_t i = header.entryCount; i < kMaxVolumeEntries; ++i) {
    if (!IsZero(header.entries[i])) findings.push_back({VolumeProblem::kUnusedEntry, i});
  }
  if (std::memchr(header.station, 0, kVolumeStationSize) == nullptr) {
    findings.push_back({VolumeProblem::kStation});
  }
  return findings;
}

VolumeReader::~VolumeReader() { CloseInputFile(fd_); }

bool VolumeReader::Open(const char* path) {
  CloseInputFile(fd_);
  start_ = FileStart::kForeign;
  fd_ = OpenInputFile(path);
  fileSize_ = fd_ >= 0 ? InputFileSize(fd_) : -1;
  uint8_t bytes[kVolumeHeaderSize];
  int32_t wanted = static_cast<int32_t>(std::clamp<int64_t>(fileSize_, 0, kVolumeHeaderSize));
  if (fileSize_ < 0 || ReadInputAt(fd_, 0, bytes, wanted) != wanted) {
    CloseInputFile(fd_);
    fd_ = -1;
    return false;
  }
  start_ = JudgeFileStart(bytes, fileSize_);
  if (fileSize_ < kVolumeHeaderSize) {
    CloseInputFile(fd_);
    fd_ = -1;
    return false;
  }
  DecodeVolumeHeader(bytes, &header_);
  return true;
}

int32_t VolumeReader::entryCount() const {
  return std::clamp(header_.entryCount, 0, kMaxVolumeEntries);
}

bool VolumeReader::ReadImage(int32_t index, std::vector<uint8_t>* image) const {
  image->clear();
  if (fd_ < 0 || index < 0 || index >= entryCount()) return false;
  const VolumeIndexEntry& entry = header_.entries[index];
  if (entry.offset < static_cast<uint32_t>(kVolumeHeaderSize) || EndOf(entry) > fileSize_ ||
      entry.length > kMaxReadableImage) {
    return false;
  }
  image->resize(entry.length);
  int32_t length = static_cast<int32_t>(entry.length);
  if (ReadInputAt(fd_, entry.offset, image->data(), length) != length) {
    image->clear();
    return false;
  }
  return true;
}

}  // namespace nimbrel
