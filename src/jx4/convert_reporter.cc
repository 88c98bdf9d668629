#include "jx4/convert_reporter.h"

#include <algorithm>
#include <cinttypes>
#include <utility>
#include <vector>

#include "jx4/json.h"
#include "jx4/words.h"

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

// The report's words on a product: what it says of the outcome, with the
// code or test concerned. Built in `scratch` only where a code goes in.
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
      return OutcomeText(event.outcome);
  }
}

}  // namespace

ConvertReporter::ConvertReporter(std::FILE* report, std::FILE* progress, std::FILE* errors,
                                 int64_t inputs, int64_t inputBytes)
    : report_(report),
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
    Error(std::string("'") + event.volumeFile + "' (for " + event.input +
          (event.member[0] != '\0' ? std::string(", ") + event.member : std::string()) +
          "): " + OutcomeText(event.outcome) +
          (event.outcome == Outcome::kDamagedOutput
               ? "; move it aside (jx4 verify tells what is wrong) and convert again"
               : "; check the output folder's permissions and free space, then convert again"));
  }
  if (event.outcome == Outcome::kNoCatalogueRow) ++uncataloguedByCategory_[event.category];
  if (event.outcome == Outcome::kHeaderInvalid) ++badHeaderByTest_[HeaderTestText(event.failedTest)];
  if (report_ != nullptr) {
    line_.assign("{\"type\":\"product\"");
    AddField(&line_, "input", event.input);
    AddField(&line_, "member", event.member);
    AddField(&line_, "outcome", OutcomeWord(event.outcome));
    AddField(&line_, "station", event.station);
    if (event.hasVolumeTime) AddField(&line_, "volume_time", IsoTime(event.volumeTime).c_str());
    if (event.productId != 0) AddNumber(&line_, "product_id", event.productId);
    AddField(&line_, "category", event.category);
    AddField(&line_, "file", event.volumeFile);
    AddNumber(&line_, "size", event.size);
    AddField(&line_, "detail", ProductDetail(event, &detail_));
    line_.append("}\n");
    reportFailed_ |= std::fwrite(line_.data(), 1, line_.size(), report_) != line_.size();
  }
  ShowProgress(false);
}

void ConvertReporter::InputEnded(const InputEvent& event) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (event.end != InputEnd::kCleanEnd) {
    ++damagedInputs_;
    std::string where = event.member[0] != '\0' ? std::string(" at ") + event.member : "";
    std::string detail = event.detail[0] != '\0' ? std::string(" (") + event.detail + ")" : "";
    Error(std::string("'") + event.input + "'" + where + ": " + InputEndText(event.end) + detail +
          (event.end == InputEnd::kCantOpen
               ? "; check the path and permissions"
               : "; what came before was filed; get a sound copy and convert it again"));
  }
  if (report_ != nullptr) {
    line_.assign("{\"type\":\"input\"");
    AddField(&line_, "input", event.input);
    AddField(&line_, "outcome", InputEndWord(event.end));
    AddField(&line_, "member", event.member);
    std::string detail = InputEndText(event.end);
    if (event.detail[0] != '\0') detail.append(": ").append(event.detail);
    AddField(&line_, "detail", detail.c_str());
    line_.append("}\n");
    reportFailed_ |= std::fwrite(line_.data(), 1, line_.size(), report_) != line_.size();
  }
}

void ConvertReporter::Error(const std::string& text) {
  if (errors_ == nullptr) return;
  if (progressShown_ && errors_ == progress_) std::fputc('\n', errors_);
  progressShown_ = false;
  std::fprintf(errors_, "jx4: %s\n", text.c_str());
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
  double rate = elapsed > 0 ? static_cast<double>(bytesDone_) / elapsed : 0;
  std::string left = "?";
  if (rate > 0 && bytesDone_ > 0) {
    int64_t seconds = static_cast<int64_t>(static_cast<double>(inputBytes_ - bytesDone_) / rate);
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64 ":%02d", seconds / 60, static_cast<int>(seconds % 60));
    left = text;
  }
  std::fprintf(progress_, "\r%" PRId64 "/%" PRId64 " inputs, %s read, %" PRId64
               " products stored, %s/s, %s left   ",
               inputsDone_, inputs_, Bytes(static_cast<double>(bytesDone_)).c_str(), stored_,
               Bytes(rate).c_str(), left.c_str());
  std::fflush(progress_);
  progressShown_ = true;
}

void ConvertReporter::Summarise(std::FILE* out, const RunStats& stats, double seconds) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (progressShown_) std::fputc('\n', progress_);
  progressShown_ = false;
  std::fprintf(out, "%" PRId64 " inputs, %" PRId64 " damaged or unreadable; %.2f seconds\n",
               inputs_, damagedInputs_, seconds);
  std::fprintf(out, "%" PRId64 " products stored in %" PRId64 " new .jx4 files\n",
               stats.productsStored, stats.filesCreated);
  for (int i = 0; i < kOutcomeCount; ++i) {
    auto outcome = static_cast<Outcome>(i);
    if (outcome == Outcome::kStored || stats.outcomes[i] == 0) continue;
    std::fprintf(out, "%10" PRId64 "  %-18s %s\n", stats.outcomes[i], OutcomeWord(outcome),
                 OutcomeText(outcome));
    if (outcome == Outcome::kNoCatalogueRow) {
      PrintBreakdown(out, uncataloguedByCategory_, "category ");
    } else if (outcome == Outcome::kHeaderInvalid) {
      PrintBreakdown(out, badHeaderByTest_, "");
    }
  }
  if (reportFailed_) std::fprintf(out, "the report could not be written whole\n");
}

bool ConvertReporter::Sound() {
  std::lock_guard<std::mutex> hold(mutex_);
  return damagedInputs_ == 0 && storeFailures_ == 0 && !reportFailed_;
}

}  // namespace nimbrel
