// jx4 convert's run (see convert_run.h).
#include "jx4/convert_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "conversion/convert.h"
#include "jx4/command.h"
#include "jx4/convert_reporter.h"
#include "output/store_io.h"
#include "jx4/inputs.h"
#include "jx4/selection_options.h"
#include "platform/input_file.h"
#include "platform/standard_streams.h"
#include "platform/system_error.h"

namespace nimbrel {

namespace {

// The system's words for its last failure.
std::string SystemReason() {
  char reason[128];
  DescribeSystemError(LastSystemError(), reason, sizeof reason);
  return reason;
}

}  // namespace

int RunConvert(const ConvertOptions& options, ConvertSummary* summary) {
  ConvertSummary ignored;
  ConvertSummary& done = summary != nullptr ? *summary : ignored;
  auto fail = [&options, &done](int status, const std::string& why) {
    done.failure = why;
    if (options.errors != nullptr) std::fprintf(options.errors, "jx4: %s\n", why.c_str());
    return status;
  };
  if (std::count(options.inputs.begin(), options.inputs.end(), kStandardInput) > 1) {
    return fail(kExitUsage, "standard input ('-') can be read only once");
  }
  RunOptions run;
  if (!ParseCatalogue(options.catalogue.c_str(), &run.catalogue) ||
      !ParseLayout(options.layout.c_str(), &run.layout)) {
    return fail(kExitUsage, "no catalogue '" + options.catalogue + "' or layout '" + options.layout +
                                "' (see jx4 convert --help)");
  }
  std::string why;
  if (!ReadSelection(options.selection, run.catalogue, &run.selection, &why)) {
    return fail(kExitUsage, why);
  }
  run.dryRun = options.dryRun;
  run.syncStores = options.sync;
  run.stop = options.stop;
  std::unique_ptr<StoreFolder> folder;
  auto open = [&folder, &run](const char* path) { return (folder = OpenRunFolder(path, run)) != nullptr; };
  // A dry run makes no folder; one that is missing holds nothing.
  if (run.dryRun ? !open(options.output.c_str()) : !PrepareOutputFolder(options.output, open, &why)) {
    return fail(kExitTrouble, why);  // (a dry run's folder always opens)
  }
  std::FILE* report = nullptr;
  if (options.report == kStandardInput) {
    report = stdout;
  } else if (!options.report.empty()) {
    report = std::fopen(options.report.c_str(), "wb");
    if (report == nullptr) {
      return fail(kExitTrouble, "cannot write the report '" + options.report + "': " + SystemReason() +
                                    "; check the path and its permissions");
    }
  }

  std::vector<InputUnit> units = ExpandInputs(options.inputs, options.output);
  int64_t totalBytes = 0;
  for (const InputUnit& unit : units) totalBytes += unit.bytes;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t jobs = std::min<size_t>(options.jobs > 0 ? static_cast<size_t>(options.jobs) : cores,
                                       std::max<size_t>(units.size(), 1));
  ConvertReporter reporter(report, !options.quiet && IsTerminal(2) ? stderr : nullptr, options.errors,
                           static_cast<int64_t>(units.size()), totalBytes, options.output);
  if (options.onRecord) reporter.SendRecordsTo(options.onRecord);
  auto stopped = [&options] { return options.stop != nullptr && options.stop->load(); };
  std::vector<std::atomic<int64_t>> reading(jobs);  // each worker's input, so far
  reporter.WatchReading(reading.data(), reading.size());
  if (options.hangups != nullptr && report != nullptr) {
    reporter.ReopenReportOn(options.hangups, options.report);
  }

  auto started = std::chrono::steady_clock::now();
  std::atomic<size_t> next{0};
  std::mutex statsMutex;
  RunStats total;
  auto work = [&](size_t worker) {
    for (size_t i; !stopped() && (i = next++) < units.size();) {
      const InputUnit& unit = units[i];
      ConvertRequest request(unit.path.c_str());
      request.reading = Reading::kAnyContent;
      request.options = run;
      request.options.decodeAhead = jobs < cores;  // a spare core decompresses
      request.options.bytesRead = &reading[worker];
      std::string problem = unit.problem;
      if (unit.kind == InputUnit::Kind::kStream) {
        if (unit.path == kStandardInput) {
          SetBinaryMode(0);
          request.input = "(standard input)";
          request.descriptor = 0;
        } else {
          request.descriptor = OpenInputFile(unit.path.c_str());
          if (request.descriptor < 0) problem = SystemReason();
        }
      }
      ConversionResult result;
      if (unit.kind != InputUnit::Kind::kOutput && problem.empty()) {
        result = ConvertInput(request, *folder, reporter);
      } else {
        InputEvent event;
        event.input = unit.path.c_str();
        event.end = unit.kind == InputUnit::Kind::kOutput ? InputEnd::kIsOutput : InputEnd::kCantOpen;
        event.detail = problem.c_str();
        reporter.InputEnded(event);
      }
      reading[worker] = 0;
      reporter.InputDone(unit.bytes);
      std::lock_guard<std::mutex> hold(statsMutex);
      total.Add(result.stats);
    }
  };
  std::vector<std::thread> threads;
  for (size_t t = 1; t < jobs; ++t) threads.emplace_back(work, t);
  work(0);
  for (std::thread& thread : threads) thread.join();
  // Inputs a stop kept from starting get their record too.
  for (size_t i = next; i < units.size(); ++i) {
    InputEvent event;
    event.input = units[i].path == kStandardInput ? "(standard input)" : units[i].path.c_str();
    event.end = InputEnd::kInterrupted;
    event.detail = "not started";
    reporter.InputEnded(event);
  }

  if (stopped()) reporter.SayInterrupted();
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!options.quiet) reporter.Summarise(stderr, total, seconds, run);
  bool reportClosed = reporter.CloseReport();
  if (!reportClosed && options.errors != nullptr) {
    std::fprintf(options.errors, "jx4: the report '%s' could not be written whole\n", options.report.c_str());
  }
  done.stats = total;
  done.inputs = reporter.InputEnds();
  done.seconds = seconds;
  return reporter.Sound() && reportClosed ? kExitOk : kExitTrouble;
}

}  // namespace nimbrel
