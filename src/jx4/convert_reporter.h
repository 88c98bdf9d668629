// What `jx4 convert` tells its user: a JSON Lines record per product or
// member seen and per input read (when a report file is asked for), a
// progress line on a terminal, and the closing summary. Safe to share
// between the threads of a run.
//
// Report records, one JSON object a line:
//   {"type":"product","input":...,"member":...,"outcome":WORD,"station":...,
//    "volume_time":"2005-07-03T12:03:12Z","product_id":1,"category":"N0R",
//    "site":"TLX","product_code":94,"file":"ktlx_20050703_120312.jx4",
//    "size":...,"detail":...}
//   {"type":"input","input":...,"outcome":WORD,"member":...,"detail":...}
// Fields that do not apply are left out. WORDs are those of words.h. Each
// record is flushed as it is written (a feed's report is read live, by
// `tail -f` or a log shipper), and only whole records are written.
#ifndef NIMBREL_JX4_CONVERT_REPORTER_H_
#define NIMBREL_JX4_CONVERT_REPORTER_H_

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "conversion/run_context.h"

namespace nimbrel {

class ConvertReporter : public Reporter {
 public:
  // `report` (may be null) receives the JSON Lines; `progress` (may be
  // null) the progress line, rewritten in place; `errors` a line for each
  // damaged input and failed store, saying what to do.
  // `outputFolder` names the .jx4 files in error lines.
  ConvertReporter(std::FILE* report, std::FILE* progress, std::FILE* errors, int64_t inputs,
                  int64_t inputBytes, const std::string& outputFolder);

  void Product(const ProductEvent& event) override;
  void InputEnded(const InputEvent& event) override;
  // An input is done; `bytes` is its size on disk (0 when unknown).
  void InputDone(int64_t bytes);
  // The bytes read so far of the inputs being read, one count per worker
  // (0 when idle), which the progress line adds to the inputs done. They
  // stay alive while the reporter shows progress.
  void WatchReading(const std::atomic<int64_t>* counts, size_t count);

  // From now on, once `*hangups` has changed since the last record, the
  // report file is closed and opened again at `path` (appending) before the
  // next record: log rotation moves the file away, then sends SIGHUP. A
  // report on standard output is never reopened.
  void ReopenReportOn(const std::atomic<uint32_t>* hangups, const std::string& path);
  // From now on every record (its JSON line, line end included) is also
  // handed to `sink`, in the order written, with the reporter's lock held,
  // whether a report file was asked for or not.
  void SendRecordsTo(std::function<void(const std::string&)> sink);
  // How many inputs ended in each way so far, by InputEnd.
  std::array<int64_t, kInputEndCount> InputEnds();
  // Closes the report (standard output is flushed); false when closing
  // failed (the last records may not have reached it).
  bool CloseReport();

  // Prints the summary of the run, whose statistics are `stats`; a classic
  // run that turned away categories of the extended catalogue ends by
  // saying how many products that is.
  void Summarise(std::FILE* out, const RunStats& stats, double seconds, const RunOptions& run);
  // No input damaged or unreadable, no store failed, the report written.
  bool Sound();
  // Says on the error stream that the run was stopped, and how to finish.
  void SayInterrupted();

 private:
  void ShowProgress(bool force);
  void Error(const std::string& text);
  // Writes line_ to the report and flushes it, reopening it first when a
  // hangup asked for that.
  void WriteRecord();

  std::mutex mutex_;
  std::string outputFolder_;  // "" or ending in a separator
  std::FILE* report_;
  const bool reporting_;  // a report was asked for
  std::function<void(const std::string&)> sink_;  // may be empty
  std::string reportPath_;  // "" when it is not to be reopened
  const std::atomic<uint32_t>* hangups_ = nullptr;
  uint32_t hangupsSeen_ = 0;
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
  int64_t interruptedInputs_ = 0;
  int64_t outputInputs_ = 0;
  std::array<int64_t, kInputEndCount> inputEnds_{};
  std::map<std::string, int64_t> uncataloguedByCategory_;
  std::map<std::string, int64_t> badHeaderByTest_;
  const std::atomic<int64_t>* reading_ = nullptr;
  size_t readingCount_ = 0;
  std::chrono::steady_clock::time_point started_;
  double lastShown_ = -1;
  std::string line_;    // a record being built
  std::string detail_;  // its detail, when built
};

}  // namespace nimbrel

#endif  // NIMBREL_JX4_CONVERT_REPORTER_H_
