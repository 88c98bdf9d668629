#include "jx4/convert_reporter.h"

#include <algorithm>
#include <cinttypes>
#include <utility>
#include <vector>

#include "conversion/words.h"
#include "jx4/json.h"
#include "products/catalogue.h"
#include "platform/path.h"
#include "platform/standard_streams.h"
#include "platform/system_error.h"

namespace nimbrel {

namespace {

constexpr double kProgressInterval = 0.2;  // seconds between progress lines

void AddField(std::string* line, const char* name, const char* value) {
  if (value == nullptr || value[0] == '\0') return;
  line->append(",\"").append(name).append("\":");
  AppendJsonString(line, value);
}

void AddNumber(std::string* line, const char* name, int64_t value) {
  line->append(",\"").append(name).append("\":").append(std::to_string(value));
}

std::string Bytes(double bytes) {
  char text[32];
  const char* units[] = {"B", "kB", "MB", "GB", "TB"};
  int unit = 0;
  while (bytes >= 1000 && unit < 4) {
    bytes /= 1000;
    ++unit;
  }
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

// The most frequent few of `counts`, largest first, then how many others.
void PrintBreakdown(std::FILE* out, const std::map<std::string, int64_t>& counts,
                    const char* prefix) {
  constexpr size_t kShown = 8;
  std::vector<std::pair<int64_t, std::string>> ranked;
  for (const auto& [key, count] : counts) ranked.push_back({-count, key});
  std::sort(ranked.begin(), ranked.end());
  for (size_t i = 0; i < ranked.size() && i < kShown; ++i) {
    std::fprintf(out, "%10" PRId64 "    %s%s\n", -ranked[i].first, prefix, ranked[i].second.c_str());
  }
  if (ranked.size() > kShown) {
    std::fprintf(out, "%10s    and %zu more (the report names each)\n", "", ranked.size() - kShown);
  }
}

// The system's words for a failed store's error code, or "" without one.
std::string SystemReason(const ProductEvent& event) {
  if (event.systemError == 0) return "";
  char reason[128];
  DescribeSystemError(event.systemError, reason, sizeof reason);
  return reason;
}

// The report's words on a product: what it says of the outcome, with the
// code, test or reason concerned. Built in `scratch` only where a code goes
// in.
const char* ProductDetail(const ProductEvent& event, std::string* scratch) {
  switch (event.outcome) {
    case Outcome::kHeaderInvalid:
      return HeaderTestText(event.failedTest);
    case Outcome::kNoCatalogueRow:
      scratch->assign("category '").append(event.category).append("' is not catalogued");
      return scratch->c_str();
    case Outcome::kUnknownStation:
      scratch->assign("site id '").append(event.site).append("' is not in the station table");
      return scratch->c_str();
    default:
      break;
  }
  std::string reason = SystemReason(event);
  if (event.detail[0] == '\0' && reason.empty()) return OutcomeMeaning(event.outcome);
  scratch->assign(OutcomeMeaning(event.outcome));
  if (event.detail[0] != '\0') scratch->append(": ").append(event.detail);
  if (!reason.empty()) scratch->append(": ").append(reason);
  return scratch->c_str();
}

}  // namespace

ConvertReporter::ConvertReporter(std::FILE* report, std::FILE* progress, std::FILE* errors,
                                 int64_t inputs, int64_t inputBytes, const std::string& outputFolder)
    : outputFolder_(outputFolder.empty() || outputFolder == "." ? ""
                    : EndsAFolder(outputFolder.back()) ? outputFolder
                                                       : outputFolder + kPathSeparator),
      report_(report),
      reporting_(report != nullptr),
      progress_(progress),
      errors_(errors),
      inputs_(inputs),
      inputBytes_(inputBytes),
      started_(std::chrono::steady_clock::now()) {}

void ConvertReporter::Product(const ProductEvent& event) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (event.outcome == Outcome::kStored) ++stored_;
  if (IsStoreFailure(event.outcome)) {
    ++storeFailures_;
    std::string file = "'" + outputFolder_ + event.volumeFile + "'";
    std::string what = event.outcome == Outcome::kCouldntCreate ? "cannot create " + file
                       : event.outcome == Outcome::kCouldntWrite
                           ? "cannot write " + file
                           : file + " is damaged and was left unchanged";
    std::string reason = event.detail;
    std::string system = SystemReason(event);
    if (!system.empty()) reason += (reason.empty() ? "" : ": ") + system;
    Error(what + (reason.empty() ? "" : ": " + reason) + " (for " + event.input +
          (event.member[0] != '\0' ? std::string(", ") + event.member : std::string()) + ")" +
          (event.outcome == Outcome::kDamagedOutput
               ? "; move it aside (jx4 verify tells what is wrong) and convert again"
               : "; check the output folder's permissions and free space, then convert again"));
  }
  if (event.outcome == Outcome::kNoCatalogueRow) ++uncataloguedByCategory_[event.category];
  if (event.outcome == Outcome::kHeaderInvalid) ++badHeaderByTest_[HeaderTestText(event.failedTest)];
  if (reporting_ || sink_) {
    line_.assign("{\"type\":\"product\"");
    AddField(&line_, "input", event.input);
    AddField(&line_, "member", event.member);
    AddField(&line_, "outcome", OutcomeWord(event.outcome));
    AddField(&line_, "station", event.station);
    if (event.hasVolumeTime) AddField(&line_, "volume_time", IsoTime(event.volumeTime).c_str());
    if (event.productId != 0) AddNumber(&line_, "product_id", event.productId);
    AddField(&line_, "category", event.category);
    AddField(&line_, "site", event.site);
    if (event.productCode != 0) AddNumber(&line_, "product_code", event.productCode);
    AddField(&line_, "file", event.volumeFile);
    AddNumber(&line_, "size", event.size);
    AddField(&line_, "detail", ProductDetail(event, &detail_));
    line_.append("}\n");
    WriteRecord();
  }
  ShowProgress(false);
}

void ConvertReporter::InputEnded(const InputEvent& event) {
  std::lock_guard<std::mutex> hold(mutex_);
  ++inputEnds_[static_cast<size_t>(event.end)];
  if (event.end == InputEnd::kInterrupted) {
    ++interruptedInputs_;  // said once, by SayInterrupted
  } else if (event.end == InputEnd::kIsOutput) {
    ++outputInputs_;
    Error(std::string("'") + event.input + "' is the output folder or lies in it: not read (a run " +
          "never reads what it writes)");
  } else if (event.end != InputEnd::kCleanEnd) {
    ++damagedInputs_;
    std::string where = event.member[0] != '\0' ? std::string(" at ") + event.member : "";
    std::string detail = event.detail[0] != '\0' ? std::string(" (") + event.detail + ")" : "";
    Error(std::string("'") + event.input + "'" + where + ": " + InputEndMeaning(event.end) + detail +
          (event.end == InputEnd::kCantOpen
               ? "; check the path and permissions"
               : "; what came before was filed; get a sound copy and convert it again"));
  }
  if (reporting_ || sink_) {
    line_.assign("{\"type\":\"input\"");
    AddField(&line_, "input", event.input);
    AddField(&line_, "outcome", InputEndWord(event.end));
    AddField(&line_, "member", event.member);
    std::string detail = InputEndMeaning(event.end);
    if (event.detail[0] != '\0') detail.append(": ").append(event.detail);
    AddField(&line_, "detail", detail.c_str());
    line_.append("}\n");
    WriteRecord();
  }
}

void ConvertReporter::SendRecordsTo(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> hold(mutex_);
  sink_ = std::move(sink);
}

std::array<int64_t, kInputEndCount> ConvertReporter::InputEnds() {
  std::lock_guard<std::mutex> hold(mutex_);
  return inputEnds_;
}

void ConvertReporter::WriteRecord() {
  if (sink_) sink_(line_);
  if (!reporting_) return;
  uint32_t hangups = hangups_ != nullptr ? hangups_->load() : hangupsSeen_;
  if (hangups != hangupsSeen_) {
    hangupsSeen_ = hangups;
    if (report_ != nullptr) reportFailed_ |= std::fclose(report_) != 0;
    report_ = std::fopen(reportPath_.c_str(), "ab");
    if (report_ == nullptr) {
      char reason[128];
      DescribeSystemError(LastSystemError(), reason, sizeof reason);
      Error("cannot reopen the report '" + reportPath_ + "': " + reason +
            "; its records are lost until it can be reopened (send SIGHUP again)");
    }
  }
  if (report_ == nullptr) {
    reportFailed_ = true;
    return;
  }
  reportFailed_ |= std::fwrite(line_.data(), 1, line_.size(), report_) != line_.size() ||
                   std::fflush(report_) != 0;
}

void ConvertReporter::ReopenReportOn(const std::atomic<uint32_t>* hangups, const std::string& path) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (report_ == nullptr || report_ == stdout) return;
  hangups_ = hangups;
  hangupsSeen_ = hangups->load();
  reportPath_ = path;
}

bool ConvertReporter::CloseReport() {
  std::lock_guard<std::mutex> hold(mutex_);
  bool closed = report_ == nullptr ||
                (report_ == stdout ? std::fflush(report_) : std::fclose(report_)) == 0;
  report_ = nullptr;
  reportFailed_ |= !closed;
  return closed;
}

void ConvertReporter::Error(const std::string& text) {
  if (errors_ == nullptr) return;
  if (progressShown_ && errors_ == progress_) std::fputc('\n', errors_);
  progressShown_ = false;
  std::fprintf(errors_, "jx4: %s\n", text.c_str());
}

void ConvertReporter::WatchReading(const std::atomic<int64_t>* counts, size_t count) {
  std::lock_guard<std::mutex> hold(mutex_);
  reading_ = counts;
  readingCount_ = count;
}

void ConvertReporter::InputDone(int64_t bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  ++inputsDone_;
  bytesDone_ += bytes;
  ShowProgress(inputsDone_ == inputs_);
}

void ConvertReporter::ShowProgress(bool force) {
  if (progress_ == nullptr) return;
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  if (!force && elapsed - lastShown_ < kProgressInterval) return;
  lastShown_ = elapsed;
  // The inputs done, and how far each one being read has come.
  int64_t read = bytesDone_;
  for (size_t i = 0; i < readingCount_; ++i) read += reading_[i].load(std::memory_order_relaxed);
  double rate = elapsed > 0 ? static_cast<double>(read) / elapsed : 0;
  std::string left = "?";
  if (rate > 0 && read > 0 && read <= inputBytes_) {
    int64_t seconds = static_cast<int64_t>(static_cast<double>(inputBytes_ - read) / rate);
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64 ":%02d", seconds / 60, static_cast<int>(seconds % 60));
    left = text;
  }
  char line[256];
  int length = std::snprintf(line, sizeof line,
                             "%" PRId64 "/%" PRId64 " inputs, %s read, %" PRId64
                             " products stored, %s/s, %s left",
                             inputsDone_, inputs_, Bytes(static_cast<double>(read)).c_str(), stored_,
                             Bytes(rate).c_str(), left.c_str());
  std::string shown(line, static_cast<size_t>(std::clamp(length, 0, static_cast<int>(sizeof line) - 1)));
  // Never wider than the terminal, which would wrap it; blanks cover what
  // a longer line before left.
  int32_t width = TerminalWidth(2);
  size_t columns = width > 1 ? static_cast<size_t>(width - 1) : shown.size() + 3;
  shown.resize(columns, ' ');
  std::fprintf(progress_, "\r%s", shown.c_str());
  std::fflush(progress_);
  progressShown_ = true;
}

void ConvertReporter::Summarise(std::FILE* out, const RunStats& stats, double seconds,
                                const RunOptions& run) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (progressShown_) std::fputc('\n', progress_);
  progressShown_ = false;
  std::fprintf(out, "%" PRId64 " inputs, %" PRId64 " damaged or unreadable", inputs_, damagedInputs_);
  if (interruptedInputs_ > 0) std::fprintf(out, ", %" PRId64 " interrupted", interruptedInputs_);
  if (outputInputs_ > 0) std::fprintf(out, ", %" PRId64 " in the output folder (not read)", outputInputs_);
  std::fprintf(out, "; %.2f seconds\n", seconds);
  std::fprintf(out, "%" PRId64 " products %s in %" PRId64 " new .jx4 files%s\n", stats.productsStored,
               run.dryRun ? "would be stored" : "stored", stats.filesCreated,
               run.dryRun ? " (a dry run: nothing was written)" : "");
  for (int i = 0; i < kOutcomeCount; ++i) {
    auto outcome = static_cast<Outcome>(i);
    if (outcome == Outcome::kStored || stats.outcomes[i] == 0) continue;
    std::fprintf(out, "%10" PRId64 "  %-18s %s\n", stats.outcomes[i], OutcomeWord(outcome),
                 OutcomeMeaning(outcome));
    if (outcome == Outcome::kNoCatalogueRow) {
      PrintBreakdown(out, uncataloguedByCategory_, "category ");
    } else if (outcome == Outcome::kHeaderInvalid) {
      PrintBreakdown(out, badHeaderByTest_, "");
    }
  }
  if (run.catalogue == Catalogue::kClassic) {
    int64_t extended = 0;
    for (const auto& [category, count] : uncataloguedByCategory_) {
      if (FindProduct(Catalogue::kExtended, category.c_str()) != nullptr) extended += count;
    }
    if (extended > 0) {
      std::fprintf(out, "%" PRId64 " products of categories the classic catalogue lacks are in the "
                   "extended one: --catalogue extended files them\n", extended);
    }
  }
  if (reportFailed_) std::fprintf(out, "the report could not be written whole\n");
}

void ConvertReporter::SayInterrupted() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (interruptedInputs_ == 0) return;  // stopped once everything was read
  Error("interrupted: " + std::to_string(interruptedInputs_) +
        " inputs were not read to their end; every store made is whole, and running the same "
        "command again completes the work");
}

bool ConvertReporter::Sound() {
  std::lock_guard<std::mutex> hold(mutex_);
  return damagedInputs_ == 0 && storeFailures_ == 0 && !reportFailed_;
}

}  // namespace nimbrel
