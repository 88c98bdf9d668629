// The block stream over about 100 MB of inflated content (products, most of
// them compressible, some not) stored in blocks of at most 243200 bytes,
// beside the bzip2 tool inflating the same bzip2 streams, concatenated.
// The tool runs as a child, so its CPU time is reported as the counter
// child_cpu_ms (per run); compare it with the stream's CPU column.
// Files live in /dev/shm and are removed at the end.
#include <benchmark/benchmark.h>
#include <bzlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "streams/bz2_block_stream.h"
#include "streams/open_stream.h"
#include "support/product_builder.h"
#include "support/test_env.h"

using namespace nimbrel;

namespace {

constexpr size_t kContentSize = 100u << 20;
const std::string kBlockFile = "/dev/shm/nimbrel_bench_bz2_blocks";
const std::string kConcatFile = "/dev/shm/nimbrel_bench_bz2_blocks.bz2";

struct Corpus {
  size_t inflated = 0;
  size_t blockFileSize = 0;
  size_t blocks = 0;
  bool ok = false;
};

void AppendWord(std::vector<uint8_t>& to, uint32_t word) {
  for (int shift = 24; shift >= 0; shift -= 8) to.push_back(static_cast<uint8_t>(word >> shift));
}

Corpus MakeCorpus() {
  Corpus corpus;
  std::vector<uint8_t> content;
  content.reserve(kContentSize + (1u << 20));
  for (uint32_t i = 0; content.size() < kContentSize; ++i) {
    ProductSpec fields;
    fields.seed = i + 1;
    fields.bodySize = static_cast<int32_t>(2000 + (i * 7919u) % 120000);
    fields.bodyStyle = i % 5 == 4 ? BodyStyle::kRandom : BodyStyle::kRuns;
    std::vector<uint8_t> product = BuildProduct(fields);
    content.insert(content.end(), product.begin(), product.end());
  }
  corpus.inflated = content.size();

  std::vector<uint8_t> blockFile(content.begin(), content.begin() + kBlockFileHeaderSize);
  std::vector<uint8_t> concat;
  std::vector<char> compressed(kBlockCapacity + kBlockCapacity / 50 + 600);
  for (size_t at = kBlockFileHeaderSize; at < content.size();) {
    size_t count = std::min<size_t>(kBlockCapacity, content.size() - at);
    unsigned int length = static_cast<unsigned int>(compressed.size());
    if (BZ2_bzBuffToBuffCompress(compressed.data(), &length, reinterpret_cast<char*>(content.data() + at),
                                 static_cast<unsigned int>(count), 9, 0, 30) != BZ_OK) {
      return corpus;
    }
    at += count;
    AppendWord(blockFile, at == content.size() ? 0u - length : length);
    blockFile.insert(blockFile.end(), compressed.begin(), compressed.begin() + length);
    concat.insert(concat.end(), compressed.begin(), compressed.begin() + length);
    ++corpus.blocks;
  }
  corpus.blockFileSize = blockFile.size();
  corpus.ok = WriteFileBytes(kBlockFile, blockFile) && WriteFileBytes(kConcatFile, concat);
  return corpus;
}

const Corpus& TheCorpus() {
  static const Corpus corpus = MakeCorpus();
  return corpus;
}

void BM_Bz2BlockStream(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  if (!corpus.ok) return state.SkipWithError("could not build the block file");
  int32_t piece = static_cast<int32_t>(state.range(0));
  std::vector<uint8_t> buffer(static_cast<size_t>(piece));
  for (auto _ : state) {
    std::unique_ptr<ByteStream> stream = OpenByteStream(kBlockFile.c_str());
    size_t total = 0;
    for (int32_t got = piece; got == piece;) {
      got = stream->Read(buffer.data(), piece);
      total += static_cast<size_t>(got);
    }
    if (total != corpus.inflated) return state.SkipWithError("stream delivered the wrong count");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.inflated));
  state.counters["blocks"] = static_cast<double>(corpus.blocks);
  state.counters["file_MB"] = static_cast<double>(corpus.blockFileSize) / 1e6;
}
BENCHMARK(BM_Bz2BlockStream)->Arg(512)->Arg(65536)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Bzip2ToolSameStreams(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  if (!corpus.ok) return state.SkipWithError("could not build the block file");
  auto childCpuSeconds = [] {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  };
  double before = childCpuSeconds();
  for (auto _ : state) {
    if (RunCommand("bzip2 -dc " + kConcatFile + " > /dev/null") != 0) return state.SkipWithError("bzip2 failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.inflated));
  state.counters["child_cpu_ms"] =
      (childCpuSeconds() - before) * 1e3 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Bzip2ToolSameStreams)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(kBlockFile.c_str());
  std::remove(kConcatFile.c_str());
  return 0;
}
