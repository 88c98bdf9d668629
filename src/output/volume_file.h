// The site-volume file: up to 60 product images of one station and volume
// scan behind a 980-byte little-endian header that indexes them.
//
// Invariants of a file written here: entryCount is 0..60; no two used
// entries share a productId; entry i's image starts where entry i-1's ends
// (the first at 980) and the last ends at the end of the file; unused entries
// are zero. volumeTime and station are set when the header is created and
// never compared again. Each StoreProduct call opens, locks, updates and
// closes its file; the image is always written before the header that
// indexes it.
#ifndef NIMBREL_OUTPUT_VOLUME_FILE_H_
#define NIMBREL_OUTPUT_VOLUME_FILE_H_

#include <cstdint>

#include "products/catalogue.h"

namespace nimbrel {

inline constexpr int32_t kVolumeHeaderSize = 980;
inline constexpr int32_t kMaxVolumeEntries = 60;
inline constexpr int32_t kPathBufferSize = 260;

struct VolumeIndexEntry {
  uint32_t productId;
  uint32_t reserved;
  uint32_t offset;  // absolute, 980 or more
  uint32_t length;
};

struct VolumeFileHeader {
  char magic[4];  // 'J' 'X' '4' 0
  int32_t volumeTime;
  char station[8];
  int32_t entryCount;
  VolumeIndexEntry entries[kMaxVolumeEntries];
};
static_assert(sizeof(VolumeFileHeader) == kVolumeHeaderSize);

// Run counters, zero at start, printed by the driver.
extern int32_t productsStored;  // images stored whole
extern int32_t filesCreated;    // headers created or re-created

// Writes "<station>_<yyyymmdd>_<hhmmss>.jx4" for the UTC time into `buffer`
// (at least 260 bytes). False, buffer untouched, for a negative time.
bool MakeVolumeFileName(char* buffer, const char* station, int32_t volumeTime);

// Stores the image in its site-volume file (in the current directory) unless
// its product id is already indexed or the index is full (both true). False
// when no name can be formed, the file cannot be created, is damaged, or the
// write fails; these print a "***" line except the first.
bool StoreProduct(const char* station, const ProductEntry& product, int32_t volumeTime,
                  int32_t reserved, const uint8_t* image, int32_t imageLength);

}  // namespace nimbrel

#endif  // NIMBREL_OUTPUT_VOLUME_FILE_H_
