// .tar.gz end to end, in a RAM-backed folder: the nimbrel program on the
// .tar.gz beside `gzip -dc` and ISA-L's `igzip -dc` of the same file to
// /dev/null, and the program on the plain tar (the floor without inflation).
// Also the gzip stream alone, read by the tar walker (members handed to a
// counter) and in large requests.
//
// Archive 0: about 40 MB of synthetic products (the benchmark corpus, 17
// kinds per volume scan, compressing well); archive 1: the real Level III
// products of the shared test data, tarred once (most carry bzip2-compressed
// data, so gzip gains little; skipped when the data is absent). Each tar is
// compressed by the real gzip at its default level. Every run is a child
// process timed by wall clock (the program in a fresh output folder, given
// `y` on its standard input). The summary gives medians and their ratios,
// also of the children's CPU time (user + system), which a busy machine
// disturbs less, and the peak resident memory of the program's runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "sources/tar_walker.h"
#include "streams/gzip_stream.h"
#include "streams/open_stream.h"
#include "support/child_process.h"
#include "support/synthetic_corpus.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

using namespace nimbrel;

namespace {

namespace fs = std::filesystem;

constexpr int kSyntheticScans = 80;  // about 40 MB of tar
constexpr int kIterations = 9;

enum Run { kNimbrelTarGz, kNimbrelTar, kGzipDc, kIgzipDc, kStreamTarWalk, kStreamLargeReads, kRuns };
const char* const kRunNames[kRuns] = {"NimbrelTarGz", "NimbrelTar",          "GzipDc",
                                      "IgzipDc",      "GzipStreamTarWalk", "GzipStreamLargeReads"};

struct Archive {
  const char* label = "";
  std::string tarPath;
  std::string gzPath;  // empty when the archive could not be made
  int64_t tarBytes = 0;
  int64_t gzBytes = 0;
  std::vector<double> seconds[kRuns];     // one entry per timed run
  std::vector<double> cpuSeconds[kRuns];  // the same, for child processes
  long peakKilobytes[2] = {0, 0};      // of the program's runs: .tar.gz, .tar
};

std::string workDir;
Archive archives[2];
bool haveIgzip = false;

bool MakeArchive(Archive& archive, bool real) {
  std::string dir = workDir + "/" + (real ? "real" : "synthetic");
  std::string products = dir + "/products";
  fs::create_directories(products);
  archive.label = real ? "real Level III" : "synthetic";
  archive.tarPath = dir + "/archive.tar";
  std::string list = dir + "/list";
  if (real) {
    fs::copy(TestdataDir() + "/level3", products);
    std::string names;
    for (const auto& entry : fs::directory_iterator(products)) {
      names += entry.path().filename().string() + "\n";
    }
    if (!WriteFileBytes(list, names)) return false;
  } else if (!WriteSyntheticScans(products, kSyntheticScans, list)) {
    return false;
  }
  if (RunCommand("tar -cf '" + archive.tarPath + "' -C '" + products + "' -T '" + list + "'") != 0 ||
      RunCommand("gzip -k '" + archive.tarPath + "'") != 0) {
    return false;
  }
  fs::remove_all(products);
  archive.gzPath = archive.tarPath + ".gz";
  archive.tarBytes = static_cast<int64_t>(fs::file_size(archive.tarPath));
  archive.gzBytes = static_cast<int64_t>(fs::file_size(archive.gzPath));
  return true;
}

// The archive named by the benchmark's first argument, or null (skipped).
Archive* Select(benchmark::State& state) {
  Archive& archive = archives[state.range(0)];
  if (!archive.gzPath.empty()) return &archive;
  state.SkipWithError("archive not available");
  return nullptr;
}

void Record(benchmark::State& state, Archive& archive, Run run, double seconds,
            double cpuSeconds = -1) {
  archive.seconds[run].push_back(seconds);
  if (cpuSeconds >= 0) archive.cpuSeconds[run].push_back(cpuSeconds);
  state.SetIterationTime(seconds);
}

// The program converting the archive (.tar.gz or .tar) in a fresh folder.
void Nimbrel(benchmark::State& state, Run run) {
  Archive* archive = Select(state);
  if (archive == nullptr) return;
  const std::string& path = run == kNimbrelTarGz ? archive->gzPath : archive->tarPath;
  std::string out = workDir + "/out";
  std::string answer = workDir + "/answer";
  WriteFileBytes(answer, std::string("y\n"));
  for (auto _ : state) {
    fs::remove_all(out);
    fs::create_directory(out);
    ChildRun child = RunChild({NIMBREL_BINARY, path}, out, answer);
    if (!child.ok) return state.SkipWithError("the program failed");
    long& peak = archive->peakKilobytes[run == kNimbrelTarGz ? 0 : 1];
    peak = std::max(peak, child.peakKilobytes);
    Record(state, *archive, run, child.seconds, child.cpuSeconds);
  }
  fs::remove_all(out);
  state.SetBytesProcessed(state.iterations() * archive->tarBytes);
}

void BM_NimbrelTarGz(benchmark::State& state) { Nimbrel(state, kNimbrelTarGz); }
void BM_NimbrelTar(benchmark::State& state) { Nimbrel(state, kNimbrelTar); }

void Decompressor(benchmark::State& state, Run run, const char* tool) {
  Archive* archive = Select(state);
  if (archive == nullptr) return;
  if (run == kIgzipDc && !haveIgzip) return state.SkipWithError("igzip not installed");
  for (auto _ : state) {
    ChildRun child = RunChild({tool, "-dc", archive->gzPath}, workDir, "/dev/null");
    if (!child.ok) return state.SkipWithError("the decompressor failed");
    Record(state, *archive, run, child.seconds, child.cpuSeconds);
  }
  state.SetBytesProcessed(state.iterations() * archive->tarBytes);
}

void BM_GzipDc(benchmark::State& state) { Decompressor(state, kGzipDc, "gzip"); }
void BM_IgzipDc(benchmark::State& state) { Decompressor(state, kIgzipDc, "igzip"); }

int64_t membersSeen = 0;

bool CountMember(const char*, const uint8_t*, int32_t) {
  ++membersSeen;
  return true;
}

// The real walker over the stream, handing members to a counter instead of
// the intake.
void BM_GzipStreamTarWalk(benchmark::State& state) {
  Archive* archive = Select(state);
  if (archive == nullptr) return;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    membersSeen = 0;
    WalkArchive(archive->gzPath, CountMember);
    if (membersSeen == 0) return state.SkipWithError("the walk handed on no member");
    Record(state, *archive, kStreamTarWalk,
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.counters["members"] = static_cast<double>(membersSeen);
  state.SetBytesProcessed(state.iterations() * archive->tarBytes);
}

void BM_GzipStreamLargeReads(benchmark::State& state) {
  Archive* archive = Select(state);
  if (archive == nullptr) return;
  int32_t length = 64 << 10;
  std::vector<uint8_t> data(static_cast<size_t>(length));
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<ByteStream> stream = OpenByteStream(archive->gzPath.c_str());
    if (stream == nullptr) return state.SkipWithError("cannot open the archive");
    int64_t total = 0;
    for (int32_t got; (got = stream->Read(data.data(), length)) > 0;) total += got;
    if (total != archive->tarBytes) return state.SkipWithError("stream length differs from the tar");
    Record(state, *archive, kStreamLargeReads,
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetBytesProcessed(state.iterations() * archive->tarBytes);
}

// "nimbrel .tar.gz / gzip -dc = 0.40x" and the like, for wall and CPU time.
void PrintRatios(const double* median, const char* what) {
  std::printf("  %s: nimbrel .tar.gz / gzip -dc = %.2fx (target <= 0.5x)", what,
              median[kNimbrelTarGz] / median[kGzipDc]);
  if (median[kIgzipDc] > 0) std::printf("; / igzip -dc = %.2fx", median[kNimbrelTarGz] / median[kIgzipDc]);
  std::printf("; / nimbrel .tar = %.2fx\n", median[kNimbrelTarGz] / median[kNimbrelTar]);
}

void PrintSummary() {
  std::printf("\ngzip inflater of this build: %s; medians of %d runs\n", GzipStream::InflaterName(),
              kIterations);
  for (const Archive& archive : archives) {
    if (archive.gzPath.empty()) continue;
    double wall[kRuns], cpu[kRuns];
    for (int run = 0; run < kRuns; ++run) {
      wall[run] = Median(archive.seconds[run]);
      cpu[run] = Median(archive.cpuSeconds[run]);
    }
    std::printf("%s (%.1f MB tar, %.1f MB gzip), ms (CPU ms):\n ", archive.label,
                static_cast<double>(archive.tarBytes) / 1e6,
                static_cast<double>(archive.gzBytes) / 1e6);
    for (int run = 0; run < kRuns; ++run) {
      std::printf(" %s %.1f", kRunNames[run], wall[run] * 1e3);
      if (cpu[run] > 0) std::printf(" (%.1f)", cpu[run] * 1e3);
      std::printf(";");
    }
    std::printf("\n");
    PrintRatios(wall, "wall");
    PrintRatios(cpu, "CPU ");
    std::printf("  peak resident memory of the program: %.1f MB on the .tar.gz, %.1f MB on the .tar\n",
                static_cast<double>(archive.peakKilobytes[0]) / 1024,
                static_cast<double>(archive.peakKilobytes[1]) / 1024);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* shm = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string pattern = std::string(shm) + "/nimbrel-bench-gzip-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  workDir = pattern;
  haveIgzip = RunCommand("command -v igzip >/dev/null") == 0;
  for (int i = 0; i < 2; ++i) {
    bool real = i == 1;
    if (real && !HaveTestdata()) continue;
    if (!MakeArchive(archives[i], real)) {
      std::fprintf(stderr, "could not make the %s archive in %s\n", real ? "real" : "synthetic",
                   workDir.c_str());
      archives[i].gzPath.clear();
    }
  }
  // Per archive, side by side.
  using Function = void (*)(benchmark::State&);
  const Function functions[kRuns] = {BM_NimbrelTarGz, BM_NimbrelTar,        BM_GzipDc,
                                     BM_IgzipDc,      BM_GzipStreamTarWalk, BM_GzipStreamLargeReads};
  for (int i = 0; i < 2; ++i) {
    for (int run = 0; run < kRuns; ++run) {
      benchmark::RegisterBenchmark(kRunNames[run], functions[run])
          ->Arg(i)
          ->Unit(benchmark::kMillisecond)
          ->UseManualTime()
          ->Iterations(kIterations);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintSummary();
  std::error_code error;
  fs::remove_all(workDir, error);
  return 0;
}
