#include "sources/tar_walker.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace nimbrel {

namespace {

constexpr int32_t kNameOffset = 0;
constexpr int32_t kNameSize = 100;
constexpr int32_t kNameBufferSize = 110;
constexpr int32_t kSizeOffset = 124;
constexpr int32_t kTimeOffset = 136;
constexpr int32_t kNumberWidth = 12;
constexpr int32_t kChecksumOffset = 148;
constexpr int32_t kChecksumWidth = 8;

// A member's buffer starts at this size (or the rounded size, if smaller)
// and doubles while data keeps arriving.
constexpr int32_t kFirstChunk = 64 * 1024;

constexpr int64_t kSaturated = int64_t{1} << 62;

bool IsSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsZeroBlock(const uint8_t* block) {
  for (int32_t i = 0; i < kTarBlockSize; ++i) {
    if (block[i] != 0) return false;
  }
  return true;
}

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

}  // namespace

bool ParseTarNumber(const uint8_t* block, int32_t offset, int32_t width, int64_t* value) {
  if (offset < 0 || offset >= kTarBlockSize || width <= 0) return false;
  int32_t at = offset;
  while (at < kTarBlockSize && IsSpace(block[at])) ++at;
  int32_t end = width < kTarBlockSize - at ? at + width : kTarBlockSize;
  bool negative = false;
  if (at < end && (block[at] == '+' || block[at] == '-')) {
    negative = block[at] == '-';
    ++at;
  }
  int64_t result = 0;
  int32_t digits = 0;
  for (; at < end && block[at] >= '0' && block[at] <= '7'; ++at, ++digits) {
    result = result < kSaturated / 8 ? result * 8 + (block[at] - '0') : kSaturated;
  }
  if (digits == 0) return false;
  *value = negative ? -result : result;
  return true;
}

int64_t TarHeaderSum(const uint8_t* block) {
  int64_t sum = 0;
  for (int32_t i = 0; i < kTarBlockSize; ++i) {
    bool inChecksum = i >= kChecksumOffset && i < kChecksumOffset + kChecksumWidth;
    sum += inChecksum ? ' ' : block[i];
  }
  return sum;
}

bool TarReadFile(ByteStream* stream, const char* name, int32_t size, TarMemberHandler handler) {
  if (size < 0 || size > kMaxTarMemberSize) return false;
  const int32_t rounded = (size + kTarBlockSize - 1) / kTarBlockSize * kTarBlockSize;

  std::unique_ptr<uint8_t, FreeDeleter> data;
  int32_t capacity = 0;
  int32_t filled = 0;
  while (filled < rounded) {
    if (filled == capacity) {
      int32_t step = capacity == 0 ? kFirstChunk : capacity;
      int32_t room = rounded - capacity;
      int32_t grown = capacity + (step < room ? step : room);
      void* moved = std::realloc(data.get(), static_cast<size_t>(grown));
      if (moved == nullptr) return false;
      data.release();
      data.reset(static_cast<uint8_t*>(moved));
      capacity = grown;
    }
    int32_t want = capacity - filled;
    int32_t got = stream->Read(data.get() + filled, want);
    if (got != want) {
      std::printf("\n\n*** TarReadFile: error reading file from tar\n");
      return false;
    }
    filled += got;
  }
  // A member of size 0 carries no blocks; nothing was allocated for it.
  static const uint8_t kEmpty[1] = {0};
  handler(name, data ? data.get() : kEmpty, size);
  return true;
}

void ProcessTar(const char* path, TarMemberHandler handler) {
  std::unique_ptr<ByteStream> stream = OpenByteStream(path);
  if (stream == nullptr) return;

  uint8_t block[kTarBlockSize];
  for (;;) {
    if (stream->Read(block, kTarBlockSize) != kTarBlockSize) return;
    if (IsZeroBlock(block)) return;

    int64_t checksum = 0;
    if (!ParseTarNumber(block, kChecksumOffset, kChecksumWidth, &checksum)) {
      std::printf("\n\n*** ProcessTar: error reading checksum! Aborting\n\n");
      return;
    }
    // The blanks stay in the block: a later number whose white space runs on
    // into this field sees blanks here, not the checksum's digits.
    std::memset(block + kChecksumOffset, ' ', kChecksumWidth);
    if (TarHeaderSum(block) != checksum) {
      std::printf("\n\n*** ProcessTar: checksum error! Aborting\n\n");
      return;
    }

    char name[kNameBufferSize] = {};
    for (int32_t i = 0; i < kNameSize && block[kNameOffset + i] != 0; ++i) {
      name[i] = static_cast<char>(block[kNameOffset + i]);
    }
    if (name[0] == '\0') return;

    int64_t size = 0;
    if (!ParseTarNumber(block, kSizeOffset, kNumberWidth, &size)) return;
    if (size < 0 || size > kMaxTarMemberSize) {
      std::printf("\n\n*** ProcessTar: member size out of range! Aborting\n\n");
      return;
    }
    if (size == 0) continue;

    int64_t modified = 0;
    if (!ParseTarNumber(block, kTimeOffset, kNumberWidth, &modified) || modified == 0) return;

    if (!TarReadFile(stream.get(), name, static_cast<int32_t>(size), handler)) return;
  }
}

}  // namespace nimbrel
