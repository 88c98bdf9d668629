// Decoding `compress -b16` archives through LzwStream, beside ncompress's
// `compress -dc` and `gzip -dc` of the same files, and ProcessTar over the
// .tar.Z beside `compress -dc`, on two corpora made here in a RAM-backed
// folder:
//   synthetic: about 100 MB of products from the product builder (long runs,
//              compress well), 3400 members;
//   real:      the shared Level III files (already compressed inside, short
//              strings), tarred again and again to about 100 MB, each copy
//              in its own order, so that the code table meets each file
//              among other neighbours every time.
// Each case runs 5 times; the end prints medians in MB/s of decoded output
// and the ratios against the reference tools, by elapsed time and by CPU time
// (user + system, the tools' own as children), as the machine may be shared.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/input_file.h"
#include "sources/tar_walker.h"
#include "streams/lzw_stream.h"
#include "support/synthetic_corpus.h"
#include "support/test_env.h"

using namespace nimbrel;

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 5;

struct Corpus {
  std::string tarZ;
  int64_t decodedBytes = 0;
};

std::string workDir;
Corpus corpora[2];  // synthetic, real
std::map<std::string, std::vector<double>> seconds;     // elapsed
std::map<std::string, std::vector<double>> cpuSeconds;  // this process and its children

bool TarAndCompress(const std::string& folder, const std::string& list, Corpus* corpus,
                    const std::string& stem) {
  std::string tar = workDir + "/" + stem + ".tar";
  if (RunCommand("tar --hard-dereference -chf " + tar + " -C " + folder + " -T " + list) != 0) return false;
  corpus->decodedBytes = static_cast<int64_t>(fs::file_size(tar));
  if (RunCommand("compress -f -b16 " + tar) != 0) return false;
  corpus->tarZ = tar + ".Z";
  fs::remove_all(folder);
  return fs::exists(corpus->tarZ);
}

bool MakeSynthetic() {
  std::string folder = workDir + "/synthetic";
  fs::create_directory(folder);
  std::string list = workDir + "/synthetic.list";
  if (!WriteSyntheticScans(folder, 200, list)) return false;
  return TarAndCompress(folder, list, &corpora[0], "synthetic");
}

bool MakeReal() {
  std::string source = TestdataDir() + "/level3";
  if (!fs::is_directory(source)) return false;
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(source)) files.push_back(entry.path().filename());
  std::sort(files.begin(), files.end());
  std::string folder = workDir + "/real";
  std::string list = workDir + "/real.list";
  FILE* names = std::fopen(list.c_str(), "w");
  if (names == nullptr) return false;
  std::mt19937 random(1);
  for (int copy = 0; copy < 15; ++copy) {
    std::string sub = "copy" + std::to_string(copy);
    fs::create_directories(folder + "/" + sub);
    if (copy > 0) std::shuffle(files.begin(), files.end(), random);
    for (const std::string& file : files) {
      fs::create_symlink(source + "/" + file, folder + "/" + sub + "/" + file);
      std::fprintf(names, "%s/%s\n", sub.c_str(), file.c_str());
    }
  }
  std::fclose(names);
  return TarAndCompress(folder, list, &corpora[1], "real");
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double CpuSeconds() {
  double total = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage usage;
    getrusage(who, &usage);
    total += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
             (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  return total;
}

template <typename Body>
void Timed(benchmark::State& state, const std::string& label, const Corpus& corpus, Body body) {
  for (auto _ : state) {
    double cpu = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    body();
    double taken = Since(start);
    seconds[label].push_back(taken);
    cpuSeconds[label].push_back(CpuSeconds() - cpu);
    state.SetIterationTime(taken);
  }
  state.SetBytesProcessed(state.iterations() * corpus.decodedBytes);
}

std::unique_ptr<LzwStream> Open(const Corpus& corpus) {
  int32_t fd = OpenInputFile(corpus.tarZ.c_str());
  if (fd < 0) std::abort();
  return std::make_unique<LzwStream>(std::make_unique<FileStream>(corpus.tarZ.c_str(), fd));
}

// Requests of 512 bytes, as for tar headers.
void BM_Read512(benchmark::State& state) {
  const Corpus& corpus = corpora[state.range(0)];
  std::vector<uint8_t> buffer(512);
  Timed(state, "read512/" + std::to_string(state.range(0)), corpus, [&] {
    std::unique_ptr<LzwStream> stream = Open(corpus);
    int64_t total = 0;
    while (int32_t got = stream->Read(buffer.data(), 512)) total += got;
    if (total != corpus.decodedBytes) std::abort();
  });
}

// A tar walk's requests: a 512-byte header, then the member's data in one.
void BM_ReadMembers(benchmark::State& state) {
  const Corpus& corpus = corpora[state.range(0)];
  std::vector<uint8_t> buffer(1 << 24);
  Timed(state, "members/" + std::to_string(state.range(0)), corpus, [&] {
    std::unique_ptr<LzwStream> stream = Open(corpus);
    int64_t total = 0;
    for (;;) {
      int32_t got = stream->Read(buffer.data(), 512);
      total += got;
      if (got < 512) break;
      int64_t size = std::strtoll(reinterpret_cast<const char*>(buffer.data()) + 124, nullptr, 8);
      int32_t blocks = static_cast<int32_t>((size + 511) / 512 * 512);
      if (blocks > 0) total += stream->Read(buffer.data(), blocks);
    }
    if (total != corpus.decodedBytes) std::abort();
  });
}

void BM_CompressDc(benchmark::State& state) {
  const Corpus& corpus = corpora[state.range(0)];
  Timed(state, "compress/" + std::to_string(state.range(0)), corpus, [&] {
    if (RunCommand("compress -dc " + corpus.tarZ + " >/dev/null") != 0) std::abort();
  });
}

void BM_GzipDc(benchmark::State& state) {
  const Corpus& corpus = corpora[state.range(0)];
  Timed(state, "gzip/" + std::to_string(state.range(0)), corpus, [&] {
    if (RunCommand("gzip -dc " + corpus.tarZ + " >/dev/null") != 0) std::abort();
  });
}

// The whole conversion: ProcessTar over the .tar.Z into a fresh folder.
void BM_ProcessTarZ(benchmark::State& state) {
  const Corpus& corpus = corpora[state.range(0)];
  std::string out = workDir + "/out";
  Timed(state, "nimbrel/" + std::to_string(state.range(0)), corpus, [&] {
    fs::remove_all(out);
    fs::create_directory(out);
    ProcessTarQuietlyIn(out, corpus.tarZ);
  });
  fs::remove_all(out);
}

void Cases(benchmark::internal::Benchmark* bench) {
  bench->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(kRuns);
}

BENCHMARK(BM_Read512)->Apply(Cases);
BENCHMARK(BM_ReadMembers)->Apply(Cases);
BENCHMARK(BM_CompressDc)->Apply(Cases);
BENCHMARK(BM_GzipDc)->Apply(Cases);
BENCHMARK(BM_ProcessTarZ)->Apply(Cases);

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* shm = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string pattern = std::string(shm) + "/nimbrel-lzw-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  workDir = pattern;
  if (!MakeSynthetic() || !MakeReal()) {
    std::fprintf(stderr, "could not make the corpora in %s (needs tar, compress, the test data)\n",
                 workDir.c_str());
    fs::remove_all(workDir);
    return 1;
  }
  const char* names[] = {"synthetic", "real"};
  for (int i = 0; i < 2; ++i)
    std::printf("%s: %.1f MB decoded from %.1f MB\n", names[i], corpora[i].decodedBytes / 1e6,
                static_cast<double>(fs::file_size(corpora[i].tarZ)) / 1e6);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(workDir);

  std::printf("\nmedians of %d runs in MB/s of decoded output; ratio = speed / compress -dc's\n",
              kRuns);
  std::printf("  %-10s %-22s %10s %7s %10s %7s\n", "corpus", "", "elapsed", "ratio", "cpu", "ratio");
  for (int i = 0; i < 2; ++i) {
    std::string k = "/";
    k += std::to_string(i);
    double mb = corpora[i].decodedBytes / 1e6;
    auto show = [&](const char* what, const std::string& label) {
      double wall = Median(seconds[label + k]), cpu = Median(cpuSeconds[label + k]);
      double wallRef = Median(seconds["compress" + k]), cpuRef = Median(cpuSeconds["compress" + k]);
      if (wall > 0 && cpu > 0 && wallRef > 0 && cpuRef > 0)
        std::printf("  %-10s %-22s %10.1f %6.2fx %10.1f %6.2fx\n", names[i], what, mb / wall,
                    wallRef / wall, mb / cpu, cpuRef / cpu);
    };
    show("Read 512", "read512");
    show("Read member-sized", "members");
    show("compress -dc", "compress");
    show("gzip -dc", "gzip");
    show("ProcessTar (.tar.Z)", "nimbrel");
  }
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak resident memory of this process: %.1f MB\n", usage.ru_maxrss / 1024.0);
  return 0;
}
