#include "support/output_dir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace nimbrel {

OutputDir::OutputDir() : folder(OpenDiskFolder(dir.path().c_str())) {
  if (folder == nullptr) std::abort();
  context.folder = folder.get();
  context.reporter = &silent;
}

std::vector<std::string> OutputDir::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace nimbrel
