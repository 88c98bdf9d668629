#include "support/volume_reader.h"

#include "support/output_dir.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "driver/console_reporter.h"
#include "output/store_io.h"
#include "output/volume_format.h"
#include "output/volume_name.h"
#include "conversion/convert.h"
#include "support/test_env.h"

namespace nimbrel {

VolumeContents ReadVolumeFile(const std::string& path) {
  VolumeContents contents;
  VolumeReader reader;
  if (!reader.Open(path.c_str())) {
    contents.fileSize = ReadFileBytes(path).size();
    return contents;
  }
  const VolumeFileHeader& header = reader.header();
  contents.fileSize = static_cast<uint64_t>(reader.fileSize());
  if (CheckAppendable(header, reader.fileSize()) < 0) return contents;
  contents.volumeTime = header.volumeTime;
  contents.station.assign(header.station, strnlen(header.station, sizeof header.station));
  for (int32_t i = 0; i < header.entryCount; ++i) {
    const VolumeIndexEntry& entry = header.entries[i];
    StoredImage stored{entry.productId, entry.reserved, entry.offset, entry.length, {}};
    if (!reader.ReadImage(i, &stored.image)) return contents;
    contents.entries.push_back(std::move(stored));
  }
  contents.readable = true;
  return contents;
}

std::vector<uint8_t> BuildVolumeFile(
    const char* station, int32_t volumeTime,
    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& images) {
  VolumeFileHeader header = NewVolumeHeader(station, volumeTime);
  std::vector<uint8_t> file(kVolumeHeaderSize);
  for (const auto& [id, image] : images) {
    header.entries[header.entryCount++] = {id, 0, static_cast<uint32_t>(file.size()),
                                           static_cast<uint32_t>(image.size())};
    file.insert(file.end(), image.begin(), image.end());
  }
  EncodeVolumeHeader(header, file.data());
  return file;
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

ProductSets ReadProductSets(const std::string& folder) {
  ProductSets sets;
  if (!std::filesystem::is_directory(folder)) return sets;
  for (const std::string& name : ListVolumeFiles(folder)) {
    VolumeContents contents = ReadVolumeFile(folder + "/" + name);
    auto& products = sets[name];
    if (!contents.readable) products[UINT32_MAX] = {};  // marks the file as unreadable
    for (StoredImage& entry : contents.entries) products[entry.productId] = std::move(entry.image);
  }
  return sets;
}

std::vector<std::string> ListVolumeFilesUnder(const std::string& folder) {
  std::vector<std::string> paths;
  if (!std::filesystem::is_directory(folder)) return paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.size() > 4 && name.ends_with(".jx4")) {
      paths.push_back(entry.path().lexically_relative(folder).generic_string());
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

ProductSets ReadVolumeProducts(const std::string& folder) {
  ProductSets sets;
  for (const std::string& path : ListVolumeFilesUnder(folder)) {
    std::string first;
    if (VolumePart(std::filesystem::path(path).filename().string(), &first) == 0) continue;
    VolumeContents contents = ReadVolumeFile(folder + "/" + path);
    auto& products = sets[first];
    if (!contents.readable) products[UINT32_MAX] = {};
    for (StoredImage& entry : contents.entries) {
      if (!products.emplace(entry.productId, std::move(entry.image)).second) products[UINT32_MAX] = {};
    }
  }
  return sets;
}

Conversion ConvertArchive(const std::string& input) {
  TempDir dir;
  Conversion result;
  std::unique_ptr<StoreFolder> folder = OpenDiskFolder(dir.path().c_str());
  ConsoleReporter reporter;
  StdoutCapture capture;
  ConversionResult converted = ConvertInput(ConvertRequest(input.c_str()), *folder, reporter);
  result.output = capture.Finish();
  result.stored = converted.stats.productsStored;
  result.end = converted.end;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    result.files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
  }
  return result;
}

std::string ConvertInto(const std::string& input, const std::string& folder) {
  std::filesystem::create_directories(folder);
  std::unique_ptr<StoreFolder> out = OpenDiskFolder(folder.c_str());
  if (out == nullptr) return "(no folder)";
  ConsoleReporter reporter;
  StdoutCapture capture;
  ConvertInput(ConvertRequest(input.c_str()), *out, reporter);
  return capture.Finish();
}

RunStats ConvertQuietly(const std::string& input, const std::string& folder) {
  std::filesystem::create_directories(folder);
  std::unique_ptr<StoreFolder> out = OpenDiskFolder(folder.c_str());
  if (out == nullptr) return {};
  Reporter silent;
  return ConvertInput(ConvertRequest(input.c_str()), *out, silent).stats;
}

InputEnd WalkArchive(const std::string& path, const MemberHandler& handler, Reporter* reporter) {
  Reporter silent;
  NoFolder nowhere;
  RunContext context(nowhere, reporter != nullptr ? *reporter : silent, path.c_str());
  return ProcessTar(context, path.c_str(), &handler);
}

}  // namespace nimbrel
