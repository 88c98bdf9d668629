// A reporter that keeps every event, with copies of its texts, for tests.
#ifndef NIMBREL_TESTS_SUPPORT_RECORDING_REPORTER_H_
#define NIMBREL_TESTS_SUPPORT_RECORDING_REPORTER_H_

#include <mutex>
#include <string>
#include <vector>

#include "conversion/run_context.h"

namespace nimbrel {

struct RecordedProduct {
  std::string input, member, path, volumeFile, category, site, station;
  Outcome outcome;
  HeaderTest failedTest;
  int64_t size;
  int32_t productId;
  bool hasVolumeTime;
  int64_t volumeTime;
  int32_t productCode;
  std::string detail;
};

struct RecordedInput {
  std::string input, member;
  InputEnd end;
  int64_t size;
};

class RecordingReporter : public Reporter {
 public:
  void Examining(const char* input, const char* member) override;
  void Product(const ProductEvent& event) override;
  void InputEnded(const InputEvent& event) override;

  // Guarded: conversions in several threads may share one recorder.
  std::mutex mutex;
  std::vector<std::string> examined;
  std::vector<RecordedProduct> products;
  std::vector<RecordedInput> inputs;
};

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_RECORDING_REPORTER_H_
