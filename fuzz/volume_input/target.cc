// Reads arbitrary bytes, behind the .jx4 magic, as a .jx4 input: once as a
// file (as extract reads it) and once as a stream (as an archive member is
// read), each into a private folder emptied after each input. Checks: every
// file stored is well formed; the stream gives no product to the intake that
// the file does not; the ending is one the reader may give; nothing is read
// outside the input (the sanitizers watch).
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
#include "sources/volume_input.h"

using namespace nimbrel;

namespace {

ScratchFolder scratch;
std::string& folderPath = scratch.path;

class CountingReporter : public Reporter {
 public:
  void Examining(const char*, const char*) override { ++examined; }
  int examined = 0;
};

void CheckAndEmpty(const std::string& keep) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folderPath, error)) {
    if (entry.path() == keep) continue;
    VolumeReader reader;
    if (!reader.Open(entry.path().c_str()) || !CheckWellFormed(reader.header(), reader.fileSize()).empty()) {
      std::abort();
    }
    std::filesystem::remove(entry.path(), error);
  }
}

bool Expected(InputEnd end) {
  return end == InputEnd::kCleanEnd || end == InputEnd::kMemberCutShort || end == InputEnd::kDecodingError;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratch = MakeScratchFolder("volume");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (4u << 20)) return 0;
  std::vector<uint8_t> bytes = {'J', 'X', '4', 0};
  bytes.insert(bytes.end(), data, data + size);
  const std::string input = folderPath + "/input.jx4";
  std::FILE* file = std::fopen(input.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
  std::fclose(file);

  CountingReporter asFile, asStream;
  RunContext fileContext(*scratch.folder, asFile, input.c_str());
  if (!Expected(ProcessVolumeFile(fileContext, input.c_str(), "").end)) std::abort();
  CheckAndEmpty(input);
  RunContext streamContext(*scratch.folder, asStream, input.c_str());
  MemoryStream stream("input.jx4", bytes.data(), bytes.size());
  if (!Expected(ProcessVolumeStream(streamContext, stream, "input.jx4").end)) std::abort();
  CheckAndEmpty(input);
  if (asStream.examined > asFile.examined) std::abort();
  return 0;
}
