// Decodes arbitrary bytes behind the .Z magic 1F 9D through LzwStream and
// through the plain reference decoder, with request sizes taken from the
// input's first byte, and checks: every count lies in 0..length, both agree
// on every count and every byte, and after a short count the next is 0.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "streams/lzw_stream.h"
#include "support/lzw_reference.h"

using namespace nimbrel;

namespace {

constexpr int64_t kMaxOutput = 256 << 10;  // stop early on a decompression bomb

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  std::vector<uint8_t> file{0x1F, 0x9D};
  file.insert(file.end(), data, data + size);

  // Both decoders live in storage reused from run to run: fresh pages for
  // their tables on every run would cost more than the decoding.
  alignas(LzwStream) static unsigned char streamStorage[sizeof(LzwStream)];
  alignas(LzwReference) static unsigned char referenceStorage[sizeof(LzwReference)];
  LzwStream* stream = new (streamStorage)
      LzwStream(std::make_unique<MemoryStream>("fuzz.Z", file.data(), file.size()));
  LzwReference& reference = *new (referenceStorage) LzwReference(file.data(), file.size());
  const int32_t sizes[] = {512, 1, 7, 4096, 65536, 20000, 3, 1000};
  uint8_t pick = size > 0 ? data[0] : 0;
  static uint8_t fast[65536], plain[65536];
  int64_t total = 0;
  bool ended = false;
  for (int call = 0; total < kMaxOutput; ++call) {
    int32_t length = sizes[(pick + call * (pick >> 5 | 1)) % 8];
    int32_t got = stream->Read(fast, length);
    int32_t expected = reference.Read(plain, length);
    if (got < 0 || got > length || got != expected) std::abort();
    if (std::memcmp(fast, plain, static_cast<size_t>(got)) != 0) std::abort();
    if (ended) {
      if (got != 0) std::abort();
      break;
    }
    ended = got < length;
    total += got;
  }
  stream->~LzwStream();
  reference.~LzwReference();
  return 0;
}
