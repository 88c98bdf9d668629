// The gzip stream over ~100 MB .tar.gz files in RAM, beside `gzip -dc` of the
// same file to /dev/null. Archive 0 holds the real Level III products (most
// carry bzip2-compressed data, so gzip gains little; skipped when the shared
// data is absent), archive 1 synthetic products that compress well; each is
// repeated to reach the size and compressed by the real gzip at its default
// level. The stream is read by the tar walker (a 512-byte header, then the
// member's blocks) and in large requests. All times are wall-clock: gzip -dc
// runs as a child.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "sources/tar_walker.h"
#include "streams/open_stream.h"
#include "support/product_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

using namespace nimbrel;

namespace {

constexpr int kTargetMegabytes = 100;

struct Archive {
  std::string gzPath;  // empty when it could not be made
  int64_t tarBytes = 0;
};
Archive archives[2];

std::string MakeWorkDir() {
  const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::string dir = std::string(base) + "/nimbrel-bench-gzip-" + std::to_string(stamp);
  std::filesystem::create_directories(dir);
  return dir;
}

// Fills `folder` with a few MB of products; returns their total size.
int64_t WriteProducts(const std::string& folder, bool real) {
  std::filesystem::create_directories(folder);
  if (real) {
    std::filesystem::copy(TestdataDir() + "/level3", folder);
  } else {
    for (int i = 0; i < 120; ++i) {
      ProductSpec fields;
      fields.bodySize = 10000 + 997 * i;
      fields.seed = static_cast<uint32_t>(i + 1);
      WriteFileBytes(folder + "/" + ArchiveName(fields, "2005070312" + std::to_string(i)),
                     BuildProduct(fields));
    }
  }
  int64_t total = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) total += entry.file_size();
  return total;
}

// Tars the products folder under enough names (symbolic links, followed by
// tar -h, with every copy stored in full) to reach the target size, then
// gzips the tar.
Archive MakeArchive(const std::string& dir, bool real) {
  int64_t once = WriteProducts(dir + "/products", real);
  if (once <= 0) return {};
  int64_t copies = (int64_t{kTargetMegabytes} << 20) / once + 1;
  std::string names;
  for (int64_t i = 0; i < copies; ++i) {
    std::string name = "copy" + std::to_string(i);
    std::filesystem::create_directory_symlink("products", dir + "/" + name);
    names += " " + name;
  }
  std::string tar = dir + "/archive.tar";
  if (RunCommand("cd '" + dir + "' && tar -ch --hard-dereference -f archive.tar" + names) != 0) {
    return {};
  }
  Archive archive;
  archive.tarBytes = static_cast<int64_t>(std::filesystem::file_size(tar));
  if (RunCommand("gzip -f '" + tar + "'") != 0) return {};
  archive.gzPath = tar + ".gz";
  return archive;
}

int64_t membersSeen = 0;

bool CountMember(const char*, const uint8_t*, int32_t) {
  ++membersSeen;
  return true;
}

// The archive named by the benchmark's first argument, or null (skipped).
const Archive* Select(benchmark::State& state) {
  const Archive& archive = archives[state.range(0)];
  if (!archive.gzPath.empty()) return &archive;
  state.SkipWithError("archive not available");
  return nullptr;
}

// The real walker over the stream, handing members to a counter instead of
// the intake.
void BM_GzipStreamTarWalk(benchmark::State& state) {
  const Archive* archive = Select(state);
  if (archive == nullptr) return;
  for (auto _ : state) {
    membersSeen = 0;
    WalkArchive(archive->gzPath, CountMember);
    if (membersSeen == 0) return state.SkipWithError("the walk handed on no member");
  }
  state.counters["members"] = static_cast<double>(membersSeen);
  state.SetBytesProcessed(state.iterations() * archive->tarBytes);
}

void BM_GzipStreamLargeReads(benchmark::State& state) {
  const Archive* archive = Select(state);
  if (archive == nullptr) return;
  int32_t length = 64 << 10;
  std::vector<uint8_t> data(static_cast<size_t>(length));
  for (auto _ : state) {
    std::unique_ptr<ByteStream> stream = OpenByteStream(archive->gzPath.c_str());
    if (stream == nullptr) return state.SkipWithError("cannot open the archive");
    int64_t total = 0;
    for (int32_t got; (got = stream->Read(data.data(), length)) > 0;) total += got;
    if (total != archive->tarBytes) return state.SkipWithError("stream length differs from the tar");
  }
  state.SetBytesProcessed(state.iterations() * archive->tarBytes);
}

void BM_GzipDc(benchmark::State& state) {
  const Archive* archive = Select(state);
  if (archive == nullptr) return;
  std::string command = "gzip -dc '" + archive->gzPath + "' > /dev/null";
  for (auto _ : state) {
    if (RunCommand(command) != 0) return state.SkipWithError("gzip -dc failed");
  }
  state.SetBytesProcessed(state.iterations() * archive->tarBytes);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string dir = MakeWorkDir();
  for (int i = 0; i < 2; ++i) {
    bool real = i == 0;
    if (real && !HaveTestdata()) continue;
    archives[i] = MakeArchive(dir + "/" + std::to_string(i), real);
    if (archives[i].gzPath.empty()) continue;
    std::error_code error;
    std::printf("archive %d (%s products): %.1f MB tar, %.1f MB gzip\n", i,
                real ? "real" : "synthetic", static_cast<double>(archives[i].tarBytes) / 1e6,
                static_cast<double>(std::filesystem::file_size(archives[i].gzPath, error)) / 1e6);
  }
  // Per archive, side by side: gzip -dc, then the stream read both ways.
  for (int i = 0; i < 2; ++i) {
    using Function = void (*)(benchmark::State&);
    const std::pair<const char*, Function> runs[] = {
        {"GzipDc", BM_GzipDc},
        {"GzipStreamTarWalk", BM_GzipStreamTarWalk},
        {"GzipStreamLargeReads", BM_GzipStreamLargeReads}};
    for (auto [name, function] : runs) {
      benchmark::RegisterBenchmark(name, function)
          ->Arg(i)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Iterations(3);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code error;
  std::filesystem::remove_all(dir, error);
  return 0;
}
