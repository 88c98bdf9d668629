#include "sources/directory_scanner.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/file_query.h"
#include "platform/input_file.h"
#include "products/catalogue.h"
#include "products/product_intake.h"

namespace nimbrel {

namespace {

// Where a name's scan group key begins: site, underscore, date-time.
constexpr int32_t kGroupKeyStart = 15;

}  // namespace

const char* ParseArchiveName(const char* name) {
  if (std::strlen(name) != kArchiveNameLength) return nullptr;
  char category[4];
  char site[4];
  int year, month, day, hour, minute;
  if (std::sscanf(name + 12, "%3s%3s_%4d%2d%2d%2d%2d", category, site, &year, &month, &day,
                  &hour, &minute) != 7) {
    return nullptr;
  }
  return FindStation(site);
}

bool PathCombine(char* buffer, const char* directory, const char* name) {
  size_t directoryLength = std::strlen(directory);
  size_t nameLength = std::strlen(name);
  bool separator = directoryLength > 0 && directory[directoryLength - 1] != '/';
  size_t total = directoryLength + (separator ? 1 : 0) + nameLength;
  if (total >= static_cast<size_t>(kPathBufferSize)) return false;
  std::memcpy(buffer, directory, directoryLength);
  if (separator) buffer[directoryLength] = '/';
  std::memcpy(buffer + total - nameLength, name, nameLength + 1);
  return true;
}

std::unique_ptr<uint8_t[]> LoadWholeFile(const char* path, int32_t* size) {
  PathInfo info = QueryPath(path);
  int32_t fd = info.kind == PathKind::kRegularFile ? OpenInputFile(path) : -1;
  if (fd < 0) {
    std::printf("*** couldn't open '%s'\n", path);
    return nullptr;
  }
  std::unique_ptr<uint8_t[]> image;
  if (info.size > 0 && info.size <= INT32_MAX) {
    int32_t length = static_cast<int32_t>(info.size);
    image.reset(new (std::nothrow) uint8_t[static_cast<size_t>(length)]);
    if (image != nullptr && ReadInputFully(fd, image.get(), length) == length) {
      *size = length;
    } else {
      image.reset();
    }
  }
  CloseInputFile(fd);
  return image;
}

void ProcessScanGroup(const DirectoryScan& scan, const char* anchorName) {
  if (ParseArchiveName(anchorName) == nullptr) return;
  char pattern[kPathBufferSize];
  std::snprintf(pattern, sizeof pattern, "*%s", anchorName + kGroupKeyStart);
  std::vector<const char*> members;
  scan.names.Search(pattern, &members);
  char fullPath[kPathBufferSize];
  for (const char* name : members) {
    if (ParseArchiveName(name) == nullptr) continue;
    if (!PathCombine(fullPath, scan.scanDirectory, name)) continue;  // ProcessDirectory left room
    int32_t size = 0;
    std::unique_ptr<uint8_t[]> image = LoadWholeFile(fullPath, &size);
    if (image != nullptr) ProcessProduct(name, image.get(), size);
  }
}

void ProcessDirectory(const char* path) {
  size_t length = std::strlen(path);
  if (length + 1 + kArchiveNameLength >= static_cast<size_t>(kPathBufferSize)) return;
  DirectoryScan scan;
  std::memcpy(scan.scanDirectory, path, length + 1);
  if (!scan.names.Read(path)) return;
  std::vector<const char*> anchors;
  scan.names.Search("*n0r*", &anchors);
  for (const char* anchor : anchors) ProcessScanGroup(scan, anchor);
}

}  // namespace nimbrel
