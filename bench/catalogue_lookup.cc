// The intake's three lookups of a product (its category's row, the row by
// id, the station of its site), as a real mix of categories and sites asks
// them: the classic catalogue through nimbrel's calls, and both catalogues
// through the choice the intake makes. Before the sorted indexes the classic
// lookups were scans of the tables (about 230 ns for the three on the
// machine of the issue; see the report of issue 19).
#include <benchmark/benchmark.h>

#include "products/catalogue.h"

using namespace nimbrel;

namespace {

constexpr const char* kCodes[] = {"N0Q", "N0U", "N1Q", "NCR", "N0R", "N0V", "DVL", "EET",
                                  "N0C", "N0X", "N0K", "N0H", "HHC", "DPR", "DAA", "N0B",
                                  "N0G", "TR0", "NST", "NMD", "DSP", "N3Q", "NVW", "PTA"};
constexpr const char* kSites[] = {"TLX", "BMX", "LSX", "AMX", "JUA", "OKX",
                                  "LOT", "ORD", "MKE", "FWS", "INX", "LGX"};

void BM_ClassicLookups(benchmark::State& state) {
  size_t i = 0;
  for (auto _ : state) {
    int32_t id = FindProductByCode(kCodes[i % std::size(kCodes)]);
    benchmark::DoNotOptimize(id == kNoProductId ? nullptr : FindProductById(id));
    benchmark::DoNotOptimize(FindStation(kSites[i % std::size(kSites)]));
    ++i;
  }
}

// Argument: 0 classic, 1 extended.
void BM_CatalogueLookups(benchmark::State& state) {
  const Catalogue catalogue = state.range(0) == 0 ? Catalogue::kClassic : Catalogue::kExtended;
  size_t i = 0;
  for (auto _ : state) {
    const ProductEntry* row = FindProduct(catalogue, kCodes[i % std::size(kCodes)]);
    benchmark::DoNotOptimize(row == nullptr ? nullptr : FindProductById(catalogue, row->id));
    benchmark::DoNotOptimize(FindStation(catalogue, kSites[i % std::size(kSites)]));
    ++i;
  }
}

}  // namespace

BENCHMARK(BM_ClassicLookups);
BENCHMARK(BM_CatalogueLookups)->Arg(0)->Arg(1);
BENCHMARK_MAIN();
