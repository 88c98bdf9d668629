#include "support/recording_reporter.h"

namespace nimbrel {

void RecordingReporter::Examining(const char* /*input*/, const char* member) {
  std::lock_guard<std::mutex> hold(mutex);
  examined.push_back(member);
}

void RecordingReporter::Product(const ProductEvent& e) {
  std::lock_guard<std::mutex> hold(mutex);
  products.push_back({e.input, e.member, e.path != nullptr ? e.path : "", e.volumeFile, e.category,
                      e.site, e.station, e.outcome, e.failedTest, e.size, e.productId,
                      e.hasVolumeTime, e.volumeTime, e.productCode, e.detail});
}

void RecordingReporter::InputEnded(const InputEvent& e) {
  std::lock_guard<std::mutex> hold(mutex);
  inputs.push_back({e.input, e.member, e.end, e.size});
}

}  // namespace nimbrel
