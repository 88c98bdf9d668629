// What the commands that look inside .jx4 files (list, info, verify,
// extract) share: the files their arguments name (folders walked, a
// volume's further files taken with its first) and the selection they
// take, opening a file and judging its index, the checks across a volume's
// files, and the texts they print of a file's header, entries and findings.
// Product ids are looked up in the extended catalogue, which holds the
// classic one: every id either catalogue files is known.
//
// Errors go to standard error as "jx4: ...", naming the file.
#ifndef NIMBREL_JX4_VOLUME_FILES_H_
#define NIMBREL_JX4_VOLUME_FILES_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "conversion/selection.h"
#include "output/volume_format.h"
#include "output/volume_name.h"
#include "products/catalogue.h"
#include "products/volume_check.h"

namespace CLI {
class App;
}

namespace nimbrel {

// The file name of `path` without its folder and without ".jx4", e.g.
// "ktlx_20050703_120312".
std::string VolumeStem(const std::string& path);

// Bytes as they may be shown: printable ASCII as it is, anything else \xNN.
std::string Printable(const char* text, size_t size);

// The header's station id, printable.
std::string StationOf(const VolumeFileHeader& header);

// The catalogue's Latin-1 text in UTF-8.
std::string Utf8(const char* latin1);

// ISO 8601 UTC, or the seconds themselves for a time before 1970.
std::string TimeText(int64_t seconds);

// The catalogue row of an index entry's product id, or null.
const ProductEntry* CatalogueRow(uint32_t productId);

// The end of the furthest image the index points at (980 with none).
int64_t IndexedEnd(const VolumeReader& reader);

// "image runs past the end of the file (entry 3)".
std::string FindingText(const VolumeFinding& finding);

// "entry 3 (id 941): ", or "" for no entry.
std::string EntryPrefix(const VolumeFileHeader& header, int32_t entry);

// What is wrong with an image, with the values concerned.
std::string ImageFindingText(const ImageFinding& finding, const VolumeFileHeader& header);

// How opening a file as a .jx4 file went.
enum class Opened {
  kOk,
  kEmpty,   // it can hold no product (an interrupted first store's, a full
            // disk's): no damage, a later store starts it afresh
  kShort,   // a regular file shorter than a header, of other bytes
  kFailed,  // it cannot be read
};

// What `jx4 verify` and `info` say of a kEmpty file.
inline constexpr char kEmptyText[] = "empty: no product stored";

// kFailed is said on standard error, or into `error` when given.
Opened OpenVolume(const std::string& path, VolumeReader* reader, std::string* error = nullptr);

// What the format module finds wrong with an opened file.
std::vector<VolumeFinding> FormatFindings(Opened opened, const VolumeReader& reader);

// Opens a file whose index is to be read. False when it cannot be read or
// has no usable index; `wellFormed` (when given) false when it has one but
// the file is not well formed. Both are said on standard error and set
// `trouble`. An empty file (Opened::kEmpty) is false without either.
bool OpenIndex(const std::string& path, VolumeReader* reader, bool* trouble,
               bool* wellFormed = nullptr);

// The exit status once everything is printed.
int Finish(bool trouble);

// The command's FILE... arguments.
void AddFiles(CLI::App* app, std::vector<std::string>* files);

// The FILE arguments of a command and the texts of its selection.
struct FileArguments {
  std::vector<std::string> files;
  SelectionTexts selection;
};

// Adds FILE... (.jx4 files and folders) and the selection's options:
// --station, --from and --to, which select files by their station and
// volume time, and with `products` --only, which selects products.
void AddFiles(CLI::App* app, FileArguments* arguments, bool products);

// The .jx4 files the arguments name, each once: a file as it is named; a
// folder's files named *.jx4, walked recursively (each folder's entries in
// name order); behind a volume's first file, its further files
// (NAME_2.jx4, ...) up to the first that is missing. With the selection
// the texts describe; false, said, when they describe none. A folder that
// cannot be read is said, and sets `trouble`. With `problems` given, what
// would be said goes there instead (each text without "jx4: ").
bool ReadArguments(const FileArguments& arguments, std::vector<std::string>* files, Selection* selection,
                   bool* trouble, std::vector<std::string>* problems = nullptr);

// Whether the selection takes the entry's product (any, when it names no
// category).
bool SelectsEntry(const Selection& selection, const VolumeIndexEntry& entry);

// Whether the selection takes the file, by its header's station and volume
// time (a file whose header cannot be read is taken, to say what is wrong).
bool SelectsFile(const Selection& selection, const VolumeReader& reader);

// What is wrong across the files of each volume among `files`, as lines by
// the path they concern: an id indexed in two of a volume's files, a further
// file whose station or volume time is not its first file's, or whose file
// before it is missing.
std::map<std::string, std::vector<std::string>> CheckVolumeSets(const std::vector<std::string>& files);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_VOLUME_FILES_H_
