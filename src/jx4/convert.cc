// jx4 convert: the command line of a run (see convert_run.h).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <string>

#include "conversion/words.h"
#include "jx4/command.h"
#include "jx4/convert_run.h"
#include "jx4/selection_options.h"
#include "platform/signals.h"

namespace nimbrel {

namespace {

// The outcome words of the report with their meanings, a line each.
template <typename Value>
std::string WordLines(const char* (*word)(Value), const char* (*meaning)(Value)) {
  std::string lines;
  for (int i = 0; i < static_cast<int>(Value::kCount); ++i) {
    auto value = static_cast<Value>(i);
    std::string name = word(value);
    name.resize(std::max<size_t>(name.size(), 20), ' ');
    lines += "  " + name + " " + meaning(value) + "\n";
  }
  return lines;
}

}  // namespace

Command AddConvertCommand(CLI::App& jx4) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* app = jx4.add_subcommand(
      "convert",
      "File the Level III products of archives, folders and product files into .jx4 files");
  app->description(
      "Files every Level III product found in the inputs into one .jx4 file per radar\n"
      "station and volume scan, in the output folder; products already filed are not\n"
      "stored twice. Inputs are told apart by content, never by name: tar archives of\n"
      "any variant, zip, 7z, cpio; compressed with compress (.Z), gzip, bzip2, xz, zstd\n"
      "or lz4; archives inside archives (4 levels deep); folders (walked recursively);\n"
      "product files in any naming; feeds of framed products of any length, each\n"
      "product filed as soon as its frame has arrived ('-' behind a pipe). Nothing is\n"
      "asked.");
  app->add_option("-o,--output", options->output, "Output folder (created if missing)")
      ->capture_default_str();
  app->add_option("-j,--jobs", options->jobs,
                  "Inputs converted at once, 1 to 1024 (default: the number of cores); any N\n"
                  "files the same products as -j 1, only the order inside a file may differ")
      ->check(CLI::Validator(
          [](const std::string& text) -> std::string {
            int jobs = 0;
            return CLI::detail::lexical_cast(text, jobs) && jobs >= 1 && jobs <= 1024
                       ? ""
                       : "must be a number from 1 to 1024, not '" + text + "'";
          },
          "N", "1 to 1024"));
  app->add_option("--report", options->report,
                  "Write a JSON Lines record for every product, member and input to FILE\n"
                  "('-': standard output)");
  app->add_flag("--sync", options->sync,
                "Durable stores: each image reaches the disk before the index that lists it");
  app->add_flag("-q,--quiet", options->quiet, "No progress line and no summary");
  app->add_option("--catalogue", options->catalogue,
                  "The product catalogue and station table to file by: classic (56 kinds, 200\n"
                  "stations: files as nimbrel's) or extended (also today's products and radars;\n"
                  "a volume of more than 60 products continues in NAME_2.jx4, ...); see\n"
                  "'jx4 catalogue'")
      ->check(CLI::IsMember({"classic", "extended"}))
      ->capture_default_str();
  AddSelectionOptions(app, &options->selection, "File only the products", true);
  app->add_flag("-n,--dry-run", options->dryRun,
                "Store nothing (no folder made, no .jx4 file opened for writing): the report\n"
                "and summary say what would be stored, against the files there are");
  app->add_option("--layout", options->layout,
                  "Where the .jx4 files go under the output folder: flat, station,\n"
                  "station/year, station/year/month or station/year/month/day (folders made\n"
                  "as needed)")
      ->check(CLI::IsMember({"flat", "station", "station/year", "station/year/month",
                             "station/year/month/day"}))
      ->capture_default_str();
  app->add_option("INPUT", options->inputs, "Archives, folders, product files; '-' for standard input")
      ->required();
  app->footer(
      "Report outcome words, per product or member:\n" +
      WordLines<Outcome>(OutcomeWord, OutcomeMeaning) + "Per input:\n" +
      WordLines<InputEnd>(InputEndWord, InputEndMeaning) +
      "Exit status: 0 when every input was read to its end and no store failed; 1 when an\n"
      "input was damaged or unreadable or a store failed (all else is still done); 2 for a\n"
      "wrong command line (a category or station not in the catalogue, a time that is none);\n"
      "130 or 143 when SIGINT or SIGTERM stopped the run. SIGHUP reopens the report file\n"
      "(log rotation).");
  return {app, [options] {
            // Ctrl-C and SIGTERM end the run cleanly: the stores in progress
            // finish, nothing new starts, every record is whole.
            options->stop = CatchEndingSignals();
            // SIGHUP reopens the report file (log rotation).
            options->hangups = CatchReopenSignal();
            int status = RunConvert(*options);
            int signalled = EndingSignalStatus();
            EndingSignalHandled();
            return signalled != 0 ? signalled : status;
          }};
}

}  // namespace nimbrel
