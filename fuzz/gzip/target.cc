// Feeds arbitrary bytes, as a file, to the gzip stream (built directly, so
// every input reaches the decoder whatever its first bytes) and checks the
// stream's contract: counts within the request, a short count ends the
// stream for good, and reading in small pieces gives the same bytes as
// reading in large ones.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/input_file.h"
#include "streams/gzip_stream.h"

using namespace nimbrel;

namespace {

// Deflate expands at most about 1000 to 1; this bounds the work per input.
constexpr size_t kOutputLimit = 8u << 20;

const std::string& InputPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() /
       ("nimbrel-fuzz-gzip-" + std::to_string(std::random_device{}()) + ".gz"))
          .string();
  return path;
}

struct Output {
  std::vector<uint8_t> bytes;
  bool ended = false;  // false when cut at the limit
};

Output ReadAll(const char* path, int32_t piece) {
  int32_t fd = OpenInputFile(path);
  if (fd < 0) std::abort();
  auto stream = std::make_unique<GzipStream>(std::make_unique<FileStream>(path, fd));
  Output out;
  std::vector<uint8_t> buffer(static_cast<size_t>(piece));
  while (!out.ended && out.bytes.size() < kOutputLimit) {
    int32_t got = stream->Read(buffer.data(), piece);
    if (got < 0 || got > piece) std::abort();
    out.bytes.insert(out.bytes.end(), buffer.begin(), buffer.begin() + got);
    out.ended = got < piece;
  }
  if (out.ended && stream->Read(buffer.data(), piece) != 0) std::abort();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = InputPath().c_str();
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  Output large = ReadAll(path, 1 << 16);
  Output small = ReadAll(path, 61 + static_cast<int32_t>(size % 977));
  if (large.ended && small.ended && large.bytes.size() != small.bytes.size()) std::abort();
  size_t common = std::min(large.bytes.size(), small.bytes.size());
  if (!std::equal(large.bytes.begin(), large.bytes.begin() + common, small.bytes.begin())) {
    std::abort();
  }
  std::remove(path);
  return 0;
}
