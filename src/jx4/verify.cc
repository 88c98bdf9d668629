// jx4 verify: a line per problem, "FILE: [entry N (id I): ]what"; nothing
// for a sound file (with -v, "FILE: ok"); with --deep every image is decoded
// too. Changes nothing. Exit status 0 when every file is sound, 1 when any
// is not or cannot be read, 2 for a wrong command line.
#include "jx4/verify.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jx4/command.h"
#include "jx4/volume_files.h"

namespace nimbrel {

namespace {

struct VerifyOptions {
  bool verbose = false;
  bool deep = false;
  FileArguments arguments;
};

int RunVerify(const VerifyOptions& options) {
  bool trouble = false;
  std::vector<std::string> files;
  Selection selection;
  if (!ReadArguments(options.arguments, &files, &selection, &trouble)) return kExitUsage;
  std::map<std::string, std::vector<std::string>> acrossSets = CheckVolumeSets(files);
  for (const std::string& path : files) {
    Verdict verdict = VerifyFile(path, options.deep, selection, acrossSets[path]);
    if (verdict.empty) std::printf("%s: %s\n", path.c_str(), kEmptyText);
    for (const std::string& problem : verdict.problems) {
      std::printf("%s: %s\n", path.c_str(), problem.c_str());
    }
    if (verdict.sound() && verdict.selected && !verdict.empty && options.verbose) {
      std::printf("%s: ok\n", path.c_str());
    }
    trouble |= !verdict.sound();
  }
  return Finish(trouble);
}

}  // namespace

Verdict VerifyFile(const std::string& path, bool deep, const Selection& selection,
                   const std::vector<std::string>& acrossSet) {
  Verdict verdict;
  VolumeReader reader;
  Opened opened = OpenVolume(path, &reader);
  if (opened == Opened::kFailed) {
    verdict.readable = false;
    return verdict;
  }
  if (opened == Opened::kEmpty) {
    verdict.empty = true;
    return verdict;
  }
  if (opened == Opened::kShort) {
    for (const VolumeFinding& finding : FormatFindings(opened, reader)) {
      verdict.problems.push_back(FindingText(finding));
    }
    return verdict;
  }
  if (!SelectsFile(selection, reader)) {
    verdict.selected = false;
    return verdict;
  }
  VolumeCheck check = CheckVolumeFile(reader, deep);
  const VolumeFileHeader& header = reader.header();
  for (const VolumeFinding& finding : check.format) {
    verdict.problems.push_back(EntryPrefix(header, finding.entry) + FindingText(finding));
  }
  for (const ImageFinding& finding : check.images) {
    verdict.problems.push_back(EntryPrefix(header, finding.entry) + ImageFindingText(finding, header));
  }
  verdict.problems.insert(verdict.problems.end(), acrossSet.begin(), acrossSet.end());
  return verdict;
}

Command AddVerifyCommand(CLI::App& jx4) {
  auto options = std::make_shared<VerifyOptions>();
  CLI::App* app = jx4.add_subcommand("verify", "Check .jx4 files");
  app->description(
      "Checks that each file is exactly as jx4 convert writes it: the magic, an entry\n"
      "count of 0 to 60, images inside the file that tile it from byte 980 without gaps\n"
      "or overlaps and nothing behind the last, unique catalogued product ids, zero\n"
      "unused entries; and that every image's header decodes and passes the intake's\n"
      "tests, with the file's station and volume time and the entry's category; across\n"
      "a volume's files (NAME.jx4, NAME_2.jx4, ...), that no id is in two of them, that\n"
      "they share station and time and that none is missing before another. With\n"
      "--deep, also decodes every image: its compressed symbology inflates, its blocks\n"
      "lie inside the message and every packet fits its layer. Folders are walked for\n"
      ".jx4 files. Prints a line per problem and nothing for a sound file. Changes\n"
      "nothing.");
  app->add_flag("-v,--verbose", options->verbose, "Also print 'FILE: ok' for a sound file");
  app->add_flag("--deep", options->deep,
                "Also decode every image (a damaged product is named, the rest still checked)");
  AddFiles(app, &options->arguments, false);
  app->footer("Exit status: 0 when every file is sound; 1 when any is not or cannot be read;\n"
              "2 for a wrong command line.");
  return {app, [options] { return RunVerify(*options); }};
}

}  // namespace nimbrel
