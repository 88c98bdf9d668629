// jx4 extract (see extract.h).
#include "jx4/extract.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>

#include "jx4/command.h"
#include "jx4/new_file.h"
#include "jx4/selection_options.h"
#include "jx4/volume_files.h"
#include "platform/standard_streams.h"

namespace nimbrel {

namespace {

class Extraction {
 public:
  Extraction(const ExtractOptions& options, const FolderOpener& open)
      : options_(options), open_(open) {}

  // Resolves the categories and the selection, and finds the files; false
  // (said) when a category is not catalogued or the selection is none.
  bool Select() {
    for (int64_t id : options_.ids) selected_.push_back(static_cast<uint32_t>(id));
    for (const std::string& code : options_.categories) {
      const ProductEntry* row = FindProduct(Catalogue::kExtended, code.c_str());
      if (row == nullptr) {
        PrintError("unknown category '%s': not in the catalogue (see jx4 catalogue)", code.c_str());
        return false;
      }
      selected_.push_back(static_cast<uint32_t>(row->id));
    }
    return ReadArguments({options_.files, options_.selection}, &files_, &selection_, &trouble_);
  }

  bool IsSelected(const VolumeIndexEntry& entry) const {
    bool asked = selected_.empty() ||
                 std::find(selected_.begin(), selected_.end(), entry.productId) != selected_.end();
    return asked && SelectsEntry(selection_, entry);
  }

  // Opens a file whose selected entries are to be read; false when it
  // cannot be or is not selected.
  bool OpenSelected(const std::string& path, VolumeReader* reader) {
    return OpenIndex(path, reader, &trouble_) && SelectsFile(selection_, *reader);
  }

  int ToFolder() {
    auto open = [this](const char* path) { return (folder_ = open_(path)) != nullptr; };
    if (!PrepareOutputFolder(options_.output, open)) return kExitTrouble;
    int64_t matched = 0;
    for (const std::string& path : files_) {
      VolumeReader reader;
      if (!OpenSelected(path, &reader)) continue;
      for (int32_t i = 0; i < reader.entryCount(); ++i) {
        if (!IsSelected(reader.header().entries[i])) continue;
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
    for (const std::string& path : files_) {
      VolumeReader reader;
      if (!OpenSelected(path, &reader)) continue;
      for (int32_t i = 0; i < reader.entryCount(); ++i) {
        if (IsSelected(reader.header().entries[i]) && ++matched == 1) {
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
    std::string name = StoredProductName(BaseName(path.c_str()), reader.header().volumeTime,
                                         reader.header().entries[index].productId, image.data(),
                                         static_cast<int32_t>(image.size()), &fromHeading);
    std::string source = "'" + path + "' entry " + std::to_string(index);
    std::string target = PathInFolder(options_.output, name);
    if (!fromHeading) {
      PrintError("%s: no heading to name it by; written as '%s'", source.c_str(), name.c_str());
    }
    std::string why;
    if (!written_.Write(folder_.get(), name, target, source, image, &why)) {
      PrintError("%s: %s", source.c_str(), why.c_str());
      trouble_ = true;
      return;
    }
    if (options_.verbose) std::printf("%s\n", target.c_str());
  }

  const ExtractOptions& options_;
  const FolderOpener& open_;
  std::vector<uint32_t> selected_;
  Selection selection_;
  std::vector<std::string> files_;
  std::unique_ptr<StoreFolder> folder_;
  NewFiles written_;
  bool trouble_ = false;
};

constexpr char kStandardOutput[] = "-";

}  // namespace

int RunExtract(const ExtractOptions& options, const FolderOpener& open) {
  Extraction extraction(options, open);
  if (!extraction.Select()) return kExitUsage;
  return options.output == kStandardOutput ? extraction.ToStandardOutput() : extraction.ToFolder();
}

Command AddExtractCommand(CLI::App& jx4) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* app = jx4.add_subcommand("extract", "Write products back out of .jx4 files");
  app->description(
      "Writes each selected product, byte for byte, to a file named as in the day\n"
      "archives, CCCC_TTAAII_PPPSSS_YYYYMMDDHHMM, from its heading and the volume\n"
      "scan's year and month. A product without a readable heading is named after its\n"
      ".jx4 file and its product id (ktlx_20050703_120312_941). Existing files are\n"
      "never overwritten. Without --id and --category, every product is selected.\n"
      "Folders are walked for .jx4 files; a volume's further files (NAME_2.jx4, ...)\n"
      "come with its first.");
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
  AddSelectionOptions(app, &options->selection, "Take only the products", true);
  app->add_flag("-v,--verbose", options->verbose, "Print the path of each file written");
  app->add_option("FILE", options->files, ".jx4 files, and folders of them (walked recursively)")->required();
  app->footer("Exit status: 0 when every selected product was written; 1 when a file could not\n"
              "be read or is damaged, or a product was not written (an existing file of its\n"
              "name included; the others are still written); 2 for a wrong command line, or\n"
              "'-o -' with other than exactly one selected product or onto a terminal.");
  return {app, [options] { return RunExtract(*options); }};
}

}  // namespace nimbrel
