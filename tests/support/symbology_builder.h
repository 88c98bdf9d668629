// Builds the symbology of Level III products for tests, benchmarks and fuzz
// seeds: image packets (run-length and digital radials, run-length raster
// rows, the precipitation array), a text packet, the symbology block that
// holds them in layers, and whole products around such a block, with the
// description block's thresholds and parameters set and the symbology
// bzip2-compressed when asked.
#ifndef NIMBREL_TESTS_SUPPORT_SYMBOLOGY_BUILDER_H_
#define NIMBREL_TESTS_SUPPORT_SYMBOLOGY_BUILDER_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/product_builder.h"

namespace nimbrel {

using Bytes = std::vector<uint8_t>;

struct BuiltRadial {
  float azimuth = 0;
  float width = 1;
  std::vector<uint8_t> levels;  // one per gate (0-15 for run-length radials)
};

// Radials of `gates` gates, each radial's levels as given (shorter ones end
// early). 0xAF1F: run-length (runs of at most 15); 16: one byte per gate.
Bytes RunLengthRadialPacket(int gates, const std::vector<BuiltRadial>& radials, int firstBin = 0);
Bytes DigitalRadialPacket(int gates, const std::vector<BuiltRadial>& radials, int firstBin = 0);

// Raster rows (levels 0-15) in packet 0xBA07 or 0xBA0F, run-length encoded.
Bytes RasterPacket(uint16_t code, const std::vector<std::vector<uint8_t>>& rows, int xScale = 1);

// The precipitation array (packet 17): rows of levels 0-255 as (run, level) pairs.
Bytes PrecipArrayPacket(const std::vector<std::vector<uint8_t>>& rows);

// A text packet (packet 1) at i = j = 0.
Bytes TextPacket(const std::string& text);

// The symbology block: divider, id 1, length, layer count, then each layer
// (divider, length) with its packets back to back.
Bytes SymbologyBlock(const std::vector<std::vector<Bytes>>& layers);

// The whole random radials of a product: `count` radials of `gates` gates,
// starting at `firstAzimuth`, levels below `levels`.
std::vector<BuiltRadial> MakeRadials(int count, int gates, int levels, float firstAzimuth,
                                     uint32_t seed);

struct ImageProductFields {
  ProductSpec fields;                  // heading and header; bodySize is ignored
  std::array<uint16_t, 16> thresholds{};
  std::array<uint16_t, 10> parameters{};  // parameters 1-10; 8-10 are set when compressing
  bool compress = false;               // bzip2 the symbology (digital products)
};

// The product: `made`'s header with `symbology` as its body (or the bzip2 of it).
Bytes BuildImageProduct(const ImageProductFields& made, const Bytes& symbology);

// Big-endian stores into a built image.
void StoreBig16(Bytes& image, size_t at, uint16_t value);
void StoreBig32(Bytes& image, size_t at, uint32_t value);

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_SYMBOLOGY_BUILDER_H_
