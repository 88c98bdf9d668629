// One Level III product as the decoder gives it: what it is, when and where
// it was made, its data levels and what each level means, and its image as
// radials or as a raster grid.
//
// Invariants after a successful decode:
// - image == kRadial: azimuths and widths hold radialCount entries, levels
//   holds radialCount * gateCount entries, radial after radial (gate 0
//   nearest the radar); rows == columns == 0.
// - image == kRaster: levels holds rows * columns entries, row after row from
//   the north edge, each row west to east; the grid's centre is the radar;
//   radialCount == gateCount == 0.
// - image == kNone: levels is empty and noImageReason says why.
// - Every level is below kLevelCount; levelTable[level] tells what it means.
// - `packets` lists the packets of the symbology block in order (the first
//   4096 of them).
// A DecodedProduct may be reused: decoding into it again replaces everything,
// keeping the vectors' memory.
#ifndef NIMBREL_DECODE_DECODED_PRODUCT_H_
#define NIMBREL_DECODE_DECODED_PRODUCT_H_

#include <array>
#include <cstdint>
#include <vector>

#include "decode/product_table.h"

namespace nimbrel {

inline constexpr int kLevelCount = 256;

enum class ImageKind : uint8_t { kNone, kRadial, kRaster };

// What one data level stands for.
enum class LevelKind : uint8_t {
  kValue,           // `value` is a physical value in the product's units
  kBelowThreshold,  // below the product's threshold (TH, or a digital level 0)
  kNoData,          // no data (ND), blank, or a level the product does not use
  kRangeFolded,     // range folded (RF)
  kClass,           // `value` is a class code (categorical products)
};

struct LevelInfo {
  float value = 0;  // meaningful for kValue and kClass only
  LevelKind kind = LevelKind::kNoData;
  bool topped = false;  // echo tops: the echo reached the highest elevation scanned
  char label[11] = {};  // a 16-level product's legend text, e.g. ">0.50", "-10", "ND"
};

// A packet of the symbology block: its code, the layer it sits in, where it
// starts (in the message, inflated layout) and its size in bytes.
struct PacketInfo {
  uint16_t code = 0;
  uint16_t layer = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
};

// The kind of a packet by its code, e.g. "digital radials", "text"; "other"
// for a code not known. Never null.
const char* PacketKind(uint16_t code);

struct DecodedProduct {
  // Identity.
  int16_t productCode = 0;
  const ProductInfo* info = nullptr;  // null when the decoder does not know the code
  char category[4] = {};              // heading bytes 21-23, e.g. "N1Q"; empty without heading
  char station[4] = {};               // heading bytes 24-26, e.g. "BMX"; empty without heading
  uint16_t sourceId = 0;              // the message header's source id
  bool hasHeading = false;

  // Where and when. Times are seconds since 1970-01-01 UTC.
  double latitude = 0;   // degrees north
  double longitude = 0;  // degrees east
  int32_t heightFeet = 0;
  int64_t volumeTime = 0;
  int64_t generationTime = 0;
  uint16_t volumeCoveragePattern = 0;
  uint16_t operationalMode = 0;
  bool hasElevation = false;
  float elevationDegrees = 0;
  uint16_t elevationNumber = 0;

  // The 16 threshold halfwords and parameters 1-10 of the description block.
  std::array<uint16_t, 16> thresholds{};
  std::array<uint16_t, 10> parameters{};
  bool compressed = false;      // the symbology was bzip2-compressed
  uint32_t inflatedSize = 0;    // bytes behind the header once inflated

  // Data levels: their meaning, units and mapping.
  const char* units = "";
  LevelMapping mapping = LevelMapping::kNone;
  std::array<LevelInfo, kLevelCount> levelTable{};

  // The image.
  ImageKind image = ImageKind::kNone;
  const char* noImageReason = "";  // when image == kNone
  uint16_t imagePacketCode = 0;
  // Radials.
  int32_t radialCount = 0;
  int32_t gateCount = 0;
  double firstRangeKm = 0;   // range of gate 0's near edge
  double gateSpacingKm = 0;
  std::vector<float> azimuths;  // degrees clockwise from north, each radial's start
  std::vector<float> widths;    // degrees
  // Raster.
  int32_t rows = 0;
  int32_t columns = 0;
  double cellSizeKm = 0;
  // Both.
  std::vector<uint16_t> levels;

  std::vector<PacketInfo> packets;
};

// The physical value of a level: NaN unless the level is a value or a class.
float LevelValue(const DecodedProduct& product, uint16_t level);

// Every level as its physical value (NaN for no data, below threshold and
// range folded; class codes for categorical products), in `levels` order.
void PhysicalValues(const DecodedProduct& product, std::vector<float>* values);

}  // namespace nimbrel

#endif  // NIMBREL_DECODE_DECODED_PRODUCT_H_
