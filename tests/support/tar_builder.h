// Hand-built tar archives for tests, benchmarks and fuzz seeds: headers with
// any name, size, modification time and type flag, an optional wrong
// checksum, and members padded to whole 512-byte blocks.
#ifndef NIMBREL_TESTS_SUPPORT_TAR_BUILDER_H_
#define NIMBREL_TESTS_SUPPORT_TAR_BUILDER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nimbrel {

struct TarMember {
  std::string name;             // the first 100 bytes go into the header
  std::vector<uint8_t> data;    // written after the header, padded
  std::optional<int64_t> size;  // the header's size; default data.size()
  int64_t mtime = 1120392192;   // 2005-07-03
  char typeflag = '0';
  std::optional<int64_t> checksum;  // the header's checksum; default the true sum
};

// A 512-byte ustar header: numbers as zero-padded octal, NUL-terminated
// (negative or too large values are written as they come, cut to the field).
std::vector<uint8_t> MakeTarHeader(const TarMember& member);

// Writes `text` into the field at `offset`, `width` bytes, NUL-padded.
void SetTarField(std::vector<uint8_t>* header, int offset, int width, const std::string& text);

// Recomputes the checksum field ("%06o", NUL, blank) of a 512-byte header.
void SealTarHeader(std::vector<uint8_t>* header);

// Appends the member's header and its data padded to a multiple of 512.
void AppendTarMember(std::vector<uint8_t>* archive, const TarMember& member);

// Appends `header` as it stands, then `data` padded to a multiple of 512.
void AppendTarBlocks(std::vector<uint8_t>* archive, const std::vector<uint8_t>& header,
                     const std::vector<uint8_t>& data);

// Appends the end-of-archive zero blocks.
void AppendTarEnd(std::vector<uint8_t>* archive, int zeroBlocks = 2);

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_TAR_BUILDER_H_
