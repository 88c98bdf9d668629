// A conversion as one library call: an input (an archive, or a folder of
// product files) filed into an output folder, every outcome told to a
// reporter, the run's statistics returned.
//
// Nothing is shared between calls: conversions may run at the same time in
// several threads, also into the same folder (each store locks its file).
#ifndef NIMBREL_SOURCES_CONVERSION_H_
#define NIMBREL_SOURCES_CONVERSION_H_

#include "output/report.h"
#include "output/store_io.h"

namespace nimbrel {

struct ConversionOptions {
  bool syncStores = false;  // each image reaches the disk before its index
};

struct ConversionResult {
  InputEnd end = InputEnd::kCantOpen;
  RunStats stats;
};

// A folder is walked scan group by scan group; anything else is read as an
// archive, its kind told by its first bytes.
ConversionResult ConvertInput(const char* path, StoreFolder& folder, Reporter& reporter,
                              const ConversionOptions& options = {});

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_CONVERSION_H_
