// The site-volume file writer: stores one product image in the .jx4 file of
// its station and volume scan.
//
// Each StoreProduct call opens (or creates), locks, updates and closes its
// file: stores into one file from several threads or processes never
// interleave. The image is always written before the header that indexes it
// (with syncStores, it reaches the disk first, and the header before the
// call returns). A file with a wrong magic or too short for a header is
// started afresh; one whose index does not fit its contents is left alone;
// a tail behind the last image (left by an interrupted store) is cut before
// appending. When any step fails, the file is put back as it was (a file the
// call set out to create is left empty), so nothing indexed is ever partial;
// only whole stores are counted.
#ifndef NIMBREL_OUTPUT_VOLUME_FILE_H_
#define NIMBREL_OUTPUT_VOLUME_FILE_H_

#include <cstdint>

#include "output/report.h"
#include "output/volume_format.h"
#include "platform/path.h"

namespace nimbrel {

// Writes "<station>_<yyyymmdd>_<hhmmss>.jx4" for the UTC time into `buffer`
// (at least 260 bytes). False, buffer untouched, for a negative time.
bool MakeVolumeFileName(char* buffer, const char* station, int32_t volumeTime);

struct StoreResult {
  // kStored, kAlreadyPresent, kIndexFull, kVolumeTimeOutOfRange (no name),
  // kCouldntCreate, kCouldntWrite or kDamagedOutput.
  Outcome outcome = Outcome::kCouldntCreate;
  bool created = false;                 // the header was (re)created
  char fileName[kPathBufferSize] = {};  // "" when no name could be formed
};

// Stores the image in context.folder unless its product id is already
// indexed there or the index is full. Counts whole stores and created
// headers in context.stats; reports nothing.
StoreResult StoreProduct(RunContext& context, const char* station, int32_t productId,
                         int32_t volumeTime, int32_t reserved, const uint8_t* image,
                         int32_t imageLength);

}  // namespace nimbrel

#endif  // NIMBREL_OUTPUT_VOLUME_FILE_H_
