#include "support/output_dir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace nimbrel {

namespace {

std::unique_ptr<StoreFolder> OpenOrAbort(const std::string& path) {
  std::unique_ptr<StoreFolder> folder = OpenDiskFolder(path.c_str());
  if (folder == nullptr) std::abort();
  return folder;
}

}  // namespace

OutputDir::OutputDir()
    : folder(OpenOrAbort(dir.path())), context(*folder, relay, "") {}

std::vector<std::string> OutputDir::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace nimbrel
