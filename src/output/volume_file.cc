#include "output/volume_file.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/clock.h"
#include "platform/output_file.h"

namespace nimbrel {

int32_t productsStored = 0;
int32_t filesCreated = 0;

namespace {

constexpr char kMagic[4] = {'J', 'X', '4', '\0'};

// Offsets in the index are 32-bit: a file may not grow past this.
constexpr int64_t kMaxVolumeFileSize = UINT32_MAX;

// A fresh header for `station` and `volumeTime`, with an empty index.
void InitialiseHeader(VolumeFileHeader* header, const char* station, int32_t volumeTime) {
  std::memset(header, 0, sizeof *header);
  std::memcpy(header->magic, kMagic, sizeof kMagic);
  header->volumeTime = volumeTime;
  std::strncpy(header->station, station, sizeof header->station - 1);
}

// Where the images indexed by a valid header end, or -1 when the header is
// damaged: a count outside 0..60 or an image beyond `fileSize`.
int64_t IndexedEnd(const VolumeFileHeader& header, int64_t fileSize) {
  if (header.entryCount < 0 || header.entryCount > kMaxVolumeEntries) return -1;
  if (header.entryCount == 0) return kVolumeHeaderSize;
  const VolumeIndexEntry& last = header.entries[header.entryCount - 1];
  int64_t end = int64_t{last.offset} + last.length;
  if (end < kVolumeHeaderSize || end > fileSize) return -1;
  return end;
}

}  // namespace

bool MakeVolumeFileName(char* buffer, const char* station, int32_t volumeTime) {
  if (volumeTime < 0) return false;
  std::tm fields;
  if (!UtcCalendar(volumeTime, &fields)) return false;
  std::snprintf(buffer, kPathBufferSize, "%s_%.4d%.2d%.2d_%.2d%.2d%.2d.jx4", station,
                fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                fields.tm_min, fields.tm_sec);
  return true;
}

bool StoreProduct(const char* station, const ProductEntry& product, int32_t volumeTime,
                  int32_t reserved, const uint8_t* image, int32_t imageLength) {
  char fileName[kPathBufferSize];
  if (!MakeVolumeFileName(fileName, station, volumeTime)) return false;
  if (image == nullptr || imageLength < 0) return false;

  OutputFile file;
  if (!file.Open(fileName)) {
    std::printf("*** couldn't create '%s'\n", fileName);
    return false;
  }
  int64_t sizeBefore = file.Size();
  VolumeFileHeader header;
  int32_t got = file.ReadAt(0, &header, kVolumeHeaderSize);

  bool fresh = got != kVolumeHeaderSize || std::memcmp(header.magic, kMagic, 4) != 0;
  int64_t dataEnd;
  if (fresh) {
    InitialiseHeader(&header, station, volumeTime);
    dataEnd = kVolumeHeaderSize;
  } else {
    dataEnd = IndexedEnd(header, sizeBefore);
    if (dataEnd < 0) {
      std::printf("*** damaged JX4 file '%s' left unchanged\n", fileName);
      return false;
    }
    for (int32_t i = 0; i < header.entryCount; ++i) {
      if (header.entries[i].productId == static_cast<uint32_t>(product.id)) return true;
    }
    if (header.entryCount >= kMaxVolumeEntries) return true;
  }

  // On failure the file goes back to what it held: the valid images of an
  // existing file, or nothing for a file this call set out to (re)create.
  int64_t restoreSize = fresh ? 0 : dataEnd;
  const VolumeFileHeader before = header;
  VolumeIndexEntry& entry = header.entries[header.entryCount];
  entry.productId = static_cast<uint32_t>(product.id);
  entry.reserved = static_cast<uint32_t>(reserved);
  entry.offset = static_cast<uint32_t>(dataEnd);
  entry.length = static_cast<uint32_t>(imageLength);
  header.entryCount += 1;

  // A tail behind the last image (left by an interrupted store) is cut off
  // first, so that images keep tiling the file.
  bool stored = dataEnd + imageLength <= kMaxVolumeFileSize &&
                (sizeBefore == dataEnd || file.Truncate(dataEnd)) &&
                file.WriteAt(dataEnd, image, imageLength) &&
                file.WriteAt(0, &header, kVolumeHeaderSize);
  if (!stored) {
    file.Truncate(restoreSize);
    if (!fresh) file.WriteAt(0, &before, kVolumeHeaderSize);  // in case it was torn
    std::printf("*** couldn't write '%s'\n", fileName);
    return false;
  }
  if (fresh) ++filesCreated;
  ++productsStored;
  return true;
}

}  // namespace nimbrel
