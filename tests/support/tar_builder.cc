#include "support/tar_builder.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace nimbrel {

namespace {

constexpr int kBlock = 512;

std::string Octal(int64_t value, int digits) {
  char text[32];
  if (value < 0) {
    std::snprintf(text, sizeof text, "-%0*" PRIo64, digits - 1, static_cast<uint64_t>(-value));
  } else {
    std::snprintf(text, sizeof text, "%0*" PRIo64, digits, static_cast<uint64_t>(value));
  }
  return text;
}

// The checksum as tar writes it: six octal digits, a NUL and a blank.
std::string ChecksumField(int64_t sum) { return Octal(sum, 6) + std::string("\0 ", 2); }

}  // namespace

void SetTarField(std::vector<uint8_t>* header, int offset, int width, const std::string& text) {
  for (int i = 0; i < width; ++i) {
    (*header)[offset + i] = i < static_cast<int>(text.size()) ? static_cast<uint8_t>(text[i]) : 0;
  }
}

void SealTarHeader(std::vector<uint8_t>* header) {
  std::fill(header->begin() + 148, header->begin() + 156, ' ');
  uint32_t sum = 0;
  for (uint8_t byte : *header) sum += byte;
  SetTarField(header, 148, 8, ChecksumField(sum));
}

std::vector<uint8_t> MakeTarHeader(const TarMember& member) {
  std::vector<uint8_t> header(kBlock, 0);
  SetTarField(&header, 0, 100, member.name);
  SetTarField(&header, 100, 8, "0000644");
  SetTarField(&header, 108, 8, "0001750");
  SetTarField(&header, 116, 8, "0001750");
  SetTarField(&header, 124, 12,
              Octal(member.size.value_or(static_cast<int64_t>(member.data.size())), 11));
  SetTarField(&header, 136, 12, Octal(member.mtime, 11));
  header[156] = static_cast<uint8_t>(member.typeflag);
  SetTarField(&header, 257, 6, "ustar");
  SetTarField(&header, 263, 2, "00");
  SetTarField(&header, 265, 32, "user");
  SetTarField(&header, 297, 32, "user");
  SealTarHeader(&header);
  if (member.checksum) SetTarField(&header, 148, 8, ChecksumField(*member.checksum));
  return header;
}

void AppendTarBlocks(std::vector<uint8_t>* archive, const std::vector<uint8_t>& header,
                     const std::vector<uint8_t>& data) {
  archive->insert(archive->end(), header.begin(), header.end());
  archive->insert(archive->end(), data.begin(), data.end());
  archive->resize(archive->size() + (kBlock - data.size() % kBlock) % kBlock, 0);
}

void AppendTarMember(std::vector<uint8_t>* archive, const TarMember& member) {
  AppendTarBlocks(archive, MakeTarHeader(member), member.data);
}

void AppendTarEnd(std::vector<uint8_t>* archive, int zeroBlocks) {
  archive->resize(archive->size() + static_cast<size_t>(zeroBlocks) * kBlock, 0);
}

}  // namespace nimbrel
