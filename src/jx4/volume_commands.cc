// jx4 list, info, verify and extract: looking inside .jx4 files.
//
// Output, on standard output:
//   list     a line per product: FILE STATION VOLUME-TIME ID CATEGORY OFFSET
//            LENGTH NAME (the name last, as it holds blanks; UTF-8); with
//            --json one JSON object per file and line.
//   info     a block per file: "FILE:" then indented "field  value" lines,
//            blocks parted by an empty line.
//   verify   a line per problem, "FILE: [entry N (id I): ]what"; nothing for a
//            sound file (with -v, "FILE: ok").
//   extract  nothing (with -v, the path of each file written); `-o -` the
//            one selected product's bytes.
// Errors go to standard error as "jx4: ...", naming the file. Exit status 0
// when every file was read and is sound (and everything was written), 1 when
// a file could not be read or is damaged or a product could not be written
// (the others are still done), 2 for a wrong command line.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "jx4/command.h"
#include "jx4/json.h"
#include "jx4/words.h"
#include "output/volume_format.h"
#include "platform/file_query.h"
#include "platform/output_file.h"
#include "platform/standard_streams.h"
#include "products/archive_name.h"
#include "products/catalogue.h"
#include "products/volume_check.h"

namespace nimbrel {

namespace {

namespace fs = std::filesystem;

constexpr char kStandardOutput[] = "-";
constexpr char kVolumeSuffix[] = ".jx4";

// Bytes as they may be shown: printable ASCII as it is, anything else \xNN.
std::string Printable(const char* text, size_t size) {
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out;
}

std::string StationOf(const VolumeFileHeader& header) {
  return Printable(header.station, strnlen(header.station, kVolumeStationSize));
}

// The catalogue's Latin-1 text in UTF-8.
std::string Utf8(const char* latin1) {
  std::string out;
  for (const char* at = latin1; *at != '\0'; ++at) {
    unsigned char c = static_cast<unsigned char>(*at);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// ISO 8601 UTC, or the seconds themselves for a time before 1970.
std::string TimeText(int64_t seconds) {
  std::string iso = IsoTime(seconds);
  return iso.empty() ? std::to_string(seconds) : iso;
}

const ProductEntry* CatalogueRow(uint32_t productId) {
  return productId <= INT32_MAX ? FindProductById(static_cast<int32_t>(productId)) : nullptr;
}

// The end of the furthest image the index points at (980 with none).
int64_t IndexedEnd(const VolumeReader& reader) {
  int64_t end = kVolumeHeaderSize;
  for (int32_t i = 0; i < reader.entryCount(); ++i) {
    const VolumeIndexEntry& entry = reader.header().entries[i];
    end = std::max(end, int64_t{entry.offset} + entry.length);
  }
  return end;
}

std::string FindingText(const VolumeFinding& finding) {
  std::string text = VolumeProblemText(finding.problem);
  if (finding.other >= 0) text += " (entry " + std::to_string(finding.other) + ")";
  return text;
}

std::string EntryPrefix(const VolumeFileHeader& header, int32_t entry) {
  if (entry < 0) return "";
  return "entry " + std::to_string(entry) + " (id " + std::to_string(header.entries[entry].productId) +
         "): ";
}

std::string ImageFindingText(const ImageFinding& finding, const VolumeFileHeader& header) {
  std::string text = ImageProblemText(finding.problem);
  switch (finding.problem) {
    case ImageProblem::kHeader:
      return text + ": " + HeaderTestText(finding.failedTest);
    case ImageProblem::kVolumeTime:
      return text + ": " + TimeText(finding.volumeTime) + " against " + TimeText(header.volumeTime);
    case ImageProblem::kStation:
      return text + ": '" + Printable(finding.found, std::strlen(finding.found)) + "' against " +
             StationOf(header);
    case ImageProblem::kCategory:
      return text + ": '" + Printable(finding.found, std::strlen(finding.found)) + "' against " +
             CatalogueRow(header.entries[finding.entry].productId)->categoryCode;
    default:
      return text;
  }
}

// How opening a file as a .jx4 file went.
enum class Opened {
  kOk,
  kShort,   // a regular file shorter than a header
  kFailed,  // said on standard error
};

Opened OpenVolume(const std::string& path, VolumeReader* reader) {
  if (reader->Open(path.c_str())) return Opened::kOk;
  PathInfo info = QueryPath(path.c_str());
  if (info.kind == PathKind::kRegularFile && info.size < kVolumeHeaderSize) return Opened::kShort;
  const char* why = info.kind == PathKind::kMissing     ? "it does not exist; check the path"
                    : info.kind == PathKind::kDirectory ? "it is a folder, not a .jx4 file"
                    : info.kind == PathKind::kOther     ? "it is not a regular file"
                                                        : "check its permissions";
  PrintError("cannot read '%s': %s", path.c_str(), why);
  return Opened::kFailed;
}

// What the format module finds wrong with an opened file.
std::vector<VolumeFinding> FormatFindings(Opened opened, const VolumeReader& reader) {
  if (opened == Opened::kShort) return {{VolumeProblem::kShortFile}};
  return CheckWellFormed(reader.header(), reader.fileSize());
}

// Opens a file whose index is to be read. False when it cannot be read or
// has no usable index; `wellFormed` (when given) false when it has one but
// the file is not well formed. Both are said on standard error and set
// `trouble`.
bool OpenIndex(const std::string& path, VolumeReader* reader, bool* trouble,
               bool* wellFormed = nullptr) {
  Opened opened = OpenVolume(path, reader);
  std::vector<VolumeFinding> findings;
  if (opened != Opened::kFailed) findings = FormatFindings(opened, *reader);
  if (wellFormed != nullptr) *wellFormed = findings.empty();
  if (opened == Opened::kFailed || !IndexUsable(findings)) {
    if (opened != Opened::kFailed) {
      PrintError("'%s' is not a usable .jx4 file: %s", path.c_str(),
                 VolumeProblemText(findings.front().problem));
    }
    *trouble = true;
    return false;
  }
  if (!findings.empty()) {
    PrintError("'%s' is damaged: %s%s; 'jx4 verify' tells more", path.c_str(),
               EntryPrefix(reader->header(), findings.front().entry).c_str(),
               FindingText(findings.front()).c_str());
    *trouble = true;
  }
  return true;
}

// The exit status once everything is printed.
int Finish(bool trouble) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    PrintError("cannot write to standard output");
    return kExitTrouble;
  }
  return trouble ? kExitTrouble : kExitOk;
}

void AddFiles(CLI::App* app, std::vector<std::string>* files) {
  app->add_option("FILE", *files, ".jx4 files")->required();
}

// --- list ---------------------------------------------------------------

void PrintListLines(const std::string& path, const VolumeReader& reader) {
  const VolumeFileHeader& header = reader.header();
  std::string station = StationOf(header);
  std::string time = TimeText(header.volumeTime);
  for (int32_t i = 0; i < reader.entryCount(); ++i) {
    const VolumeIndexEntry& entry = header.entries[i];
    const ProductEntry* row = CatalogueRow(entry.productId);
    std::printf("%s %s %s %4u %-3s %8u %7u %s\n", path.c_str(), station.c_str(), time.c_str(),
                entry.productId, row != nullptr ? row->categoryCode : "-", entry.offset,
                entry.length, row != nullptr ? Utf8(row->name).c_str() : "(not in the catalogue)");
  }
}

void PrintListJson(const std::string& path, const VolumeReader& reader, bool wellFormed) {
  const VolumeFileHeader& header = reader.header();
  std::string line = "{\"file\":";
  AppendJsonString(&line, path.c_str());
  line += ",\"station\":";
  AppendJsonString(&line, StationOf(header).c_str());
  std::string iso = IsoTime(header.volumeTime);
  line += ",\"volume_time\":";
  if (iso.empty()) {
    line += "null";
  } else {
    AppendJsonString(&line, iso.c_str());
  }
  line += ",\"well_formed\":";
  line += wellFormed ? "true" : "false";
  line += ",\"entries\":[";
  for (int32_t i = 0; i < reader.entryCount(); ++i) {
    const VolumeIndexEntry& entry = header.entries[i];
    const ProductEntry* row = CatalogueRow(entry.productId);
    if (i > 0) line += ",";
    line += "{\"entry\":" + std::to_string(i) + ",\"product_id\":" + std::to_string(entry.productId);
    line += ",\"category\":";
    if (row != nullptr) {
      AppendJsonString(&line, row->categoryCode);
      line += ",\"name\":";
      AppendJsonString(&line, Utf8(row->name).c_str());
    } else {
      line += "null,\"name\":null";
    }
    line += ",\"offset\":" + std::to_string(entry.offset) +
            ",\"length\":" + std::to_string(entry.length) + "}";
  }
  line += "]}\n";
  std::fputs(line.c_str(), stdout);
}

struct ListOptions {
  bool json = false;
  std::vector<std::string> files;
};

int RunList(const ListOptions& options) {
  bool trouble = false;
  for (const std::string& path : options.files) {
    VolumeReader reader;
    bool wellFormed = false;
    if (!OpenIndex(path, &reader, &trouble, &wellFormed)) continue;
    if (options.json) {
      PrintListJson(path, reader, wellFormed);
    } else {
      PrintListLines(path, reader);
    }
  }
  return Finish(trouble);
}

// --- info ---------------------------------------------------------------

// Prints the block of one file; false when it is not well formed.
bool PrintInfo(const std::string& path, const VolumeReader& reader, Opened opened) {
  std::vector<VolumeFinding> findings = FormatFindings(opened, reader);
  int64_t bytes = opened == Opened::kShort ? QueryPath(path.c_str()).size : reader.fileSize();
  const VolumeFileHeader& header = reader.header();
  std::printf("%s:\n", path.c_str());
  if (IndexUsable(findings)) {
    std::printf("  station      %s\n", StationOf(header).c_str());
    std::printf("  volume time  %s\n", TimeText(header.volumeTime).c_str());
    std::printf("  entries      %d\n", header.entryCount);
  }
  std::printf("  bytes        %lld\n", static_cast<long long>(bytes));
  if (IndexUsable(findings)) {
    std::printf("  tail bytes   %lld\n",
                static_cast<long long>(std::max<int64_t>(0, bytes - IndexedEnd(reader))));
  }
  std::printf("  well formed  %s\n", findings.empty() ? "yes" : "no");
  for (const VolumeFinding& finding : findings) {
    std::printf("  problem      %s%s\n", EntryPrefix(header, finding.entry).c_str(),
                FindingText(finding).c_str());
  }
  return findings.empty();
}

int RunInfo(const std::vector<std::string>& files) {
  bool trouble = false;
  bool first = true;
  for (const std::string& path : files) {
    VolumeReader reader;
    Opened opened = OpenVolume(path, &reader);
    if (opened == Opened::kFailed) {
      trouble = true;
      continue;
    }
    if (!first) std::fputc('\n', stdout);
    first = false;
    trouble |= !PrintInfo(path, reader, opened);
  }
  return Finish(trouble);
}

// --- verify -------------------------------------------------------------

struct VerifyOptions {
  bool verbose = false;
  std::vector<std::string> files;
};

// Prints a line per problem of one file; false when there is any.
bool Verify(const std::string& path, bool verbose) {
  VolumeReader reader;
  Opened opened = OpenVolume(path, &reader);
  if (opened == Opened::kFailed) return false;
  if (opened == Opened::kShort) {
    std::printf("%s: %s\n", path.c_str(), VolumeProblemText(VolumeProblem::kShortFile));
    return false;
  }
  VolumeCheck check = CheckVolumeFile(reader);
  const VolumeFileHeader& header = reader.header();
  for (const VolumeFinding& finding : check.format) {
    std::printf("%s: %s%s\n", path.c_str(), EntryPrefix(header, finding.entry).c_str(),
                FindingText(finding).c_str());
  }
  for (const ImageFinding& finding : check.images) {
    std::printf("%s: %s%s\n", path.c_str(), EntryPrefix(header, finding.entry).c_str(),
                ImageFindingText(finding, header).c_str());
  }
  if (check.sound() && verbose) std::printf("%s: ok\n", path.c_str());
  return check.sound();
}

int RunVerify(const VerifyOptions& options) {
  bool trouble = false;
  for (const std::string& path : options.files) trouble |= !Verify(path, options.verbose);
  return Finish(trouble);
}

// --- extract ------------------------------------------------------------

struct ExtractOptions {
  std::string output = ".";
  std::vector<int64_t> ids;
  std::vector<std::string> categories;
  bool verbose = false;
  std::vector<std::string> files;
};

// The name an extracted product is written under: its archive name, or,
// when its heading does not give one, the .jx4 file's name without ".jx4",
// an underscore and the product id (`fromHeading` false).
std::string ProductFileName(const std::string& path, const VolumeFileHeader& header,
                            int32_t index, const std::vector<uint8_t>& image, bool* fromHeading) {
  char name[kArchiveNameSize];
  *fromHeading = MakeArchiveName(image.data(), static_cast<int32_t>(image.size()),
                                 header.volumeTime, name);
  if (*fromHeading) return name;
  std::string stem = fs::path(path).filename().string();
  if (stem.size() > std::strlen(kVolumeSuffix) && stem.ends_with(kVolumeSuffix)) {
    stem.resize(stem.size() - std::strlen(kVolumeSuffix));
  }
  return stem + "_" + std::to_string(header.entries[index].productId);
}

class Extraction {
 public:
  explicit Extraction(const ExtractOptions& options) : options_(options) {}

  // Resolves the categories; false (said) when one is not catalogued.
  bool Select() {
    for (int64_t id : options_.ids) selected_.push_back(static_cast<uint32_t>(id));
    for (const std::string& code : options_.categories) {
      int32_t id = FindProductByCode(code.c_str());
      if (id == kNoProductId) {
        PrintError("unknown category '%s': not in the catalogue (see jx4(1))", code.c_str());
        return false;
      }
      selected_.push_back(static_cast<uint32_t>(id));
    }
    return true;
  }

  bool IsSelected(uint32_t productId) const {
    return selected_.empty() ||
           std::find(selected_.begin(), selected_.end(), productId) != selected_.end();
  }

  int ToFolder() {
    auto open = [this](const char* path) { return folder_.Open(path); };
    if (!PrepareOutputFolder(options_.output, open)) return kExitTrouble;
    int64_t matched = 0;
    for (const std::string& path : options_.files) {
      VolumeReader reader;
      if (!OpenIndex(path, &reader, &trouble_)) continue;
      for (int32_t i = 0; i < reader.entryCount(); ++i) {
        if (!IsSelected(reader.header().entries[i].productId)) continue;
        ++matched;
        WriteOut(path, reader, i);
      }
    }
    if (matched == 0) PrintError("no product in the files matches the selection");
    return Finish(trouble_);
  }

  int ToStandardOutput() {
    int64_t matched = 0;
    std::string matchedPath;
    int32_t matchedEntry = -1;
    for (const std::string& path : options_.files) {
      VolumeReader reader;
      if (!OpenIndex(path, &reader, &trouble_)) continue;
      for (int32_t i = 0; i < reader.entryCount(); ++i) {
        if (IsSelected(reader.header().entries[i].productId) && ++matched == 1) {
          matchedPath = path;
          matchedEntry = i;
        }
      }
    }
    if (matched != 1) {
      PrintError("'-o -' writes one product to standard output, but %lld products match; "
                 "choose one with --id or --category",
                 static_cast<long long>(matched));
      return kExitUsage;
    }
    if (IsTerminal(1)) {
      PrintError("a product is not written to a terminal; send standard output to a file or a pipe");
      return kExitUsage;
    }
    VolumeReader reader;
    std::vector<uint8_t> image;
    if (OpenVolume(matchedPath, &reader) != Opened::kOk ||
        !reader.ReadImage(matchedEntry, &image)) {
      PrintError("'%s' entry %d: the image cannot be read", matchedPath.c_str(), matchedEntry);
      return kExitTrouble;
    }
    SetBinaryMode(1);
    if (std::fwrite(image.data(), 1, image.size(), stdout) != image.size()) trouble_ = true;
    return Finish(trouble_);
  }

 private:
  void WriteOut(const std::string& path, const VolumeReader& reader, int32_t index) {
    std::vector<uint8_t> image;
    if (!reader.ReadImage(index, &image)) {
      PrintError("'%s' entry %d: the image cannot be read; not extracted", path.c_str(), index);
      trouble_ = true;
      return;
    }
    bool fromHeading = false;
    std::string name = ProductFileName(path, reader.header(), index, image, &fromHeading);
    std::string source = "'" + path + "' entry " + std::to_string(index);
    fs::path target = fs::path(options_.output) / name;
    if (!fromHeading) {
      PrintError("%s: no heading to name it by; written as '%s'", source.c_str(), name.c_str());
    }
    OutputFile file;
    if (!file.CreateNew(folder_, name.c_str())) {
      std::error_code error;
      auto earlier = written_.find(name);
      if (earlier != written_.end()) {
        PrintError("%s: '%s' was written from %s already; not overwritten", source.c_str(),
                   target.string().c_str(), earlier->second.c_str());
      } else if (fs::symlink_status(target, error).type() != fs::file_type::not_found) {
        PrintError("%s: '%s' exists already; not overwritten", source.c_str(),
                   target.string().c_str());
      } else {
        PrintError("%s: cannot create '%s'; check the folder's permissions", source.c_str(),
                   target.string().c_str());
      }
      trouble_ = true;
      return;
    }
    bool whole = file.WriteAt(0, image.data(), static_cast<int32_t>(image.size()));
    if (!file.Close() || !whole) {
      std::error_code error;
      fs::remove(target, error);
      PrintError("%s: writing '%s' failed (is the disk full?); nothing was left", source.c_str(),
                 target.string().c_str());
      trouble_ = true;
      return;
    }
    written_[name] = source;
    if (options_.verbose) std::printf("%s\n", target.string().c_str());
  }

  const ExtractOptions& options_;
  std::vector<uint32_t> selected_;
  OutputFolder folder_;
  std::map<std::string, std::string> written_;  // name, where it came from
  bool trouble_ = false;
};

int RunExtract(const ExtractOptions& options) {
  Extraction extraction(options);
  if (!extraction.Select()) return kExitUsage;
  return options.output == kStandardOutput ? extraction.ToStandardOutput() : extraction.ToFolder();
}

}  // namespace

Command AddListCommand(CLI::App& jx4) {
  auto options = std::make_shared<ListOptions>();
  CLI::App* app = jx4.add_subcommand("list", "List the products in .jx4 files");
  app->description(
      "Prints a line per product: file, station, volume time (UTC), product id,\n"
      "category, offset, length and the catalogue's name of the product.");
  app->add_flag("--json", options->json,
                "One JSON object per file and line: file, station, volume_time, well_formed,\n"
                "entries (entry, product_id, category, name, offset, length)");
  AddFiles(app, &options->files);
  app->footer("Exit status: 0 when every file was read and is well formed; 1 when one could\n"
              "not be read or is damaged (the others are still listed); 2 for a wrong command line.");
  return {app, [options] { return RunList(*options); }};
}

Command AddInfoCommand(CLI::App& jx4) {
  auto files = std::make_shared<std::vector<std::string>>();
  CLI::App* app = jx4.add_subcommand("info", "Describe .jx4 files");
  app->description(
      "Prints a block per file: station, volume time, entry count, size, bytes behind\n"
      "the last image, and whether the header and index are well formed, or why not.\n"
      "The images themselves are checked by 'jx4 verify'.");
  AddFiles(app, files.get());
  app->footer("Exit status: 0 when every file was read and is well formed; 1 when one could\n"
              "not be read or is not well formed; 2 for a wrong command line.");
  return {app, [files] { return RunInfo(*files); }};
}

Command AddVerifyCommand(CLI::App& jx4) {
  auto options = std::make_shared<VerifyOptions>();
  CLI::App* app = jx4.add_subcommand("verify", "Check .jx4 files");
  app->description(
      "Checks that each file is exactly as jx4 convert writes it: the magic, an entry\n"
      "count of 0 to 60, images inside the file that tile it from byte 980 without gaps\n"
      "or overlaps and nothing behind the last, unique catalogued product ids, zero\n"
      "unused entries; and that every image's header decodes and passes the intake's\n"
      "tests, with the file's station and volume time and the entry's category.\n"
      "Prints a line per problem and nothing for a sound file. Changes nothing.");
  app->add_flag("-v,--verbose", options->verbose, "Also print 'FILE: ok' for a sound file");
  AddFiles(app, &options->files);
  app->footer("Exit status: 0 when every file is sound; 1 when any is not or cannot be read;\n"
              "2 for a wrong command line.");
  return {app, [options] { return RunVerify(*options); }};
}

Command AddExtractCommand(CLI::App& jx4) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* app = jx4.add_subcommand("extract", "Write products back out of .jx4 files");
  app->description(
      "Writes each selected product, byte for byte, to a file named as in the day\n"
      "archives, CCCC_TTAAII_PPPSSS_YYYYMMDDHHMM, from its heading and the volume\n"
      "scan's year and month. A product without a readable heading is named after its\n"
      ".jx4 file and its product id (ktlx_20050703_120312_941). Existing files are\n"
      "never overwritten. Without --id and --category, every product is selected.");
  app->add_option("-o,--output", options->output,
                  "Output folder (created if missing); '-' writes the one selected product\n"
                  "to standard output")
      ->capture_default_str();
  app->add_option("--id", options->ids, "Select the products of this product id (repeatable)")
      ->type_name("N")
      ->allow_extra_args(false)
      ->check(CLI::Range(int64_t{0}, int64_t{UINT32_MAX}));
  app->add_option("--category", options->categories,
                  "Select the products of this category code, e.g. N0Q (repeatable)")
      ->type_name("CCC")
      ->allow_extra_args(false);
  app->add_flag("-v,--verbose", options->verbose, "Print the path of each file written");
  AddFiles(app, &options->files);
  app->footer("Exit status: 0 when every selected product was written; 1 when a file could not\n"
              "be read or is damaged, or a product was not written (an existing file of its\n"
              "name included; the others are still written); 2 for a wrong command line, or\n"
              "'-o -' with other than exactly one selected product or onto a terminal.");
  return {app, [options] { return RunExtract(*options); }};
}

}  // namespace nimbrel
