#include "sources/tar_format.h"

#include <cstring>

namespace nimbrel {

namespace {

constexpr int64_t kSaturated = int64_t{1} << 62;

bool IsSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

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
    bool inChecksum = i >= kTarChecksumOffset && i < kTarChecksumOffset + kTarChecksumWidth;
    sum += inChecksum ? ' ' : block[i];
  }
  return sum;
}

bool LooksLikeTar(const uint8_t* head, size_t size) {
  if (size < static_cast<size_t>(kTarBlockSize) || head[0] == 0) return false;
  if (std::memcmp(head + kTarMagicOffset, kTarMagic, sizeof kTarMagic - 1) == 0) return true;
  int64_t checksum = 0;
  return ParseTarNumber(head, kTarChecksumOffset, kTarChecksumWidth, &checksum) &&
         TarHeaderSum(head) == checksum;
}

}  // namespace nimbrel
