// Directory mode over folders of small product files, beside `cat` of the
// same files into /dev/null, at 5,000 and 50,000 files.
//
// Each folder holds scan groups of about 166 files: an N0R anchor, 49 more
// catalogued products (stored) and about 116 of uncatalogued categories
// (read, shown and dropped), so the program reads every file, as cat does.
// 5,000 files make 30 groups, 50,000 make 300. The folders, and the site-
// volume files of each run, live in /dev/shm and are removed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "products/catalogue.h"
#include "sources/directory_scanner.h"
#include "sources/name_index.h"
#include "support/product_builder.h"
#include "support/test_env.h"

using namespace nimbrel;

namespace fs = std::filesystem;

namespace {

constexpr int kFilesPerGroup = 166;
constexpr int kStoredPerGroup = 50;  // the anchor and 49 more catalogued kinds
constexpr int kScansPerSite = 6;

std::string root;  // a fresh folder in /dev/shm

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Category codes: N0R first, then other catalogued codes, then codes the
// catalogue does not know.
std::vector<std::string> Categories() {
  std::vector<std::string> codes = {"N0R"};
  for (const ProductEntry& row : kProductCatalogue) {
    if (static_cast<int>(codes.size()) == kStoredPerGroup) break;
    if (std::string(row.categoryCode) != "N0R") codes.push_back(row.categoryCode);
  }
  for (char a = 'A'; a <= 'Z' && static_cast<int>(codes.size()) < kFilesPerGroup; ++a) {
    for (char b = '0'; b <= '9' && static_cast<int>(codes.size()) < kFilesPerGroup; ++b) {
      std::string code = {'X', a, b};
      if (FindProductByCode(code.c_str()) == kNoProductId) codes.push_back(code);
    }
  }
  return codes;
}

// Writes `files` product files (rounded to whole groups) into a new folder
// and returns its path.
const std::string& Folder(int files) {
  static std::map<int, std::string> made;
  auto found = made.find(files);
  if (found != made.end()) return found->second;
  std::string folder = root + "/in-" + std::to_string(files);
  fs::create_directories(folder);
  const std::vector<std::string> codes = Categories();
  int groups = files / kFilesPerGroup;
  uint32_t seed = 1;
  for (int group = 0; group < groups; ++group) {
    std::string station = Upper(kStationIds[group / kScansPerSite]);
    int minute = 5 * (group % kScansPerSite);
    char nameTime[16];
    std::snprintf(nameTime, sizeof nameTime, "2005070312%02d", minute);
    for (const std::string& code : codes) {
      ProductSpec fields;
      fields.issuer = station;
      fields.site = station.substr(1);
      fields.category = code;
      fields.volumeScanTime = 43200 + 60 * static_cast<uint32_t>(minute);
      fields.bodySize = 1000;
      fields.seed = seed++;
      WriteFileBytes(folder + "/" + ArchiveName(fields, nameTime), BuildProduct(fields));
    }
  }
  return made.emplace(files, folder).first->second;
}

void SetFileRate(benchmark::State& state) {
  int files = static_cast<int>(state.range(0)) / kFilesPerGroup * kFilesPerGroup;
  state.counters["files/s"] = benchmark::Counter(static_cast<double>(files),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

// One command per iteration; `prepare` runs outside the timing.
template <typename Prepare>
void TimeCommand(benchmark::State& state, const std::string& command, Prepare prepare) {
  for (auto _ : state) {
    state.PauseTiming();
    prepare();
    state.ResumeTiming();
    if (RunCommand(command) != 0) state.SkipWithError(("failed: " + command).c_str());
  }
  SetFileRate(state);
}

void BM_DirectoryMode(benchmark::State& state) {
  const std::string& folder = Folder(static_cast<int>(state.range(0)));
  std::string out = root + "/out";
  TimeCommand(state,
              "cd " + out + " && printf 'y\\n' | " NIMBREL_BINARY " " + folder + " > /dev/null",
              [&] {
                fs::remove_all(out);
                fs::create_directories(out);
              });
  // What the last run stored, to show that every group was filed.
  int volumes = 0;
  for (const auto& entry : fs::directory_iterator(out)) volumes += entry.path().extension() == ".jx4";
  state.counters["jx4 files"] = volumes;
}

void BM_CatToDevNull(benchmark::State& state) {
  const std::string& folder = Folder(static_cast<int>(state.range(0)));
  TimeCommand(state,
              "cd " + folder + " && find . -type f -print0 | xargs -0 cat > /dev/null", [] {});
}

// Only the listing and the searches of a walk, in process.
void BM_IndexAndSearches(benchmark::State& state) {
  const std::string& folder = Folder(static_cast<int>(state.range(0)));
  NameIndex index;
  std::vector<const char*> anchors;
  std::vector<const char*> members;
  for (auto _ : state) {
    index.Read(folder.c_str());
    index.Search("*n0r*", &anchors);
    for (const char* anchor : anchors) {
      std::string pattern = "*";
      pattern += anchor + 15;
      index.Search(pattern.c_str(), &members);
      benchmark::DoNotOptimize(members.data());
    }
  }
  SetFileRate(state);
}

// The listing and the loading of every file, in process, without the intake:
// the floor under directory mode's own reading.
void BM_LoadEveryFile(benchmark::State& state) {
  const std::string& folder = Folder(static_cast<int>(state.range(0)));
  NameIndex index;
  std::vector<const char*> names;
  char path[kPathBufferSize];
  for (auto _ : state) {
    index.Read(folder.c_str());
    index.Search("*", &names);
    for (const char* name : names) {
      int32_t size = 0;
      Outcome why;
      PathCombine(path, folder.c_str(), name);
      benchmark::DoNotOptimize(LoadWholeFile(path, &size, &why));
    }
  }
  SetFileRate(state);
}

BENCHMARK(BM_DirectoryMode)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(3);
BENCHMARK(BM_CatToDevNull)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(3);
BENCHMARK(BM_IndexAndSearches)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LoadEveryFile)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/dev/shm/nimbrel-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  root = pattern;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(root);
  return 0;
}
