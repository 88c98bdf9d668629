// Storing 20,000 products into 400 site-volume files, beside a baseline that
// does the same files' bare open/write/close. Run in a RAM-backed folder.
// Two size mixes: /0 small products (2 to 17 KB, mean 9 KB), /1 sizes like
// real Level III files (2 to 89 KB, mean 31 KB).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "output/store_io.h"
#include "output/volume_file.h"
#include "products/catalogue.h"
#include "support/product_builder.h"

using namespace nimbrel;

// Counts heap allocations made while a store runs.
static size_t gAllocations = 0;
extern "C" void* __libc_malloc(size_t);
extern "C" void* malloc(size_t size) {
  ++gAllocations;
  return __libc_malloc(size);
}

namespace {

constexpr int kFiles = 400;
constexpr int kProductsPerFile = 50;

struct Workload {
  explicit Workload(int mix);
  std::vector<std::vector<uint8_t>> images;  // one per product kind
  std::vector<std::string> names;            // the file each volume maps to
};

Workload::Workload(int mix) {
  for (int k = 0; k < kProductsPerFile; ++k) {
    ProductSpec fields;
    fields.bodySize = mix == 0 ? 2000 + 300 * k : 2000 + 36 * k * k;
    fields.seed = static_cast<uint32_t>(k + 1);
    images.push_back(BuildProduct(fields));
  }
  char name[kPathBufferSize];
  for (int f = 0; f < kFiles; ++f) {
    MakeVolumeFileName(name, "ktlx", 1120392192 + 300 * f);
    names.push_back(name);
  }
}

const Workload& TheWorkload(int mix) {
  static const Workload small(0), levelThree(1);
  return mix == 0 ? small : levelThree;
}

// A RAM-backed folder; for durable stores one on disk, where syncing costs.
std::string WorkDir(bool onDisk = false) {
  const char* root = !onDisk && std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/var/tmp";
  std::string dir = std::string(root) + "/nimbrel-bench-store";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

void Clear(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::filesystem::remove(entry.path());
  }
}

// Arguments: the size mix; 0 in RAM, 1 durable stores on disk (each image
// synced before its index, the index before the next store), 2 plain stores
// on disk; the number of files (50 products each); the catalogue, 0 classic,
// 1 extended (whose stores also look for a volume's further file).
void BM_StoreProduct(benchmark::State& state) {
  const Workload& w = TheWorkload(static_cast<int>(state.range(0)));
  std::string dir = WorkDir(state.range(1) != 0);
  std::unique_ptr<StoreFolder> folder = OpenDiskFolder(dir.c_str());
  Reporter silent;
  RunOptions options;
  options.catalogue = state.range(3) == 0 ? Catalogue::kClassic : Catalogue::kExtended;
  options.syncStores = state.range(1) == 1;
  RunContext context(*folder, silent, "", options);
  const int files = static_cast<int>(state.range(2));
  size_t allocations = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Clear(dir);
    size_t before = gAllocations;
    state.ResumeTiming();
    for (int k = 0; k < kProductsPerFile; ++k) {
      int32_t productId = kProductCatalogue[k].id;
      const std::vector<uint8_t>& image = w.images[static_cast<size_t>(k)];
      for (int f = 0; f < files; ++f) {
        StoreProduct(context, "ktlx", productId, 1120392192 + 300 * f, 0, image.data(),
                     static_cast<int32_t>(image.size()));
      }
    }
    allocations += gAllocations - before;
  }
  int64_t products = state.iterations() * files * kProductsPerFile;
  state.SetItemsProcessed(products);
  state.counters["allocs_per_product"] =
      static_cast<double>(allocations) / static_cast<double>(products);
  std::filesystem::remove_all(dir);
}

void BM_BareOpenWriteClose(benchmark::State& state) {
  const Workload& w = TheWorkload(static_cast<int>(state.range(0)));
  std::string dir = WorkDir();
  std::filesystem::current_path(dir);
  for (auto _ : state) {
    state.PauseTiming();
    Clear(dir);
    state.ResumeTiming();
    for (int k = 0; k < kProductsPerFile; ++k) {
      const std::vector<uint8_t>& image = w.images[static_cast<size_t>(k)];
      for (int f = 0; f < kFiles; ++f) {
        int fd = open(w.names[static_cast<size_t>(f)].c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (write(fd, image.data(), image.size()) < 0) std::abort();
        close(fd);
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kFiles * kProductsPerFile);
  std::filesystem::current_path("/");
  std::filesystem::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_StoreProduct)
    ->Args({0, 0, kFiles, 0})
    ->Args({1, 0, kFiles, 0})
    ->Args({0, 0, kFiles, 1})
    ->Args({1, 0, kFiles, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
// Durable stores against plain ones, both on disk, 1,000 products: the cost
// of --sync.
BENCHMARK(BM_StoreProduct)
    ->Args({1, 2, 20, 0})
    ->Args({1, 1, 20, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_BareOpenWriteClose)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
