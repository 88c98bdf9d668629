// Converts arbitrary bytes as jx4 converts a file: told apart by content,
// through the archive library, our decoders, the framing splitter and the
// intake, into a private folder that is emptied after each input. Checks
// that one input event is reported and that every file written is sound.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../scratch_folder.h"
#include "output/store_io.h"
#include "output/volume_format.h"
#include "sources/any_input.h"

using namespace nimbrel;

namespace {

ScratchFolder scratch;
std::string& folderPath = scratch.path;

class CountingReporter : public Reporter {
 public:
  void InputEnded(const InputEvent&) override { ++inputs; }
  int inputs = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratch = MakeScratchFolder("any");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const std::string input = folderPath + "/input";
  std::FILE* file = std::fopen(input.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  CountingReporter reporter;
  RunContext context(*scratch.folder, reporter, input.c_str());
  ProcessAnyFile(context, input.c_str());
  if (reporter.inputs != 1) std::abort();

  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folderPath, error)) {
    if (entry.path() != input) {
      VolumeReader reader;
      if (!reader.Open(entry.path().c_str()) ||
          !CheckWellFormed(reader.header(), reader.fileSize()).empty()) {
        std::abort();
      }
    }
    std::filesystem::remove(entry.path(), error);
  }
  return 0;
}
