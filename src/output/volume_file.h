// The site-volume file writer: stores one product image in the .jx4 file of
// its station and volume scan.
//
// Each StoreProduct call opens (or creates), locks, updates and closes its
// file: stores into one file from several threads or processes never
// interleave. The image is always written before the header that indexes it
// (with syncStores, it reaches the disk first, and the header before the
// call returns). What a file holds is never destroyed: only a file that can
// hold no product is started afresh, and only what one interrupted store
// leaves behind the last image is cut before appending (volume_format.h);
// any other file, a foreign one or one whose index does not fit its
// contents, is left alone as damaged. When any step fails, the file is put
// back as it was (a file the call set out to create is left empty), so
// nothing indexed is ever partial; only whole stores are counted.
//
// With the extended catalogue a volume continues past 60 products in its
// further files (output/volume_name.h): a store looks for the product id in
// the volume's first file and in each further one in turn, up to the first
// that is missing, and appends to the first of them with room, else starts
// the missing one. It holds the first file's lock while it touches any file
// of the set, so that every store into a set is serialized by that one lock
// and an id is stored once across the set. Every file of the set obeys the
// rules above. The classic catalogue keeps every volume in its one file.
#ifndef NIMBREL_OUTPUT_VOLUME_FILE_H_
#define NIMBREL_OUTPUT_VOLUME_FILE_H_

#include <cstdint>

#include "conversion/run_context.h"
#include "output/volume_format.h"
#include "output/volume_name.h"
#include "platform/path.h"

namespace nimbrel {

struct StoreResult {
  // kStored, kAlreadyPresent, kIndexFull, kVolumeTimeOutOfRange (no name),
  // kCouldntCreate, kCouldntWrite or kDamagedOutput.
  Outcome outcome = Outcome::kCouldntCreate;
  bool created = false;                 // the header was (re)created
  int error = 0;                        // kCouldntCreate, kCouldntWrite: the system's code
  VolumeProblem damage = VolumeProblem::kForeign;  // kDamagedOutput: why
  bool differs = false;                 // kAlreadyPresent: with other bytes
  // The file concerned (stored in, found in, damaged), as the folder names
  // it: in the run's layout; "" when no name could be formed.
  char fileName[kPathBufferSize] = {};
};

// Stores the image in context.folder, in the layout of context.options,
// unless its product id is already indexed in the volume or its files can
// index no more. Counts whole stores and created headers in context.stats;
// reports nothing.
StoreResult StoreProduct(RunContext& context, const char* station, int32_t productId,
                         int32_t volumeTime, int32_t reserved, const uint8_t* image,
                         int32_t imageLength);

}  // namespace nimbrel

#endif  // NIMBREL_OUTPUT_VOLUME_FILE_H_
