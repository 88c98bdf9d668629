// jx4 extract: the selected products of .jx4 files back out as files named
// as in the day archives, CCCC_TTAAII_PPPSSS_YYYYMMDDHHMM, written through
// the output folder's seam (output/store_io.h), never over an existing file.
// A file whose write fails is removed again. With -v the path of each file
// written; `-o -` writes the one selected product's bytes to standard
// output. A product is selected when it has one of the ids or categories
// asked for (any, without them) and the selection (--only, --station,
// --from, --to) takes it. Exit status 0 when every selected product was
// written, 1 when a file could not be read or is damaged or a product was
// not written, 2 for a wrong command line.
#ifndef NIMBREL_JX4_EXTRACT_H_
#define NIMBREL_JX4_EXTRACT_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversion/selection.h"
#include "output/store_io.h"

namespace nimbrel {

struct ExtractOptions {
  std::string output = ".";  // a folder, or "-" for standard output
  std::vector<int64_t> ids;
  std::vector<std::string> categories;
  SelectionTexts selection;  // --only, --station, --from, --to
  bool verbose = false;
  std::vector<std::string> files;  // .jx4 files and folders
};

// Opens the output folder at `path`: the disk in the program, a folder that
// fails on demand in tests.
using FolderOpener = std::function<std::unique_ptr<StoreFolder>(const char* path)>;

int RunExtract(const ExtractOptions& options, const FolderOpener& open = OpenDiskFolder);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_EXTRACT_H_
