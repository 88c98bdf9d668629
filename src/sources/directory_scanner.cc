#include "sources/directory_scanner.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/file_query.h"
#include "platform/input_file.h"
#include "platform/path.h"
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

std::unique_ptr<uint8_t[]> LoadWholeFile(const char* path, int32_t* size, Outcome* why) {
  *why = Outcome::kCouldntOpen;
  *size = 0;
  PathInfo info = QueryPath(path);
  if (info.kind != PathKind::kRegularFile) return nullptr;
  if (info.size > kMaxProductSize) {
    *why = Outcome::kTooLarge;
    *size = kMaxProductSize;
    return nullptr;
  }
  int32_t fd = OpenInputFile(path);
  if (fd < 0) return nullptr;
  std::unique_ptr<uint8_t[]> image;
  int32_t length = static_cast<int32_t>(info.size);
  *size = length;
  if (length == 0) {
    *why = Outcome::kNotProduct;
  } else {
    image.reset(new (std::nothrow) uint8_t[static_cast<size_t>(length)]);
    *why = image == nullptr ? Outcome::kNoMemory : Outcome::kCouldntRead;
    if (image != nullptr && ReadInputFully(fd, image.get(), length) != length) image.reset();
  }
  CloseInputFile(fd);
  return image;
}

void ProcessScanGroup(RunContext& context, const DirectoryScan& scan, const char* anchorName) {
  if (ParseArchiveName(anchorName) == nullptr) return;
  char pattern[kPathBufferSize];
  std::snprintf(pattern, sizeof pattern, "*%s", anchorName + kGroupKeyStart);
  std::vector<const char*> members;
  scan.names.Search(pattern, &members);
  char fullPath[kPathBufferSize];
  for (const char* name : members) {
    if (context.Stopped()) return;
    if (ParseArchiveName(name) == nullptr) continue;
    if (!PathCombine(fullPath, scan.scanDirectory, name)) continue;  // ProcessDirectory left room
    int32_t size = 0;
    Outcome why;
    std::unique_ptr<uint8_t[]> image = LoadWholeFile(fullPath, &size, &why);
    if (image != nullptr) {
      ProcessProduct(context, name, image.get(), size, fullPath);
    } else {
      ProductEvent event;
      event.member = name;
      event.path = fullPath;
      event.size = size;
      event.outcome = why;
      context.Report(event);
    }
  }
}

InputEnd ProcessDirectory(RunContext& context, const char* path) {
  InputEvent event;
  event.end = InputEnd::kCantOpen;
  size_t length = std::strlen(path);
  auto scan = std::make_unique<DirectoryScan>();
  if (length + 1 + kArchiveNameLength < static_cast<size_t>(kPathBufferSize) &&
      scan->names.Read(path)) {
    std::memcpy(scan->scanDirectory, path, length + 1);
    std::vector<const char*> anchors;
    scan->names.Search("*n0r*", &anchors);
    for (const char* anchor : anchors) ProcessScanGroup(context, *scan, anchor);
    event.end = context.Stopped() ? InputEnd::kInterrupted : InputEnd::kCleanEnd;
  }
  context.Report(event);
  return event.end;
}

}  // namespace nimbrel
