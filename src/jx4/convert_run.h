// jx4 convert's run: every product of the inputs (files, folders walked
// recursively, '-' for standard input) filed into one output folder, N
// inputs at a time, each through the library's one conversion call; a report
// of every product, member and input, a progress line on a terminal and a
// summary. Exit status 0 when every input was read to its end and no store
// failed, 1 when an input was damaged or unreadable or a store failed (all
// else is still done), 2 for a wrong command line (a category or station
// not in the catalogue, a time that is none).
#ifndef NIMBREL_JX4_CONVERT_RUN_H_
#define NIMBREL_JX4_CONVERT_RUN_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "conversion/run_context.h"
#include "conversion/selection.h"

namespace nimbrel {

struct ConvertOptions {
  std::string output = ".";
  int jobs = 0;
  std::string report;
  bool sync = false;
  bool quiet = false;
  std::string catalogue = "classic";
  SelectionTexts selection;  // what is filed
  std::string layout = "flat";
  bool dryRun = false;       // no .jx4 file written: the report and summary say what would be
  std::vector<std::string> inputs;
  // When set, the run stops as soon as the stores in progress are done;
  // every input not read to its end gets the record "interrupted".
  const std::atomic<bool>* stop = nullptr;
  // When given, the report file is reopened once the count has changed
  // (SIGHUP, after log rotation).
  const std::atomic<uint32_t>* hangups = nullptr;
  // Where the lines for damaged inputs, failed stores and a run that cannot
  // start go; null: nowhere (a library caller reads the summary and the
  // records instead).
  std::FILE* errors = stderr;
  // When set, also gets every report record, its JSON line with the line
  // end, one call at a time, in the order of the report.
  std::function<void(const std::string&)> onRecord;
};

// What a run did, beside its exit status.
struct ConvertSummary {
  RunStats stats;                                // products by outcome
  std::array<int64_t, kInputEndCount> inputs{};  // inputs by how they ended
  double seconds = 0;
  // Why the run did not start (a wrong option: exit status 2; an output
  // folder or report that cannot be used: 1), or "".
  std::string failure;
};

// Runs the conversion; its exit status. `summary`, when given, is filled in.
int RunConvert(const ConvertOptions& options, ConvertSummary* summary = nullptr);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_CONVERT_RUN_H_
