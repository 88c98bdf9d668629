// jx4 convert end to end, beside the console program and the reference
// decompressors, in a RAM-backed folder:
//   - eight .tar.gz archives: nimbrel on each in turn, against one
//     `jx4 convert -j 2` of all eight;
//   - one large .tar.Z and one large .tar.gz, of synthetic products and of
//     the real Level III files: nimbrel, jx4, and `compress -dc`, `gzip -dc`
//     and `igzip -dc` of the same file;
//   - the peak resident memory of each jx4 run.
// Every run is a child process writing into a fresh output folder; the runs
// of a comparison are interleaved, and medians are reported with ratios.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/synthetic_corpus.h"
#include "support/test_env.h"

using namespace nimbrel;

namespace {

namespace fs = std::filesystem;

// NIMBREL_BENCH_ITERATIONS overrides; NIMBREL_BENCH_KEEP keeps the inputs.
const int kIterations = std::getenv("NIMBREL_BENCH_ITERATIONS") ? std::atoi(std::getenv("NIMBREL_BENCH_ITERATIONS")) : 7;
constexpr int kArchives = 8;
constexpr int kScansPerArchive = 12;  // about 6 MB of tar each
constexpr int kLargeScans = 90;       // about 45 MB of tar
constexpr int kRealCopies = 6;        // the real files, six times over

std::string workDir;

bool Tool(const char* name) { return RunCommand(std::string("command -v ") + name + " >/dev/null") == 0; }

// Writes `scans` synthetic volume scans (offset by `first`) as dir/name.tar.
bool SyntheticTar(const std::string& dir, const std::string& name, int scans) {
  std::string products = dir + "/" + name + ".d";
  fs::create_directories(products);
  std::string list = products + ".list";
  if (!WriteSyntheticScans(products, scans, list)) return false;
  bool ok = RunCommand("tar -cf '" + dir + "/" + name + ".tar' -C '" + products + "' -T '" + list + "'") == 0;
  fs::remove_all(products);
  return ok;
}

bool RealTar(const std::string& dir, const std::string& name) {
  std::string products = dir + "/real.d";
  for (int copy = 0; copy < kRealCopies; ++copy) {
    std::string to = products + "/copy" + std::to_string(copy);
    fs::create_directories(to);
    fs::copy(TestdataDir() + "/level3", to);
  }
  bool ok = RunCommand("tar -cf '" + dir + "/" + name + ".tar' -C '" + products + "' .") == 0;
  fs::remove_all(products);
  return ok;
}

struct Timing {
  std::vector<double> wall, cpu;
  long peakKilobytes = 0;
  bool failed = false;
};

std::map<std::string, Timing> timings;

// Runs `argv` in a fresh output folder and records it under `label`.
void Time(const std::string& label, const std::vector<std::string>& argv,
          const std::string& input = "/dev/null") {
  std::string out = workDir + "/out";
  fs::remove_all(out);
  fs::create_directories(out);
  ChildRun run = RunChild(argv, out, input);
  Timing& t = timings[label];
  t.failed |= !run.ok;
  t.wall.push_back(run.seconds);
  t.cpu.push_back(run.cpuSeconds);
  t.peakKilobytes = std::max(t.peakKilobytes, run.peakKilobytes);
}

double Wall(const std::string& label) { return Median(timings[label].wall); }

void Ratio(const char* what, const std::string& a, const std::string& b, const char* target) {
  if (timings.count(a) == 0 || timings.count(b) == 0) return;
  std::printf("  %-52s %.2fx (%.3f s / %.3f s; cpu %.2fx) %s\n", what, Wall(a) / Wall(b), Wall(a),
              Wall(b), Median(timings[a].cpu) / Median(timings[b].cpu), target);
}

}  // namespace

int main() {
  workDir = (fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string()) +
            "/nimbrel-bench-jx4";
  fs::remove_all(workDir);
  fs::create_directories(workDir);
  const std::string answer = workDir + "/yes";
  WriteFileBytes(answer, std::string("y"));
  const bool igzip = Tool("igzip"), compress = Tool("compress");

  std::vector<std::string> eight;
  for (int i = 0; i < kArchives; ++i) {
    std::string name = "day" + std::to_string(i);
    if (!SyntheticTar(workDir, name, kScansPerArchive) ||
        RunCommand("gzip '" + workDir + "/" + name + ".tar'") != 0) {
      std::fprintf(stderr, "could not make the archives\n");
      return 1;
    }
    eight.push_back(workDir + "/" + name + ".tar.gz");
  }
  std::vector<std::string> corpora = {"synthetic"};
  SyntheticTar(workDir, "synthetic", kLargeScans);
  if (HaveTestdata() && RealTar(workDir, "real")) corpora.push_back("real");
  for (const std::string& c : corpora) {
    std::string tar = workDir + "/" + c + ".tar";
    RunCommand("gzip -k '" + tar + "'");
    if (compress) RunCommand("compress -c '" + tar + "' > '" + tar + ".Z'");
  }

  for (int i = 0; i < kIterations; ++i) {
    // Eight archives: one after another with nimbrel, at once with jx4.
    {
      std::string out = workDir + "/out";
      double wall = 0, cpu = 0;
      fs::remove_all(out);
      fs::create_directories(out);
      for (const std::string& archive : eight) {
        ChildRun run = RunChild({NIMBREL_BINARY, archive}, out, answer);
        wall += run.seconds;
        cpu += run.cpuSeconds;
      }
      timings["nimbrel 8 x .tar.gz"].wall.push_back(wall);
      timings["nimbrel 8 x .tar.gz"].cpu.push_back(cpu);
      std::vector<std::string> argv = {JX4_BINARY, "convert", "-q", "-j", "2", "-o", "."};
      argv.insert(argv.end(), eight.begin(), eight.end());
      Time("jx4 -j 2, 8 x .tar.gz", argv);
    }
    for (const std::string& c : corpora) {
      std::string tar = workDir + "/" + c + ".tar";
      for (const char* kind : {".Z", ".gz"}) {
        std::string file = tar + kind;
        if (!fs::exists(file)) continue;
        std::string suffix = " " + c + " .tar" + kind;
        Time("nimbrel" + suffix, {NIMBREL_BINARY, file}, answer);
        Time("jx4" + suffix, {JX4_BINARY, "convert", "-q", "-o", ".", file});
        Time("jx4 -j 1" + suffix, {JX4_BINARY, "convert", "-q", "-j", "1", "-o", ".", file});
        Time(std::string(kind[1] == 'Z' ? "compress" : "gzip") + " -dc" + suffix,
             {kind[1] == 'Z' ? "compress" : "gzip", "-dc", file});
        if (kind[1] == 'g' && igzip) Time("igzip -dc" + suffix, {"igzip", "-dc", file});
      }
    }
  }

  std::printf("medians of %d runs; %d cores\n", kIterations, static_cast<int>(std::thread::hardware_concurrency()));
  for (const auto& [label, t] : timings) {
    std::printf("  %-36s %8.3f s  cpu %8.3f s  peak %6.1f MB%s\n", label.c_str(), Median(t.wall),
                Median(t.cpu), static_cast<double>(t.peakKilobytes) / 1024.0, t.failed ? "  FAILED" : "");
  }
  std::printf("ratios:\n");
  Ratio("jx4 -j 2 / nimbrel one after another (8 x .tar.gz)", "jx4 -j 2, 8 x .tar.gz",
        "nimbrel 8 x .tar.gz", "(target <= 0.56x)");
  for (const std::string& c : corpora) {
    Ratio(("jx4 / nimbrel, " + c + " .tar.Z").c_str(), "jx4 " + c + " .tar.Z", "nimbrel " + c + " .tar.Z",
          "(target <= 1x)");
    Ratio(("jx4 / compress -dc, " + c + " .tar.Z").c_str(), "jx4 " + c + " .tar.Z",
          "compress -dc " + c + " .tar.Z", "(target <= 0.6x)");
    Ratio(("nimbrel / compress -dc, " + c + " .tar.Z").c_str(), "nimbrel " + c + " .tar.Z",
          "compress -dc " + c + " .tar.Z", "");
    Ratio(("jx4 / nimbrel, " + c + " .tar.gz").c_str(), "jx4 " + c + " .tar.gz",
          "nimbrel " + c + " .tar.gz", "(target <= 1x)");
    Ratio(("jx4 / igzip -dc, " + c + " .tar.gz").c_str(), "jx4 " + c + " .tar.gz",
          "igzip -dc " + c + " .tar.gz", "(target <= 1.5x)");
    Ratio(("nimbrel / gzip -dc, " + c + " .tar.gz").c_str(), "nimbrel " + c + " .tar.gz",
          "gzip -dc " + c + " .tar.gz", "(target <= 0.5x)");
  }
  if (std::getenv("NIMBREL_BENCH_KEEP") == nullptr) fs::remove_all(workDir);
  return 0;
}
