// A feed end to end, in a RAM-backed folder: a framed stream of 1 GB made
// from the real framed products (each copy at another volume time and
// station, every message zlib-compressed in 4000-byte streams as today's
// feed sends it), converted by `jx4 convert`:
//   - its time against a zlib-only reader of the same stream (reading the
//     file, finding each frame and inflating its zlib streams, nothing else);
//   - the peak resident memory of converting its first 100 MB and the whole;
//   - per-product latency through a pipe: a product written into jx4's
//     standard input until its report record has arrived, median and 99th
//     percentile.
// The stream is made at run time and removed afterwards.
// NIMBREL_BENCH_ITERATIONS overrides the runs per figure (3);
// NIMBREL_FEED_MB the stream's size (1000).
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "products/framed_product.h"
#include "support/child_process.h"
#include "support/product_builder.h"
#include "support/test_env.h"

using namespace nimbrel;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int EnvNumber(const char* name, int otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::atoi(value) : otherwise;
}

const char* kFramed[] = {"Level3_LSX_N1U_20211228_0446.nids", "Level3_STL_NCR_20211211_0200.nids",
                         "Level3_STL_TV0_20211211_0200.nids", "Level3_STL_TZ0_20211211_0200.nids",
                         "Level3_STL_TZL_20211211_0200.nids", "NIDS_DYX_NST_NST_20200522_0222"};
const char* kSites[] = {"TLX", "INX", "FWS", "LSX", "BMX", "DYX", "LOT", "DMX", "OKX", "AMX"};

void PutBig16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}
void PutBig32(uint8_t* at, uint32_t value) {
  PutBig16(at, value >> 16);
  PutBig16(at + 2, value & 0xFFFF);
}

// The real products, unframed.
std::vector<Bytes> RealProducts() {
  std::vector<Bytes> products;
  for (const char* name : kFramed) {
    Bytes file = ReadFileBytes(TestdataDir() + "/level3/" + name);
    for (UnframedProduct& product : UnframeProducts(file.data(), file.size())) {
      if (!product.problem.has_value()) products.push_back(std::move(product.image));
    }
  }
  return products;
}

// Writes the stream: copy k of every product at volume k (5 minutes
// apart) of the k-th station in turn. The offsets of each copy's end are
// kept, so that a prefix ends at a frame's end.
bool WriteFeed(const std::string& path, size_t bytes, std::vector<size_t>* copyEnds, size_t* frames) {
  std::vector<Bytes> products = RealProducts();
  if (products.size() != std::size(kFramed)) return false;
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  size_t written = 0;
  *frames = 0;
  for (uint32_t copy = 0; written < bytes; ++copy) {
    for (Bytes image : products) {
      std::memcpy(image.data() + 24, kSites[copy % std::size(kSites)], 3);
      uint32_t seconds = 7200 + 300 * copy;
      PutBig16(image.data() + 30 + 40, 18000 + seconds / 86400);  // volume scan date
      PutBig32(image.data() + 30 + 42, seconds % 86400);            // and time
      int streams = static_cast<int>((image.size() + 24 + 3999) / 4000);
      Bytes frame = FrameProduct(image, static_cast<int>(*frames), streams, true, 6);
      if (std::fwrite(frame.data(), 1, frame.size(), out) != frame.size()) return false;
      written += frame.size();
      ++*frames;
    }
    copyEnds->push_back(written);
  }
  return std::fclose(out) == 0;
}

// The zlib-only reader: maps the file, and inflates the zlib streams of
// each frame into a scratch buffer. The bytes inflated.
uint64_t InflateOnly(const std::string& path) {
  // Mapped with its pages read in at once: the cheapest way to have it all.
  int fd = open(path.c_str(), O_RDONLY);
  size_t size = fs::file_size(path);
  void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  close(fd);
  if (mapped == MAP_FAILED) std::abort();
  const uint8_t* data = static_cast<const uint8_t*>(mapped);
  z_stream zs{};
  inflateInit(&zs);
  static uint8_t scratch[1 << 16];
  uint64_t inflated = 0;
  for (size_t at = 0; at + 4 <= size;) {
    // Frame start, sequence line and the heading's two lines.
    size_t lines = at + 4;
    for (int line = 0; line < 3; ++line) {
      while (lines + 3 <= size && std::memcmp(data + lines, "\r\r\n", 3) != 0) ++lines;
      lines += 3;
    }
    at = lines;
    while (at + 2 <= size && (data[at] & 0x0F) == 8 && ((data[at] << 8) | data[at + 1]) % 31 == 0) {
      inflateReset(&zs);
      zs.next_in = const_cast<uint8_t*>(data + at);
      zs.avail_in = static_cast<uInt>(std::min<size_t>(size - at, 1u << 30));
      int rc = Z_OK;
      while (rc == Z_OK) {
        zs.next_out = scratch;
        zs.avail_out = sizeof scratch;
        rc = inflate(&zs, Z_NO_FLUSH);
        inflated += sizeof scratch - zs.avail_out;
      }
      at = size - zs.avail_in;
      if (rc != Z_STREAM_END) break;
    }
    const void* end = memmem(data + at, size - at, "\r\r\n\x03", 4);
    at = end == nullptr ? size : static_cast<size_t>(static_cast<const uint8_t*>(end) - data) + 4;
  }
  inflateEnd(&zs);
  munmap(mapped, size);
  return inflated;
}

struct Figure {
  std::vector<double> wall;
  long peakKilobytes = 0;
  bool failed = false;
};

Figure Convert(const std::string& input, const std::string& work, int iterations) {
  Figure figure;
  for (int i = 0; i < iterations; ++i) {
    std::string out = work + "/out";
    fs::remove_all(out);
    ChildRun run = RunChild({JX4_BINARY, "convert", "-q", "-j", "1", "-o", out, input}, work);
    figure.failed |= !run.ok;
    figure.wall.push_back(run.seconds);
    figure.peakKilobytes = std::max(figure.peakKilobytes, run.peakKilobytes);
    fs::remove_all(out);
  }
  return figure;
}

size_t Records(const std::string& path) {
  Bytes text = ReadFileBytes(path);
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Writes `count` frames of the stream one at a time into jx4's standard
// input, each once the record of the one before has arrived; the seconds
// from each write to its record.
std::vector<double> PipeLatencies(const std::string& feedPath, const std::string& work, size_t count) {
  std::vector<double> latencies;
  Bytes feed = ReadFileBytes(feedPath);
  std::string report = work + "/latency.jsonl";
  std::string out = work + "/latency";
  fs::remove_all(out);
  fs::remove(report);
  int ends[2];
  if (pipe(ends) != 0) return latencies;
  pid_t child = fork();
  if (child == 0) {
    dup2(ends[0], 0);
    close(ends[0]);
    close(ends[1]);
    execl(JX4_BINARY, "jx4", "convert", "-q", "-o", out.c_str(), "--report", report.c_str(), "-",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ends[0]);
  size_t at = 0;
  for (size_t i = 0; i < count && at < feed.size(); ++i) {
    const void* end = memmem(feed.data() + at, feed.size() - at, "\r\r\n\x03", 4);
    if (end == nullptr) break;
    size_t next = static_cast<size_t>(static_cast<const uint8_t*>(end) - feed.data()) + 4;
    auto started = Clock::now();
    if (write(ends[1], feed.data() + at, next - at) != static_cast<ssize_t>(next - at)) break;
    while (Records(report) < i + 1) {
      if (Clock::now() - started > std::chrono::seconds(10)) break;
      usleep(100);
    }
    latencies.push_back(std::chrono::duration<double>(Clock::now() - started).count());
    at = next;
    usleep(2000);
  }
  close(ends[1]);
  waitpid(child, nullptr, 0);
  fs::remove_all(out);
  return latencies;
}

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t at = static_cast<size_t>(share * static_cast<double>(values.size()));
  return values[std::min(values.size() - 1, at)];
}

}  // namespace

int main() {
  if (!HaveTestdata()) {
    std::printf("feed_convert: the real framed files are missing (%s); nothing measured\n",
                TestdataDir().c_str());
    return 0;
  }
  const int iterations = EnvNumber("NIMBREL_BENCH_ITERATIONS", 3);
  const size_t megabytes = static_cast<size_t>(EnvNumber("NIMBREL_FEED_MB", 1000));
  std::string work = (fs::exists("/dev/shm") ? std::string("/dev/shm")
                                             : fs::temp_directory_path().string()) +
                     "/nimbrel-feed-bench-" + std::to_string(getpid());
  fs::create_directories(work);
  std::string feed = work + "/feed", head = work + "/feed-100MB";
  std::vector<size_t> copyEnds;
  size_t frames = 0;
  auto started = Clock::now();
  if (!WriteFeed(feed, megabytes * 1000000, &copyEnds, &frames)) {
    std::fprintf(stderr, "could not write the stream\n");
    fs::remove_all(work);
    return 1;
  }
  // The first 100 MB, cut at a copy's end.
  size_t cut = *std::lower_bound(copyEnds.begin(), copyEnds.end(),
                                 std::min<size_t>(100000000, copyEnds.back()));
  fs::copy_file(feed, head);
  fs::resize_file(head, cut);
  std::printf("stream: %.1f MB, %zu frames (made in %.1f s); medians of %d runs\n",
              static_cast<double>(fs::file_size(feed)) / 1e6, frames,
              std::chrono::duration<double>(Clock::now() - started).count(), iterations);

  std::vector<double> inflating;
  uint64_t inflated = 0;
  for (int i = 0; i < iterations; ++i) {
    auto begin = Clock::now();
    inflated = InflateOnly(feed);
    inflating.push_back(std::chrono::duration<double>(Clock::now() - begin).count());
  }
  Figure whole = Convert(feed, work, iterations);
  Figure first = Convert(head, work, iterations);
  std::printf("  zlib-only reader (%.1f MB inflated)        %8.3f s\n", static_cast<double>(inflated) / 1e6,
              Median(inflating));
  std::printf("  jx4 convert, whole stream                   %8.3f s  peak %6.1f MB%s\n",
              Median(whole.wall), static_cast<double>(whole.peakKilobytes) / 1024.0,
              whole.failed ? "  FAILED" : "");
  std::printf("  jx4 convert, first %.0f MB                  %8.3f s  peak %6.1f MB%s\n",
              static_cast<double>(cut) / 1e6, Median(first.wall),
              static_cast<double>(first.peakKilobytes) / 1024.0, first.failed ? "  FAILED" : "");
  std::printf("ratios:\n");
  std::printf("  jx4 convert / zlib-only reader              %.2fx (target: at most 1.5x)\n",
              Median(whole.wall) / Median(inflating));
  std::printf("  peak memory, whole / first 100 MB           %.2fx (target: 1, independent of length)\n",
              static_cast<double>(whole.peakKilobytes) / static_cast<double>(first.peakKilobytes));

  std::vector<double> latencies = PipeLatencies(feed, work, 300);
  std::printf("per-product latency through a pipe (%zu products): median %.2f ms, 99th percentile %.2f ms "
              "(target: within 100 ms)\n",
              latencies.size(), 1000 * Percentile(latencies, 0.5), 1000 * Percentile(latencies, 0.99));
  fs::remove_all(work);
  return whole.failed || first.failed ? 1 : 0;
}
