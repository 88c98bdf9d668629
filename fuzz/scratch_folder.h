// The private output folder a fuzz target stores into: made once under /tmp
// when the target starts (the process ends if it cannot be), emptied by the
// target after each input.
#ifndef NIMBREL_FUZZ_SCRATCH_FOLDER_H_
#define NIMBREL_FUZZ_SCRATCH_FOLDER_H_

#include <cstdlib>
#include <memory>
#include <string>

#include "output/store_io.h"

namespace nimbrel {

struct ScratchFolder {
  std::string path;
  std::unique_ptr<StoreFolder> folder;
};

// `name` tells the targets' folders apart: /tmp/nimbrel-fuzz-NAME-XXXXXX.
inline ScratchFolder MakeScratchFolder(const std::string& name) {
  std::string pattern = "/tmp/nimbrel-fuzz-" + name + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  ScratchFolder scratch{pattern, OpenDiskFolder(pattern.c_str())};
  if (scratch.folder == nullptr) std::abort();
  return scratch;
}

}  // namespace nimbrel

#endif  // NIMBREL_FUZZ_SCRATCH_FOLDER_H_
