// The colours of a product's data levels and the legend that explains them.
//
// Each family of products has its usual scale: reflectivity the familiar
// 5 dBZ steps (cyan and blues, greens, yellows to reds, magenta, white),
// velocity diverging greens (toward the radar) and reds (away), and
// sequential or categorical scales for the rest. Levels without a value
// (no data, below threshold) are transparent; range folded is purple.
//
// Invariants: LevelColors writes all kLevelCount entries; a legend has at
// most kMaxLegendEntries entries, each label zero-terminated. Constant
// tables only; nothing is allocated.
#ifndef NIMBREL_RENDER_COLOR_SCALE_H_
#define NIMBREL_RENDER_COLOR_SCALE_H_

#include <array>
#include <cstdint>

#include "decode/decoded_product.h"

namespace nimbrel {

struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 0;  // a == 0: transparent (nothing drawn)
};

inline constexpr int kMaxLegendEntries = 24;

struct LegendEntry {
  Rgba color;
  char label[12] = {};
};

struct Legend {
  int count = 0;
  std::array<LegendEntry, kMaxLegendEntries> entries;
};

// The colour of a physical value of a product of `family` (NaN: transparent).
Rgba ValueColor(ProductFamily family, const char* units, float value);

// The colour of each level of `product`.
void LevelColors(const DecodedProduct& product, std::array<Rgba, kLevelCount>* colors);

// The legend: the labelled levels of 16-level and categorical products, or
// steps of the scale over the values the product's levels can take.
void MakeLegend(const DecodedProduct& product, Legend* legend);

}  // namespace nimbrel

#endif  // NIMBREL_RENDER_COLOR_SCALE_H_
