#include "conversion/run_context.h"

namespace nimbrel {

void RunStats::Add(const RunStats& other) {
  productsStored += other.productsStored;
  filesCreated += other.filesCreated;
  for (int i = 0; i < kOutcomeCount; ++i) outcomes[i] += other.outcomes[i];
}

void RunContext::Report(ProductEvent& event) {
  event.input = input;
  ++stats.outcomes[static_cast<int>(event.outcome)];
  reporter.Product(event);
}

void RunContext::Report(InputEvent& event) {
  event.input = input;
  reporter.InputEnded(event);
}

}  // namespace nimbrel
