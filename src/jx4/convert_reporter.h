// What `jx4 convert` tells its user: a JSON Lines record per product or
// member seen and per input read (when a report file is asked for), a
// progress line on a terminal, and the closing summary. Safe to share
// between the threads of a run.
//
// Report records, one JSON object a line:
//   {"type":"product","input":...,"member":...,"outcome":WORD,"station":...,
//    "volume_time":"2005-07-03T12:03:12Z","product_id":1,"category":"N0R",
//    "file":"ktlx_20050703_120312.jx4","size":...,"detail":...}
//   {"type":"input","input":...,"outcome":WORD,"member":...,"detail":...}
// Fields that do not apply are left out. WORDs are those of words.h.
#ifndef NIMBREL_JX4_CONVERT_REPORTER_H_
#define NIMBREL_JX4_CONVERT_REPORTER_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "output/report.h"

namespace nimbrel {

class ConvertReporter : public Reporter {
 public:
  // `report` (may be null) receives the JSON Lines; `progress` (may be
  // null) the progress line, rewritten in place; `errors` a line for each
  // damaged input and failed store, saying what to do.
  ConvertReporter(std::FILE* report, std::FILE* progress, std::FILE* errors, int64_t inputs,
                  int64_t inputBytes);

  void Product(const ProductEvent& event) override;
  void InputEnded(const InputEvent& event) override;
  // An input is done; `bytes` is its size on disk (0 when unknown).
  void InputDone(int64_t bytes);

  // Prints the summary of the run, whose statistics are `stats`.
  void Summarise(std::FILE* out, const RunStats& stats, double seconds);
  // No input damaged or unreadable, no store failed, the report written.
  bool Sound();

 private:
  void ShowProgress(bool force);
  void Error(const std::string& text);

  std::mutex mutex_;
  std::FILE* report_;
  std::FILE* progress_;
  std::FILE* errors_;
  bool progressShown_ = false;  // a progress line stands without its line end
  bool reportFailed_ = false;
  int64_t inputs_;
  int64_t inputBytes_;
  int64_t inputsDone_ = 0;
  int64_t bytesDone_ = 0;
  int64_t stored_ = 0;
  int64_t storeFailures_ = 0;
  int64_t damagedInputs_ = 0;
  std::map<std::string, int64_t> uncataloguedByCategory_;
  std::map<std::string, int64_t> badHeaderByTest_;
  std::chrono::steady_clock::time_point started_;
  double lastShown_ = -1;
  std::string line_;    // a record being built
  std::string detail_;  // its detail, when built
};

}  // namespace nimbrel

#endif  // NIMBREL_JX4_CONVERT_REPORTER_H_
