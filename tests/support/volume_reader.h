// Reads site-volume (.jx4) files back for tests: the header fields, and each
// indexed entry with the image bytes it points at.
#ifndef NIMBREL_TESTS_SUPPORT_VOLUME_READER_H_
#define NIMBREL_TESTS_SUPPORT_VOLUME_READER_H_

#include <cstdint>
#include <string>
#include <vector>

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

#endif  // NIMBREL_TESTS_SUPPORT_VOLUME_READER_H_
