// jx4 convert: files the products of any number of inputs into one folder.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "jx4/command.h"
#include "jx4/convert_reporter.h"
#include "jx4/words.h"
#include "output/store_io.h"
#include "platform/standard_streams.h"
#include "sources/any_input.h"

namespace nimbrel {

namespace {

namespace fs = std::filesystem;

struct ConvertOptions {
  std::string output = ".";
  int jobs = 0;
  std::string report;
  bool sync = false;
  bool quiet = false;
  std::vector<std::string> inputs;
};

// One file to convert (or standard input).
struct Unit {
  std::string path;
  int64_t bytes = 0;
};

constexpr char kStandardInput[] = "-";

// The files the inputs name, folders walked recursively, each folder's
// files in name order. False when an input cannot be read (said on
// standard error); the others are still listed.
bool ExpandInputs(const std::vector<std::string>& inputs, std::vector<Unit>* units) {
  bool all = true;
  for (const std::string& input : inputs) {
    if (input == kStandardInput) {
      units->push_back({input, 0});
      continue;
    }
    std::error_code error;
    fs::file_status status = fs::status(input, error);
    if (fs::is_regular_file(status)) {
      units->push_back({input, static_cast<int64_t>(fs::file_size(input, error))});
      continue;
    }
    if (!fs::is_directory(status)) {
      PrintError("cannot read '%s': %s; check the path", input.c_str(),
                 error ? error.message().c_str() : "not a file or folder");
      all = false;
      continue;
    }
    std::vector<Unit> found;
    fs::recursive_directory_iterator walk(input, fs::directory_options::skip_permission_denied, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
      if (walk->is_regular_file(error)) {
        found.push_back({walk->path().string(), static_cast<int64_t>(walk->file_size(error))});
      }
    }
    if (error) {
      PrintError("cannot read all of folder '%s': %s; check its permissions", input.c_str(),
                 error.message().c_str());
      all = false;
    }
    std::sort(found.begin(), found.end(), [](const Unit& a, const Unit& b) { return a.path < b.path; });
    units->insert(units->end(), found.begin(), found.end());
  }
  return all;
}

int RunConvert(const ConvertOptions& options) {
  if (std::count(options.inputs.begin(), options.inputs.end(), kStandardInput) > 1) {
    PrintError("standard input ('-') can be read only once");
    return kExitUsage;
  }
  std::unique_ptr<StoreFolder> folder;
  auto open = [&folder](const char* path) { return (folder = OpenDiskFolder(path)) != nullptr; };
  if (!PrepareOutputFolder(options.output, open)) return kExitTrouble;
  std::FILE* report = nullptr;
  if (options.report == kStandardInput) {
    report = stdout;
  } else if (!options.report.empty()) {
    report = std::fopen(options.report.c_str(), "wb");
    if (report == nullptr) {
      PrintError("cannot write the report '%s'; check the path and its permissions",
                 options.report.c_str());
      return kExitTrouble;
    }
  }

  std::vector<Unit> units;
  bool inputsReadable = ExpandInputs(options.inputs, &units);
  int64_t totalBytes = 0;
  for (const Unit& unit : units) totalBytes += unit.bytes;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t jobs = std::min<size_t>(options.jobs > 0 ? static_cast<size_t>(options.jobs) : cores,
                                       std::max<size_t>(units.size(), 1));
  ConvertReporter reporter(report, !options.quiet && IsTerminal(2) ? stderr : nullptr, stderr,
                           static_cast<int64_t>(units.size()), totalBytes);

  auto started = std::chrono::steady_clock::now();
  std::atomic<size_t> next{0};
  std::mutex statsMutex;
  RunStats total;
  auto work = [&] {
    for (size_t i; (i = next++) < units.size();) {
      const Unit& unit = units[i];
      RunContext context;
      context.folder = folder.get();
      context.reporter = &reporter;
      context.input = unit.path.c_str();
      context.syncStores = options.sync;
      context.decodeAhead = jobs < cores;  // a spare core decompresses
      if (unit.path == kStandardInput) {
        SetBinaryMode(0);
        ProcessAnyStream(context, std::make_unique<FileStream>("(standard input)", 0));
      } else {
        ProcessAnyFile(context, unit.path.c_str());
      }
      reporter.InputDone(unit.bytes);
      std::lock_guard<std::mutex> hold(statsMutex);
      total.Add(context.stats);
    }
  };
  std::vector<std::thread> threads;
  for (size_t t = 1; t < jobs; ++t) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();

  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!options.quiet) reporter.Summarise(stderr, total, seconds);
  bool reportClosed = report == nullptr || (report == stdout ? std::fflush(report) == 0
                                                             : std::fclose(report) == 0);
  if (!reportClosed) PrintError("the report '%s' could not be written whole", options.report.c_str());
  return inputsReadable && reporter.Sound() && reportClosed ? kExitOk : kExitTrouble;
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
      "product files in any naming, also as framed feed files. Nothing is asked.");
  app->add_option("-o,--output", options->output, "Output folder (created if missing)")
      ->capture_default_str();
  app->add_option("-j,--jobs", options->jobs,
                  "Inputs converted at once (default: the number of cores)")
      ->check(CLI::PositiveNumber);
  app->add_option("--report", options->report,
                  "Write a JSON Lines record for every product, member and input to FILE\n"
                  "('-': standard output)");
  app->add_flag("--sync", options->sync,
                "Durable stores: each image reaches the disk before the index that lists it");
  app->add_flag("-q,--quiet", options->quiet, "No progress line and no summary");
  app->add_option("INPUT", options->inputs, "Archives, folders, product files; '-' for standard input")
      ->required();
  app->footer(
      "Report outcome words (per product or member): stored, already-present, index-full,\n"
      "status-message, not-a-product, no-catalogue-row, unknown-station, bad-header,\n"
      "time-out-of-range, too-large, cannot-open, cannot-read, no-memory, cannot-create,\n"
      "cannot-write, damaged-output, level-ii, too-deep. Per input: complete, cannot-open,\n"
      "too-short, checksum-unreadable, checksum-error, size-out-of-range, unusable-header,\n"
      "cut-short, decoding-error, read-error, no-memory.\n"
      "Exit status: 0 when every input was read to its end and no store failed; 1 when an\n"
      "input was damaged or unreadable or a store failed (all else is still done); 2 for a\n"
      "wrong command line.");
  return {app, [options] { return RunConvert(*options); }};
}

}  // namespace nimbrel
