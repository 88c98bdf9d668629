#include "jx4/volume_files.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

#include "conversion/words.h"
#include "jx4/command.h"
#include "jx4/inputs.h"
#include "jx4/json.h"
#include "jx4/selection_options.h"
#include "platform/file_query.h"
#include "platform/path.h"

namespace nimbrel {

std::string VolumeStem(const std::string& path) {
  std::string stem = BaseName(path.c_str());
  if (stem.size() > std::strlen(kVolumeSuffix) && stem.ends_with(kVolumeSuffix)) {
    stem.resize(stem.size() - std::strlen(kVolumeSuffix));
  }
  return stem;
}

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
  return productId <= INT32_MAX ? FindProductById(Catalogue::kExtended, static_cast<int32_t>(productId))
                                : nullptr;
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
    case ImageProblem::kDoesNotDecode:
      return text + ": " + DescribeDecodeResult(finding.decoded);
    default:
      return text;
  }
}

Opened OpenVolume(const std::string& path, VolumeReader* reader, std::string* error) {
  bool opened = reader->Open(path.c_str());
  if (reader->start() == FileStart::kRemnant) return Opened::kEmpty;
  if (opened) return Opened::kOk;
  PathInfo info = QueryPath(path.c_str());
  if (info.kind == PathKind::kRegularFile && info.size < kVolumeHeaderSize) return Opened::kShort;
  const char* why = info.kind == PathKind::kMissing     ? "it does not exist; check the path"
                    : info.kind == PathKind::kDirectory ? "it is a folder, not a .jx4 file"
                    : info.kind == PathKind::kOther     ? "it is not a regular file"
                                                        : "check its permissions";
  std::string text = "cannot read '" + path + "': " + why;
  if (error != nullptr) {
    *error = text;
  } else {
    PrintError("%s", text.c_str());
  }
  return Opened::kFailed;
}

// What the format module finds wrong with an opened file.
std::vector<VolumeFinding> FormatFindings(Opened opened, const VolumeReader& reader) {
  if (opened == Opened::kShort) return {{VolumeProblem::kShortFile}, {VolumeProblem::kForeign}};
  return CheckWellFormed(reader.header(), reader.fileSize());
}

// Opens a file whose index is to be read. False when it cannot be read or
// has no usable index; `wellFormed` (when given) false when it has one but
// the file is not well formed. Both are said on standard error and set
// `trouble`.
bool OpenIndex(const std::string& path, VolumeReader* reader, bool* trouble,
               bool* wellFormed) {
  Opened opened = OpenVolume(path, reader);
  if (opened == Opened::kEmpty) return false;
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
  app->add_option("FILE", *files, ".jx4 files, and folders of them (walked recursively)")->required();
}

void AddFiles(CLI::App* app, FileArguments* arguments, bool products) {
  app->add_option("FILE", arguments->files, ".jx4 files, and folders of them (walked recursively)")
      ->required();
  AddSelectionOptions(app, &arguments->selection, products ? "Take only the products" : "Take only the files",
                      products);
}

namespace {

// Hands `take` the further files of the volume whose first file is at
// `path` (none for any other file), up to the first that is missing.
template <typename Take>
void TakeFurtherFiles(const std::string& path, const Take& take) {
  std::string first;
  if (VolumePart(BaseName(path.c_str()), &first) != 1) return;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  for (int32_t part = 2; part <= kMaxVolumeParts; ++part) {
    std::filesystem::path further = folder / FurtherFileName(first, part);
    std::error_code error;
    if (!std::filesystem::is_regular_file(further, error)) return;
    take(further.string());
  }
}

}  // namespace

bool ReadArguments(const FileArguments& arguments, std::vector<std::string>* files, Selection* selection,
                   bool* trouble, std::vector<std::string>* problems) {
  auto tell = [problems](const std::string& text) {
    if (problems != nullptr) {
      problems->push_back(text);
    } else {
      PrintError("%s", text.c_str());
    }
  };
  auto say = [&tell, trouble](const std::string& text) {
    *trouble = true;
    tell(text);
  };
  std::string why;
  if (!ReadSelection(arguments.selection, Catalogue::kExtended, selection, &why)) {
    tell(why);
    return false;
  }
  files->clear();
  std::set<std::string> seen;
  auto take = [&](const std::string& path) {
    if (seen.insert(path).second) files->push_back(path);
  };
  for (const std::string& argument : arguments.files) {
    size_t before = files->size();
    for (const InputUnit& unit : ExpandInputs({argument}, "")) {
      // What a folder walk finds counts when it is named as a .jx4 file is.
      bool walked = unit.path != argument;
      std::error_code error;
      if (unit.kind == InputUnit::Kind::kUnreadable &&
          (walked || std::filesystem::is_directory(unit.path, error))) {
        say("cannot read '" + unit.path + "': " + unit.problem);
        continue;
      }
      if (walked && !unit.path.ends_with(kVolumeSuffix)) continue;
      take(unit.path);
      TakeFurtherFiles(unit.path, take);
    }
    std::error_code error;
    if (files->size() == before && std::filesystem::is_directory(argument, error)) {
      say("no .jx4 file in the folder '" + argument + "'");
    }
  }
  return true;
}

bool SelectsEntry(const Selection& selection, const VolumeIndexEntry& entry) {
  return selection.productIds.empty() ||
         (entry.productId <= INT32_MAX && selection.SelectsProduct(static_cast<int32_t>(entry.productId)));
}

bool SelectsFile(const Selection& selection, const VolumeReader& reader) {
  const VolumeFileHeader& header = reader.header();
  if (!HasVolumeMagic(reinterpret_cast<const uint8_t*>(header.magic), 4) ||
      std::memchr(header.station, 0, kVolumeStationSize) == nullptr) {
    return true;
  }
  return selection.SelectsVolume(header.station, header.volumeTime);
}

std::map<std::string, std::vector<std::string>> CheckVolumeSets(const std::vector<std::string>& files) {
  struct Member {
    int32_t part;
    std::string path;
  };
  // Each volume's files, by its folder and first file's name.
  std::map<std::pair<std::string, std::string>, std::vector<Member>> volumes;
  for (const std::string& path : files) {
    std::string first;
    int32_t part = VolumePart(BaseName(path.c_str()), &first);
    if (part == 0) continue;
    volumes[{std::filesystem::path(path).parent_path().string(), first}].push_back({part, path});
  }
  std::map<std::string, std::vector<std::string>> problems;
  for (auto& [volume, members] : volumes) {
    std::sort(members.begin(), members.end(),
              [](const Member& a, const Member& b) { return a.part < b.part; });
    const std::filesystem::path folder = volume.first;
    std::map<uint32_t, std::pair<std::string, int32_t>> indexed;  // id: file, entry
    std::optional<VolumeFileHeader> firstHeader;
    for (const Member& member : members) {
      VolumeReader reader;
      if (!reader.Open(member.path.c_str()) ||
          !IndexUsable(CheckWellFormed(reader.header(), reader.fileSize()))) {
        continue;
      }
      const VolumeFileHeader& header = reader.header();
      std::vector<std::string>& lines = problems[member.path];
      if (member.part == 1) firstHeader = header;
      if (member.part > 1) {
        std::string before =
            member.part > 2 ? FurtherFileName(volume.second, member.part - 1) : volume.second;
        std::error_code error;
        if (!std::filesystem::is_regular_file(folder / before, error)) {
          lines.push_back("the volume's file before it, '" + before + "', is missing");
        } else if (firstHeader.has_value() &&
                   (firstHeader->volumeTime != header.volumeTime ||
                    std::strncmp(firstHeader->station, header.station, kVolumeStationSize) != 0)) {
          lines.push_back("station or volume time is not that of the volume's first file '" +
                          volume.second + "'");
        }
      }
      for (int32_t i = 0; i < reader.entryCount(); ++i) {
        auto [at, added] = indexed.insert({header.entries[i].productId, {BaseName(member.path.c_str()), i}});
        if (!added && at->second.first != BaseName(member.path.c_str())) {
          lines.push_back(EntryPrefix(header, i) + "product id indexed also in '" + at->second.first +
                          "' (entry " + std::to_string(at->second.second) + ")");
        }
      }
      if (lines.empty()) problems.erase(member.path);
    }
  }
  return problems;
}

}  // namespace nimbrel
