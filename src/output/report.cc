#include "output/report.h"

namespace nimbrel {

void RunStats::Add(const RunStats& other) {
  productsStored += other.productsStored;
  filesCreated += other.filesCreated;
  for (int i = 0; i < kOutcomeCount; ++i) outcomes[i] += other.outcomes[i];
}

void ReportProduct(RunContext& context, ProductEvent& event) {
  event.input = context.input;
  ++context.stats.outcomes[static_cast<int>(event.outcome)];
  context.reporter->Product(event);
}

}  // namespace nimbrel
