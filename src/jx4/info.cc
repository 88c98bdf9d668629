// jx4 info: a block per file, "FILE:" then indented "field  value" lines,
// blocks parted by an empty line. Exit status 0 when every file was read and
// is well formed, 1 when one could not be read or is not, 2 for a wrong
// command line.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "jx4/command.h"
#include "jx4/volume_files.h"
#include "platform/file_query.h"
#include "platform/path.h"

namespace nimbrel {

namespace {

// Prints the block of one file; false when it is not well formed.
bool PrintInfo(const std::string& path, const VolumeReader& reader, Opened opened) {
  int64_t bytes = opened == Opened::kOk ? reader.fileSize() : QueryPath(path.c_str()).size;
  std::printf("%s:\n", path.c_str());
  if (opened == Opened::kEmpty) {
    std::printf("  bytes        %lld\n", static_cast<long long>(bytes));
    std::printf("  %s (a later store starts it afresh)\n", kEmptyText);
    return true;
  }
  std::vector<VolumeFinding> findings = FormatFindings(opened, reader);
  const VolumeFileHeader& header = reader.header();
  if (IndexUsable(findings)) {
    std::printf("  station      %s\n", StationOf(header).c_str());
    std::printf("  volume time  %s\n", TimeText(header.volumeTime).c_str());
    std::string first;
    if (int32_t part = VolumePart(BaseName(path.c_str()), &first); part > 1) {
      std::printf("  continues    %s (file %d of the volume)\n", first.c_str(), part);
    }
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

int RunInfo(const FileArguments& arguments) {
  bool trouble = false;
  bool first = true;
  std::vector<std::string> files;
  Selection selection;
  if (!ReadArguments(arguments, &files, &selection, &trouble)) return kExitUsage;
  for (const std::string& path : files) {
    VolumeReader reader;
    Opened opened = OpenVolume(path, &reader);
    if (opened == Opened::kFailed) {
      trouble = true;
      continue;
    }
    if (opened == Opened::kOk && !SelectsFile(selection, reader)) continue;
    if (!first) std::fputc('\n', stdout);
    first = false;
    trouble |= !PrintInfo(path, reader, opened);
  }
  return Finish(trouble);
}

}  // namespace

Command AddInfoCommand(CLI::App& jx4) {
  auto arguments = std::make_shared<FileArguments>();
  CLI::App* app = jx4.add_subcommand("info", "Describe .jx4 files");
  app->description(
      "Prints a block per file: station, volume time, entry count, size, bytes behind\n"
      "the last image, and whether the header and index are well formed, or why not;\n"
      "for a volume's further file (NAME_2.jx4, ...), which file of the volume it is.\n"
      "Folders are walked for .jx4 files. The images themselves are checked by\n"
      "'jx4 verify'.");
  AddFiles(app, arguments.get(), false);
  app->footer("Exit status: 0 when every file was read and is well formed; 1 when one could\n"
              "not be read or is not well formed; 2 for a wrong command line.");
  return {app, [arguments] { return RunInfo(*arguments); }};
}

}  // namespace nimbrel
