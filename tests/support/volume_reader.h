// Reads site-volume (.jx4) files back for tests: the header fields, and each
// indexed entry with the image bytes it points at; and what a whole archive's
// conversion leaves behind.
#ifndef NIMBREL_TESTS_SUPPORT_VOLUME_READER_H_
#define NIMBREL_TESTS_SUPPORT_VOLUME_READER_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace nimbrel {

struct StoredImage {
  uint32_t productId = 0;
  uint32_t reserved = 0;
  uint32_t offset = 0;
  uint32_t length = 0;
  std::vector<uint8_t> image;  // the file's bytes at offset..offset+length
};

struct VolumeContents {
  bool readable = false;  // a whole header whose entries lie inside the file
  int32_t volumeTime = 0;
  std::string station;
  std::vector<StoredImage> entries;
  uint64_t fileSize = 0;
};

VolumeContents ReadVolumeFile(const std::string& path);

// Names of the .jx4 files in `folder`, sorted.
std::vector<std::string> ListVolumeFiles(const std::string& folder);

// What ProcessTar makes of `archive` (an absolute path) in a fresh current
// folder: every file left there, by name, with its bytes; the console text;
// and how many products were stored.
struct Conversion {
  std::map<std::string, std::vector<uint8_t>> files;
  std::string output;
  int32_t stored = 0;
};

Conversion ConvertArchive(const std::string& archive);

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_VOLUME_READER_H_
