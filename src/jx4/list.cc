// jx4 list: a line per product: FILE STATION VOLUME-TIME ID CATEGORY OFFSET
// LENGTH NAME (the name last, as it holds blanks; UTF-8); with --json one
// JSON object per file and line. Exit status 0 when every file was read and
// is well formed, 1 when one could not be read or is damaged (the others
// are still listed), 2 for a wrong command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "jx4/command.h"
#include "jx4/json.h"
#include "jx4/volume_files.h"

namespace nimbrel {

namespace {

void PrintListLines(const std::string& path, const VolumeReader& reader, const Selection& selection) {
  const VolumeFileHeader& header = reader.header();
  std::string station = StationOf(header);
  std::string time = TimeText(header.volumeTime);
  for (int32_t i = 0; i < reader.entryCount(); ++i) {
    const VolumeIndexEntry& entry = header.entries[i];
    if (!SelectsEntry(selection, entry)) continue;
    const ProductEntry* row = CatalogueRow(entry.productId);
    std::printf("%s %s %s %4u %-3s %8u %7u %s\n", path.c_str(), station.c_str(), time.c_str(),
                entry.productId, row != nullptr ? row->categoryCode : "-", entry.offset,
                entry.length, row != nullptr ? Utf8(row->name).c_str() : "(not in the catalogue)");
  }
}

void PrintListJson(const std::string& path, const VolumeReader& reader, bool wellFormed,
                   const Selection& selection) {
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
  bool listed = false;
  for (int32_t i = 0; i < reader.entryCount(); ++i) {
    const VolumeIndexEntry& entry = header.entries[i];
    if (!SelectsEntry(selection, entry)) continue;
    const ProductEntry* row = CatalogueRow(entry.productId);
    if (listed) line += ",";
    listed = true;
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
  // Files without a product of the categories asked for are left out.
  if (listed || selection.productIds.empty()) std::fputs(line.c_str(), stdout);
}

struct ListOptions {
  bool json = false;
  FileArguments arguments;
};

int RunList(const ListOptions& options) {
  bool trouble = false;
  std::vector<std::string> files;
  Selection selection;
  if (!ReadArguments(options.arguments, &files, &selection, &trouble)) return kExitUsage;
  for (const std::string& path : files) {
    VolumeReader reader;
    bool wellFormed = false;
    if (!OpenIndex(path, &reader, &trouble, &wellFormed) || !SelectsFile(selection, reader)) continue;
    if (options.json) {
      PrintListJson(path, reader, wellFormed, selection);
    } else {
      PrintListLines(path, reader, selection);
    }
  }
  return Finish(trouble);
}

}  // namespace

Command AddListCommand(CLI::App& jx4) {
  auto options = std::make_shared<ListOptions>();
  CLI::App* app = jx4.add_subcommand("list", "List the products in .jx4 files");
  app->description(
      "Prints a line per product: file, station, volume time (UTC), product id,\n"
      "category, offset, length and the catalogue's name of the product. Folders are\n"
      "walked for .jx4 files; a volume's further files (NAME_2.jx4, ...) come with its\n"
      "first.");
  app->add_flag("--json", options->json,
                "One JSON object per file and line: file, station, volume_time, well_formed,\n"
                "entries (entry, product_id, category, name, offset, length)");
  AddFiles(app, &options->arguments, true);
  app->footer("Exit status: 0 when every file was read and is well formed; 1 when one could\n"
              "not be read or is damaged (the others are still listed); 2 for a wrong command line.");
  return {app, [options] { return RunList(*options); }};
}

}  // namespace nimbrel
