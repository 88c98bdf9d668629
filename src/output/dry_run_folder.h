// The output folder of a dry run: stores go through it exactly as through
// the disk, and nothing is written. Files that exist are read (opened for
// reading only, never through a symbolic link, under a shared lock); what
// the run writes is kept in memory, so that every later store of the run
// sees it as a real run's would: its headers whole, its images as their
// place, length and a 64-bit hash of their bytes.
//
// Invariants: no call creates, changes or removes anything on disk, and no
// file is opened for writing; a folder that does not exist is one without
// files. Stores into one name are serialized as the disk's lock would
// serialize them. Memory grows by about 1 kB per file written.
#ifndef NIMBREL_OUTPUT_DRY_RUN_FOLDER_H_
#define NIMBREL_OUTPUT_DRY_RUN_FOLDER_H_

#include <memory>

#include "output/store_io.h"

namespace nimbrel {

// The folder at `path` as a dry run sees it; never null (a folder that is
// missing, or cannot be opened, holds nothing).
std::unique_ptr<StoreFolder> OpenDryRunFolder(const char* path);

}  // namespace nimbrel

#endif  // NIMBREL_OUTPUT_DRY_RUN_FOLDER_H_
