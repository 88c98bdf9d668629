// ProcessTar over a plain tar of about 100 MB of synthetic products, beside
// `tar -xf` of the same archive and `cat archive >/dev/null` (the floor), all
// in a RAM-backed folder. The archive is made here: products from the
// product builder (200 volume scans of 17 kinds, 2 to 60 KB each), packed by
// the system's tar. Also the walk alone, with members handed to a no-op.
// Prints the best time of each and the ratios at the end.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "output/volume_file.h"
#include "sources/tar_walker.h"
#include "support/synthetic_corpus.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

using namespace nimbrel;

namespace {

namespace fs = std::filesystem;

constexpr int kVolumeScans = 200;

std::string workDir;
std::string archivePath;
int64_t archiveBytes = 0;
double bestSeconds[4] = {1e9, 1e9, 1e9, 1e9};  // nimbrel, tar -xf, cat, walk alone

bool MakeArchive() {
  const char* shm = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string pattern = std::string(shm) + "/nimbrel-bench-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return false;
  workDir = pattern;
  std::string products = workDir + "/products";
  fs::create_directory(products);
  std::string list = workDir + "/list";
  if (!WriteSyntheticScans(products, kVolumeScans, list)) return false;
  archivePath = workDir + "/archive.tar";
  if (RunCommand("tar -cf " + archivePath + " -C " + products + " -T " + list) != 0) return false;
  fs::remove_all(products);
  archiveBytes = static_cast<int64_t>(fs::file_size(archivePath));
  return true;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `body` timed, with a fresh output folder entered before each run.
template <typename Body>
void Timed(benchmark::State& state, int slot, Body body) {
  std::string out = workDir + "/out";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(out);
    fs::create_directory(out);
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    body(out);
    double seconds = Seconds(start);
    bestSeconds[slot] = std::min(bestSeconds[slot], seconds);
    state.SetIterationTime(seconds);
  }
  fs::remove_all(out);
  state.SetBytesProcessed(state.iterations() * archiveBytes);
}

void BM_ProcessTar(benchmark::State& state) {
  Timed(state, 0, [](const std::string& out) {
    // The progress line goes to /dev/null, as tar's (absent) output does.
    ProcessTarQuietlyIn(out, archivePath);
  });
}

// The walk alone: members are read but handed to a no-op, so this is the
// walker's own share of the time.
void BM_WalkOnly(benchmark::State& state) {
  Timed(state, 3, [](const std::string&) {
    WalkArchive(archivePath, [](const char*, const uint8_t*, int32_t) {});
  });
}

void BM_TarExtract(benchmark::State& state) {
  Timed(state, 1, [](const std::string& out) {
    if (RunCommand("tar -xf " + archivePath + " -C " + out) != 0) std::abort();
  });
}

void BM_Cat(benchmark::State& state) {
  Timed(state, 2, [](const std::string&) {
    if (RunCommand("cat " + archivePath + " >/dev/null") != 0) std::abort();
  });
}

BENCHMARK(BM_ProcessTar)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WalkOnly)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_TarExtract)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Cat)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!MakeArchive()) {
    std::fprintf(stderr, "could not make the archive in %s\n", workDir.c_str());
    return 1;
  }
  std::printf("archive: %.1f MB, %d products\n", archiveBytes / 1e6,
              kVolumeScans * kSyntheticKindsPerScan);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(workDir);
  if (bestSeconds[0] + bestSeconds[1] + bestSeconds[2] + bestSeconds[3] < 1e9) {
    std::printf("best of each: nimbrel %.1f ms, tar -xf %.1f ms, cat %.1f ms, walk alone %.1f ms\n",
                bestSeconds[0] * 1e3, bestSeconds[1] * 1e3, bestSeconds[2] * 1e3,
                bestSeconds[3] * 1e3);
    std::printf(
        "tar -xf / nimbrel = %.2fx (target >= 1.2x); nimbrel / cat = %.2fx; "
        "walk alone / cat = %.2fx\n",
        bestSeconds[1] / bestSeconds[0], bestSeconds[0] / bestSeconds[2],
        bestSeconds[3] / bestSeconds[2]);
  }
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak resident memory of this process: %.1f MB\n", usage.ru_maxrss / 1024.0);
  return 0;
}
