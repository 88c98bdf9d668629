#include "render/color_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace nimbrel {

namespace {

struct Stop {
  float value;
  uint8_t r, g, b;
};

// A colour scale: stops in increasing value. Stepped scales colour a value
// with the highest stop at or below it; the others interpolate. Values below
// the first stop (or, stepped, `clearBelow`) are transparent.
struct Scale {
  const Stop* stops;
  int count;
  bool stepped;
  float clearBelow;
};

constexpr Stop kReflectivity[] = {
    {-30, 40, 40, 48},   {-20, 60, 60, 70},   {-10, 85, 85, 95},   {0, 110, 110, 120},
    {5, 4, 233, 231},    {10, 1, 159, 244},   {15, 3, 0, 244},     {20, 2, 253, 2},
    {25, 1, 197, 1},     {30, 0, 142, 0},     {35, 253, 248, 2},   {40, 229, 188, 0},
    {45, 253, 149, 0},   {50, 253, 0, 0},     {55, 212, 0, 0},     {60, 188, 0, 0},
    {65, 248, 0, 253},   {70, 152, 84, 198},  {75, 253, 253, 253},
};
// Velocities in m/s: toward the radar (negative) green, away red.
constexpr Stop kVelocity[] = {
    {-35, 0, 255, 0},  {-20, 0, 200, 0},    {-10, 0, 140, 0},  {-2, 60, 110, 60}, {0, 128, 128, 128},
    {2, 110, 60, 60},  {10, 140, 0, 0},     {20, 200, 0, 0},   {35, 255, 40, 40},
};
// Spectrum width in m/s.
constexpr Stop kSpectrumWidth[] = {
    {0, 70, 70, 70},  {3, 150, 150, 150}, {6, 220, 220, 0},
    {9, 255, 140, 0}, {12, 255, 0, 0},    {15, 255, 0, 255},
};
constexpr Stop kDifferentialReflectivity[] = {
    {-4, 60, 0, 120},  {-1, 120, 120, 120}, {0, 160, 160, 160}, {0.5f, 0, 100, 255},
    {1, 0, 200, 255},  {1.5f, 0, 200, 80},  {2, 120, 230, 0},   {3, 255, 255, 0},
    {4, 255, 150, 0},  {5, 255, 0, 0},      {8, 255, 0, 255},
};
constexpr Stop kCorrelation[] = {
    {0.2f, 20, 20, 120},   {0.45f, 0, 0, 255},  {0.65f, 0, 180, 255}, {0.75f, 0, 255, 120},
    {0.85f, 140, 255, 0},  {0.9f, 255, 255, 0}, {0.95f, 255, 140, 0}, {0.97f, 255, 0, 0},
    {1.0f, 180, 0, 90},    {1.05f, 255, 200, 255},
};
constexpr Stop kSpecificPhase[] = {
    {-2, 100, 100, 100}, {0, 140, 140, 140}, {0.5f, 0, 120, 255}, {1, 0, 220, 220}, {2, 0, 220, 0},
    {3, 255, 255, 0},    {4, 255, 140, 0},   {5, 255, 0, 0},      {7, 255, 0, 255},
};
// Accumulations in inches.
constexpr Stop kPrecipitation[] = {
    {0.01f, 170, 230, 170}, {0.1f, 100, 200, 100}, {0.25f, 30, 150, 30}, {0.5f, 0, 100, 0},
    {0.75f, 255, 255, 100}, {1, 240, 200, 0},      {1.5f, 255, 140, 0},  {2, 255, 0, 0},
    {2.5f, 200, 0, 0},      {3, 150, 0, 0},        {4, 255, 0, 255},     {5, 180, 100, 220},
    {6, 255, 255, 255},     {8, 200, 200, 255},    {10, 150, 150, 255},  {15, 80, 80, 255},
};
constexpr Stop kPrecipitationDifference[] = {
    {-2, 120, 60, 0},     {-0.5f, 200, 150, 80}, {-0.05f, 230, 220, 190},
    {0.05f, 190, 230, 190}, {0.5f, 60, 180, 60}, {2, 0, 90, 0},
};
constexpr Stop kPrecipitationDba[] = {
    {-6, 170, 230, 170}, {0, 60, 180, 60}, {5, 255, 255, 0},    {10, 255, 140, 0},
    {15, 255, 0, 0},     {20, 255, 0, 255}, {26, 255, 255, 255},
};
// Echo tops in thousands of feet.
constexpr Stop kEchoTops[] = {
    {5, 118, 118, 118}, {10, 0, 224, 255}, {15, 0, 176, 255}, {20, 0, 144, 204}, {25, 50, 0, 150},
    {30, 0, 251, 144},  {35, 0, 187, 0},   {40, 0, 239, 0},   {45, 254, 191, 0}, {50, 255, 255, 0},
    {55, 174, 0, 0},    {60, 255, 0, 0},   {65, 255, 255, 255}, {70, 231, 0, 255},
};
// Vertically integrated liquid in kg/m2.
constexpr Stop kVil[] = {
    {1, 156, 156, 156}, {5, 118, 118, 118}, {10, 255, 170, 170}, {15, 238, 140, 140},
    {20, 201, 112, 112}, {25, 0, 251, 144}, {30, 0, 187, 0},     {35, 255, 255, 112},
    {40, 208, 208, 96}, {45, 255, 96, 96},  {50, 218, 0, 0},     {55, 174, 0, 0},
    {60, 0, 0, 255},    {65, 255, 255, 255}, {70, 231, 0, 255},
};
constexpr Stop kGrey[] = {{0, 30, 30, 30}, {255, 235, 235, 235}};

// Hydrometeor classes by code (1 BI ... 12 GH, 14 UK); other products' classes cycle.
constexpr Rgba kClassColors[] = {
    {0, 0, 0, 0},         {156, 156, 156, 255}, {118, 118, 118, 255}, {255, 176, 176, 255},
    {0, 255, 255, 255},   {0, 144, 255, 255},   {0, 251, 144, 255},   {0, 187, 0, 255},
    {208, 208, 96, 255},  {210, 132, 132, 255}, {255, 0, 0, 255},     {160, 0, 0, 255},
    {255, 255, 0, 255},   {231, 0, 255, 255},   {255, 255, 255, 255}, {0, 90, 200, 255},
};
constexpr Rgba kRangeFolded = {119, 0, 125, 255};

#define SCALE(stops, stepped, clearBelow) \
  Scale { stops, static_cast<int>(std::size(stops)), stepped, clearBelow }

Scale ScaleOf(ProductFamily family) {
  switch (family) {
    case ProductFamily::kReflectivity: return SCALE(kReflectivity, true, -30);
    case ProductFamily::kVelocity: return SCALE(kVelocity, false, -1e30f);
    case ProductFamily::kSpectrumWidth: return SCALE(kSpectrumWidth, false, -1e30f);
    case ProductFamily::kDifferentialReflectivity: return SCALE(kDifferentialReflectivity, false, -1e30f);
    case ProductFamily::kCorrelation: return SCALE(kCorrelation, false, -1e30f);
    case ProductFamily::kSpecificPhase: return SCALE(kSpecificPhase, false, -1e30f);
    case ProductFamily::kPrecipitation: return SCALE(kPrecipitation, true, 0.01f);
    case ProductFamily::kPrecipitationDifference: return SCALE(kPrecipitationDifference, false, -1e30f);
    case ProductFamily::kPrecipitationDba: return SCALE(kPrecipitationDba, false, -1e30f);
    case ProductFamily::kEchoTops: return SCALE(kEchoTops, true, 5);
    case ProductFamily::kVil: return SCALE(kVil, true, 1);
    default: return SCALE(kGrey, false, -1e30f);
  }
}

#undef SCALE

// Values in the scale's unit: velocities and widths are scaled in m/s.
float InScaleUnits(ProductFamily family, const char* units, float value) {
  bool knots = std::strcmp(units, "kt") == 0;
  if (knots && (family == ProductFamily::kVelocity || family == ProductFamily::kSpectrumWidth)) {
    return value * 0.514444f;
  }
  return value;
}

Rgba Opaque(uint8_t r, uint8_t g, uint8_t b) { return Rgba{r, g, b, 255}; }

Rgba ClassColor(float code) {
  int index = static_cast<int>(code);
  if (index <= 0) return {};
  return kClassColors[1 + (index - 1) % (static_cast<int>(std::size(kClassColors)) - 1)];
}

bool IsCategorical(const DecodedProduct& product) {
  return product.mapping == LevelMapping::kHydroClass || product.mapping == LevelMapping::kLevelIsClass;
}

}  // namespace

Rgba ValueColor(ProductFamily family, const char* units, float value) {
  if (std::isnan(value)) return {};
  Scale scale = ScaleOf(family);
  float v = InScaleUnits(family, units, value);
  if (family == ProductFamily::kPrecipitationDifference && std::fabs(v) < 0.005f) return {};
  if (scale.stepped) {
    if (v < scale.clearBelow || v < scale.stops[0].value) return {};
    int i = scale.count - 1;
    while (i > 0 && scale.stops[i].value > v) --i;
    return Opaque(scale.stops[i].r, scale.stops[i].g, scale.stops[i].b);
  }
  if (v <= scale.stops[0].value) return Opaque(scale.stops[0].r, scale.stops[0].g, scale.stops[0].b);
  for (int i = 1; i < scale.count; ++i) {
    const Stop& high = scale.stops[i];
    if (v <= high.value) {
      const Stop& low = scale.stops[i - 1];
      float t = (v - low.value) / (high.value - low.value);
      auto mix = [t](uint8_t a, uint8_t b) { return static_cast<uint8_t>(std::lround(a + (b - a) * t)); };
      return Opaque(mix(low.r, high.r), mix(low.g, high.g), mix(low.b, high.b));
    }
  }
  const Stop& last = scale.stops[scale.count - 1];
  return Opaque(last.r, last.g, last.b);
}

void LevelColors(const DecodedProduct& product, std::array<Rgba, kLevelCount>* colors) {
  ProductFamily family = product.info != nullptr ? product.info->family : ProductFamily::kOther;
  for (int level = 0; level < kLevelCount; ++level) {
    const LevelInfo& info = product.levelTable[static_cast<size_t>(level)];
    Rgba color;
    if (info.kind == LevelKind::kValue) {
      color = ValueColor(family, product.units, info.value);
    } else if (info.kind == LevelKind::kClass) {
      color = ClassColor(info.value);
    } else if (info.kind == LevelKind::kRangeFolded) {
      color = kRangeFolded;
    }
    (*colors)[static_cast<size_t>(level)] = color;
  }
}

void MakeLegend(const DecodedProduct& product, Legend* legend) {
  legend->count = 0;
  std::array<Rgba, kLevelCount> colors;
  LevelColors(product, &colors);
  auto add = [legend](Rgba color, const char* label) {
    if (legend->count == kMaxLegendEntries || color.a == 0) return;
    LegendEntry& entry = legend->entries[static_cast<size_t>(legend->count++)];
    entry.color = color;
    std::snprintf(entry.label, sizeof entry.label, "%.11s", label);
  };
  bool rangeFolded = false;
  for (const LevelInfo& info : product.levelTable) rangeFolded |= info.kind == LevelKind::kRangeFolded;
  if (product.mapping == LevelMapping::kThresholds || IsCategorical(product)) {
    float lastClass = -1;
    for (int level = 0; level < kLevelCount; ++level) {
      const LevelInfo& info = product.levelTable[static_cast<size_t>(level)];
      if (info.kind == LevelKind::kRangeFolded || info.label[0] == '\0') continue;
      if (info.kind == LevelKind::kClass && info.value == lastClass) continue;  // one entry a class
      if (info.kind == LevelKind::kClass) lastClass = info.value;
      add(colors[static_cast<size_t>(level)], info.label);
    }
  } else {
    // Steps of the scale over the range of values the levels take.
    ProductFamily family = product.info != nullptr ? product.info->family : ProductFamily::kOther;
    float low = INFINITY, high = -INFINITY;
    for (const LevelInfo& info : product.levelTable) {
      if (info.kind != LevelKind::kValue) continue;
      low = std::min(low, info.value);
      high = std::max(high, info.value);
    }
    Scale scale = ScaleOf(family);
    if (scale.stepped) {  // the scale's own steps over the product's values
      for (int i = 0; i < scale.count; ++i) {
        const Stop& stop = scale.stops[i];
        bool covered = stop.value <= high && (i + 1 == scale.count || scale.stops[i + 1].value > low);
        if (!covered || stop.value < scale.clearBelow) continue;
        char label[24];
        std::snprintf(label, sizeof label, "%g", static_cast<double>(stop.value));
        add(Opaque(stop.r, stop.g, stop.b), label);
      }
    } else if (low <= high) {
      constexpr int kSteps = 12;
      for (int i = 0; i < kSteps; ++i) {
        float value = low + (high - low) * static_cast<float>(i) / (kSteps - 1);
        char label[24];
        std::snprintf(label, sizeof label, std::fabs(high - low) < 5 ? "%.2f" : "%.0f", value);
        add(ValueColor(family, product.units, value), label);
      }
    }
  }
  if (rangeFolded) add(kRangeFolded, "RF");
}

}  // namespace nimbrel
