// What the walkers, the intake and the store share while one input is
// converted: where products are stored, who hears of each outcome, the
// run's options and its statistics.
//
// Invariants: the folder and the reporter belong to the caller and outlive
// the context; every product event passes through Report(), so the
// statistics count exactly the events the reporter heard. A context serves
// one input in one thread.
#ifndef NIMBREL_CONVERSION_RUN_CONTEXT_H_
#define NIMBREL_CONVERSION_RUN_CONTEXT_H_

#include <cstdint>

#include "conversion/outcome.h"
#include "conversion/reporter.h"
#include "conversion/run_options.h"

namespace nimbrel {

class StoreFolder;

// The run's statistics: whole stores, headers (re)created, and how many
// products had each outcome.
struct RunStats {
  int64_t productsStored = 0;
  int64_t filesCreated = 0;
  int64_t outcomes[kOutcomeCount] = {};

  int64_t count(Outcome outcome) const { return outcomes[static_cast<int>(outcome)]; }
  void Add(const RunStats& other);
};

class RunContext {
 public:
  RunContext(StoreFolder& folder, Reporter& reporter, const char* input,
             const RunOptions& options = {})
      : folder(folder), reporter(reporter), input(input), options(options) {}

  // Counts the event's outcome and hands it (with the input filled in) to
  // the reporter.
  void Report(ProductEvent& event);
  // Hands the input's end (with the input filled in) to the reporter.
  void Report(InputEvent& event);

  bool Stopped() const { return options.stop != nullptr && options.stop->load(std::memory_order_relaxed); }

  StoreFolder& folder;
  Reporter& reporter;
  const char* input;  // the archive or folder being converted
  RunOptions options;
  RunStats stats;
};

}  // namespace nimbrel

#endif  // NIMBREL_CONVERSION_RUN_CONTEXT_H_
