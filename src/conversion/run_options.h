// What a run is asked to do, beside its inputs and its output folder: the
// catalogue it files by, what it files, how its files are laid out, and
// how it stores. One plain value that every front end fills the same way
// (jx4 convert from its command line; a library call from its arguments)
// and that every conversion of the run gets a copy of.
#ifndef NIMBREL_CONVERSION_RUN_OPTIONS_H_
#define NIMBREL_CONVERSION_RUN_OPTIONS_H_

#include <atomic>
#include <cstdint>

#include "conversion/selection.h"
#include "output/volume_name.h"
#include "products/catalogue.h"

namespace nimbrel {

struct RunOptions {
  // The catalogue and station table products are filed by; with the
  // extended one a volume continues past 60 products in further files.
  Catalogue catalogue = Catalogue::kClassic;
  // What is filed: a product that would be stored and is not selected is
  // reported as kNotSelected.
  Selection selection = {};
  // Where under the output folder a volume's files go.
  VolumeLayout layout = VolumeLayout::kFlat;
  // Nothing is written: the output folder is one of OpenRunFolder's dry
  // ones, the report says what would be stored.
  bool dryRun = false;
  bool syncStores = false;   // each image reaches the disk before its index
  bool decodeAhead = false;  // decompress on a thread of its own
  // When set (from a signal handler, say), no new store begins: the input
  // ends as kInterrupted once the product in hand is stored.
  const std::atomic<bool>* stop = nullptr;
  // When given, kept at how many bytes of the input (the file or stream
  // itself, before any decoding) have been read, for a progress display.
  std::atomic<int64_t>* bytesRead = nullptr;
};

}  // namespace nimbrel

#endif  // NIMBREL_CONVERSION_RUN_OPTIONS_H_
