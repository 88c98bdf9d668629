// The directory scanner: files a folder of individual Level III product
// files, scan group by scan group.
//
// An archive name has exactly 31 characters, CCCC_TTAAII_PPPSSS_YYYYMMDDHHMM,
// with a known site in characters 15-17. An anchor is a name that holds
// "n0r" (any case) and is an archive name; its scan group is every archive
// name that ends (any case) with the anchor's last 16 characters (site,
// underscore, date-time), the anchor included. Each anchor runs its whole
// group, so a group with two anchors is processed twice. Only the one folder
// is read, and its names only once per walk; anchors and group members come
// in ascending byte order of their names. Each file is loaded whole, handed
// to ProcessProduct and freed before the next is loaded; a file that cannot
// be loaded is reported with its outcome.
#ifndef NIMBREL_SOURCES_DIRECTORY_SCANNER_H_
#define NIMBREL_SOURCES_DIRECTORY_SCANNER_H_

#include <cstdint>
#include <memory>

#include "conversion/run_context.h"
#include "platform/path.h"
#include "sources/name_index.h"

namespace nimbrel {

inline constexpr int32_t kArchiveNameLength = 31;

// The walk's state: the folder and its names.
struct DirectoryScan {
  char scanDirectory[kPathBufferSize] = {};
  NameIndex names;
};

// Walks the folder at `path`. A folder that cannot be read, or whose path
// leaves no room for a 31-character name within 260 characters, yields
// nothing (kCantOpen).
InputEnd ProcessDirectory(RunContext& context, const char* path);

// Processes the scan group of `anchorName` (a bare name from `scan`) when
// ParseArchiveName accepts it.
void ProcessScanGroup(RunContext& context, const DirectoryScan& scan, const char* anchorName);

// The station id (from the station table) of an archive name, or null when
// `name` is not one. Characters 12 onward are read with
// "%3s%3s_%4d%2d%2d%2d%2d" and all seven fields must convert.
const char* ParseArchiveName(const char* name);

// The whole content of the regular file at `path`, with its length in
// `size`. Null, with `why` saying why, when the path cannot be opened or is
// not a regular file (kCouldntOpen), the file is empty (kNotProduct), holds
// more than kMaxProductSize bytes (kTooLarge, not read), cannot be held
// (kNoMemory) or reads short (kCouldntRead).
std::unique_ptr<uint8_t[]> LoadWholeFile(const char* path, int32_t* size, Outcome* why);

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_DIRECTORY_SCANNER_H_
