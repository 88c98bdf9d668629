// Reads site-volume (.jx4) files back for tests: the header fields, and each
// indexed entry with the image bytes it points at; and what a conversion
// leaves behind.
#ifndef NIMBREL_TESTS_SUPPORT_VOLUME_READER_H_
#define NIMBREL_TESTS_SUPPORT_VOLUME_READER_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "conversion/run_context.h"
#include "sources/tar_walker.h"

namespace nimbrel {

struct StoredImage {
  uint32_t productId = 0;
  uint32_t reserved = 0;
  uint32_t offset = 0;
  uint32_t length = 0;
  std::vector<uint8_t> image;  // the file's bytes at offset..offset+length
};

struct VolumeContents {
  bool readable = false;  // a header whose entries the writer could append behind
  int32_t volumeTime = 0;
  std::string station;
  std::vector<StoredImage> entries;
  uint64_t fileSize = 0;
};

VolumeContents ReadVolumeFile(const std::string& path);

// The bytes of a .jx4 file as the writer makes it, holding `images` (product
// id, image) in this order, whatever they are.
std::vector<uint8_t> BuildVolumeFile(
    const char* station, int32_t volumeTime,
    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& images);

// Names of the .jx4 files in `folder`, sorted.
std::vector<std::string> ListVolumeFiles(const std::string& folder);

// For each .jx4 file in `folder` (none when it is missing): its product ids
// with their images. Two conversions that file the same products give equal
// sets, whatever the order of the images in each file.
using ProductSets = std::map<std::string, std::map<uint32_t, std::vector<uint8_t>>>;
ProductSets ReadProductSets(const std::string& folder);

// The .jx4 files anywhere under `folder`, by their paths relative to it
// ('/' between folders), sorted.
std::vector<std::string> ListVolumeFilesUnder(const std::string& folder);

// For each volume scan of the .jx4 files anywhere under `folder`, under the
// name of its first file (no folders): the product ids of all its files
// with their images. Two runs that file the same products into volumes,
// in any layout and whichever file of a volume holds which, give equal
// sets; an id held twice in a volume, or a file that cannot be read, is
// marked with the id UINT32_MAX.
ProductSets ReadVolumeProducts(const std::string& folder);

// What converting `input` into a fresh folder leaves there: every file, by
// name, with its bytes; the console program's text for it; and the stats.
struct Conversion {
  std::map<std::string, std::vector<uint8_t>> files;
  std::string output;
  int64_t stored = 0;
  InputEnd end = InputEnd::kCleanEnd;
};

Conversion ConvertArchive(const std::string& input);

// Converts `input` into `folder` (created if missing) with the console
// program's reporter; returns what it printed.
std::string ConvertInto(const std::string& input, const std::string& folder);

// Converts `input` into `folder` (created if missing) and tells nobody.
RunStats ConvertQuietly(const std::string& input, const std::string& folder);

// Walks the archive at `path`, handing its members to `handler` instead of
// the intake; events go to `reporter` (none when null).
InputEnd WalkArchive(const std::string& path, const MemberHandler& handler,
                     Reporter* reporter = nullptr);

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_VOLUME_READER_H_
