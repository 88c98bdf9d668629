#include "support/volume_reader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "output/volume_file.h"
#include "sources/tar_walker.h"
#include "support/test_env.h"

namespace nimbrel {

VolumeContents ReadVolumeFile(const std::string& path) {
  VolumeContents contents;
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  contents.fileSize = bytes.size();
  if (bytes.size() < static_cast<size_t>(kVolumeHeaderSize)) return contents;
  VolumeFileHeader header;
  std::memcpy(&header, bytes.data(), sizeof header);
  if (std::memcmp(header.magic, "JX4", 4) != 0) return contents;
  if (header.entryCount < 0 || header.entryCount > kMaxVolumeEntries) return contents;
  contents.volumeTime = header.volumeTime;
  contents.station.assign(header.station, strnlen(header.station, sizeof header.station));
  for (int32_t i = 0; i < header.entryCount; ++i) {
    const VolumeIndexEntry& entry = header.entries[i];
    if (uint64_t{entry.offset} + entry.length > bytes.size()) return contents;
    StoredImage stored{entry.productId, entry.reserved, entry.offset, entry.length, {}};
    stored.image.assign(bytes.begin() + entry.offset, bytes.begin() + entry.offset + entry.length);
    contents.entries.push_back(std::move(stored));
  }
  contents.readable = true;
  return contents;
}

std::vector<std::string> ListVolumeFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (name.size() > 4 && name.ends_with(".jx4")) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

Conversion ConvertArchive(const std::string& archive) {
  TempDir dir(true);
  Conversion result;
  int32_t storedBefore = productsStored;
  StdoutCapture capture;
  ProcessTar(archive.c_str());
  result.output = capture.Finish();
  result.stored = productsStored - storedBefore;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    result.files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
  }
  return result;
}

}  // namespace nimbrel
