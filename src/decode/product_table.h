// What the decoder knows of each Level III product code: its name, how its
// data levels become physical values, the range of one gate or one raster
// cell, and whether parameter 3 of its description block is the elevation
// angle.
//
// Invariants: kProductTable is constant, sorted by code, codes unique; every
// row has a non-null name and units text (empty for unitless or categorical
// data); `cellKm` > 0 for rows whose mapping is not kNone. A product whose
// code is not in the table still decodes: its levels are then taken at face
// value (kLevelIsValue) and the range scale comes from its packet.
#ifndef NIMBREL_DECODE_PRODUCT_TABLE_H_
#define NIMBREL_DECODE_PRODUCT_TABLE_H_

#include <cstdint>

namespace nimbrel {

// How a product's data levels map to physical values.
enum class LevelMapping : uint8_t {
  kNone,               // no data levels: a graphic, tabular or text product
  kThresholds,         // 16 threshold halfwords, each a flagged value (16- and 8-level products)
  kLinear,             // minimum and increment in tenths, level count; level 2 is the minimum,
                       // 0 below threshold, 1 no data
  kLinearRangeFolded,  // the same, level 1 range folded (velocities)
  kLinearHundredths,   // minimum and increment in hundredths of an inch, level 0 the minimum
  kPrecipArray,        // minimum in tenths, increment in thousandths, level 1 the minimum
  kVil,                // a linear and a logarithmic piece with 16-bit floating point constants
  kEchoTops,           // value = ((level & mask) - offset) / scale; a mask bit marks topped echoes
  kFloat,              // value = (level - offset) / scale, both IEEE-754; leading and trailing flags
  kFloatHundredths,    // the same, giving hundredths of an inch: values are in inches
  kHydroClass,         // class = level / 10 (hydrometeor classes)
  kLevelIsClass,       // class = level
  kLevelIsValue,       // value = level (products the table does not know)
};

// The kind of quantity, for colour scales and legends.
enum class ProductFamily : uint8_t {
  kOther,
  kReflectivity,
  kVelocity,
  kSpectrumWidth,
  kDifferentialReflectivity,
  kCorrelation,
  kSpecificPhase,
  kHydroClass,
  kPrecipitation,
  kPrecipitationDifference,
  kPrecipitationDba,
  kEchoTops,
  kVil,
  kClutter,
};

struct ProductInfo {
  int16_t code;
  const char* abbreviation;  // the usual category code of its lowest elevation, e.g. "N0R"
  const char* name;
  const char* units;         // "dBZ", "kt", "m/s", "in", ... ; "" when unitless or classes
  ProductFamily family;
  LevelMapping mapping;
  double cellKm;             // range of one gate (radial products) or side of one cell (rasters)
  bool elevationBased;       // parameter 3 holds the elevation angle in tenths of a degree
};

inline constexpr int kProductTableSize = 76;
extern const ProductInfo kProductTable[kProductTableSize];

// The row of `code`, or null.
const ProductInfo* FindProductInfo(int code);

}  // namespace nimbrel

#endif  // NIMBREL_DECODE_PRODUCT_TABLE_H_
