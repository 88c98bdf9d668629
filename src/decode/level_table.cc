#include "decode/level_table.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace nimbrel {

namespace {

// Names of the special codes of threshold halfwords, by code.
constexpr const char* kSpecialCodes[] = {"",   "TH", "ND", "RF", "BI", "GC", "IC", "GR",
                                         "WS", "DS", "RA", "HR", "BD", "HA", "UK"};

// Hydrometeor classes: level / 10 indexes this; "" marks an unused class.
constexpr const char* kHydroClasses[] = {"ND", "BI", "GC", "IC", "DS", "WS", "RA", "HR",
                                         "BD", "GR", "HA", "LH", "GH", "",   "UK"};

void SetLabel(LevelInfo* info, const char* text) {
  std::snprintf(info->label, sizeof info->label, "%s", text);
}

LevelInfo Flag(LevelKind kind, const char* label) {
  LevelInfo info;
  info.kind = kind;
  SetLabel(&info, label);
  return info;
}

// A value entry, or kNoData when the arithmetic gave no finite number.
LevelInfo Value(double value) {
  LevelInfo info;
  if (!std::isfinite(value) || std::fabs(value) > 3.0e38) return info;
  info.kind = LevelKind::kValue;
  info.value = static_cast<float>(value);
  return info;
}

LevelInfo Class(int code, const char* label) {
  LevelInfo info;
  info.kind = LevelKind::kClass;
  info.value = static_cast<float>(code);
  SetLabel(&info, label);
  return info;
}

void Fill(std::array<LevelInfo, kLevelCount>* table) { table->fill(LevelInfo{}); }

// Levels `first` onwards, `count` of them (clipped to the table), take
// minimum + (level - first) * increment.
void FillLinear(std::array<LevelInfo, kLevelCount>* table, int first, int count, double minimum,
                double increment) {
  int last = std::min(kLevelCount, first + std::max(count, 0));
  for (int level = first; level < last; ++level) {
    (*table)[level] = Value(minimum + (level - first) * increment);
  }
}

}  // namespace

float HalfwordFloat(uint16_t halfword) {
  int fraction = halfword & 0x3FF;
  int exponent = (halfword >> 10) & 0x1F;
  float value = exponent != 0 ? std::ldexp(1.0f + fraction / 1024.0f, exponent - 16)
                              : fraction / 512.0f;
  return (halfword & 0x8000) != 0 ? -value : value;
}

float HalfwordPairFloat(uint16_t high, uint16_t low) {
  return std::bit_cast<float>(static_cast<uint32_t>(high) << 16 | low);
}

LevelInfo DecodeThreshold(uint16_t halfword) {
  unsigned flags = halfword >> 8;
  unsigned low = halfword & 0xFF;
  if ((flags & 0x80) != 0) {
    if (low >= std::size(kSpecialCodes)) return Flag(LevelKind::kNoData, "");
    switch (low) {
      case 0: return Flag(LevelKind::kNoData, "");
      case 1: return Flag(LevelKind::kBelowThreshold, "TH");
      case 2: return Flag(LevelKind::kNoData, "ND");
      case 3: return Flag(LevelKind::kRangeFolded, "RF");
      default: return Class(static_cast<int>(low), kSpecialCodes[low]);
    }
  }
  double value = low;
  int decimals = 0;
  if ((flags & 0x40) != 0) {
    value *= 0.01, decimals = 2;
  } else if ((flags & 0x20) != 0) {
    value *= 0.05, decimals = 2;
  } else if ((flags & 0x10) != 0) {
    value *= 0.1, decimals = 1;
  }
  if ((flags & 0x01) != 0) value = -value;
  LevelInfo info = Value(value);
  const char* relation = (flags & 0x08) != 0 ? ">" : (flags & 0x04) != 0 ? "<" : "";
  const char* sign = (flags & 0x02) != 0 && value > 0 ? "+" : "";
  std::snprintf(info.label, sizeof info.label, "%s%s%.*f", relation, sign, decimals, value);
  return info;
}

void BuildLevelTable(LevelMapping mapping, const std::array<uint16_t, 16>& thr,
                     std::array<LevelInfo, kLevelCount>* table) {
  Fill(table);
  auto signedAt = [&](int i) { return static_cast<int16_t>(thr[i]); };
  switch (mapping) {
    case LevelMapping::kNone:
      return;
    case LevelMapping::kThresholds:
      for (int level = 0; level < 16; ++level) (*table)[level] = DecodeThreshold(thr[level]);
      return;
    case LevelMapping::kLinear:
    case LevelMapping::kLinearRangeFolded:
      (*table)[0] = Flag(LevelKind::kBelowThreshold, "TH");
      (*table)[1] = mapping == LevelMapping::kLinear ? Flag(LevelKind::kNoData, "ND")
                                                     : Flag(LevelKind::kRangeFolded, "RF");
      // Some products count levels 0 and 1 in their 256 levels: at most 254 values.
      FillLinear(table, 2, std::min<int>(thr[2], kLevelCount - 2), signedAt(0) * 0.1,
                 thr[1] * 0.1);
      return;
    case LevelMapping::kLinearHundredths:
      FillLinear(table, 0, std::min<int>(thr[2], kLevelCount), signedAt(0) * 0.01, thr[1] * 0.01);
      return;
    case LevelMapping::kPrecipArray:
      (*table)[0] = Flag(LevelKind::kBelowThreshold, "TH");
      FillLinear(table, 1, std::min<int>(thr[2], kLevelCount - 2), signedAt(0) * 0.1,
                 thr[1] * 0.001);
      return;
    case LevelMapping::kVil: {
      (*table)[0] = Flag(LevelKind::kBelowThreshold, "TH");
      (*table)[1] = Flag(LevelKind::kNoData, "ND");
      double linearScale = HalfwordFloat(thr[0]), linearOffset = HalfwordFloat(thr[1]);
      int logStart = std::clamp<int>(thr[2], 2, kLevelCount - 1);
      double logScale = HalfwordFloat(thr[3]), logOffset = HalfwordFloat(thr[4]);
      for (int level = 2; level < kLevelCount - 1; ++level) {  // 255 is reserved
        (*table)[level] = level < logStart ? Value((level - linearOffset) / linearScale)
                                           : Value(std::exp((level - logOffset) / logScale));
      }
      return;
    }
    case LevelMapping::kEchoTops: {
      (*table)[0] = Flag(LevelKind::kBelowThreshold, "TH");
      (*table)[1] = Flag(LevelKind::kNoData, "ND");
      for (int level = 2; level < kLevelCount; ++level) {
        LevelInfo info = Value((static_cast<int>(level & thr[0]) - signedAt(2)) /
                               static_cast<double>(thr[1]));
        info.topped = (level & thr[3]) != 0;
        (*table)[level] = info;
      }
      return;
    }
    case LevelMapping::kFloat:
    case LevelMapping::kFloatHundredths: {
      double scale = HalfwordPairFloat(thr[0], thr[1]);
      double offset = HalfwordPairFloat(thr[2], thr[3]);
      double unit = mapping == LevelMapping::kFloatHundredths ? 0.01 : 1.0;
      int maximum = std::min<int>(thr[5], kLevelCount - 1);
      int leading = thr[6], trailing = thr[7];
      for (int level = 0; level <= maximum; ++level) {
        if (level < leading) {
          (*table)[level] = level == 0   ? Flag(LevelKind::kBelowThreshold, "TH")
                            : level == 1 ? Flag(LevelKind::kRangeFolded, "RF")
                                         : Flag(LevelKind::kNoData, "ND");
        } else if (level <= maximum - trailing) {
          (*table)[level] = Value((level - offset) / scale * unit);
        }
      }
      return;
    }
    case LevelMapping::kHydroClass:
      (*table)[0] = Flag(LevelKind::kBelowThreshold, "ND");
      for (int level = 10; level < 150; ++level) {
        int code = level / 10;
        if (kHydroClasses[code][0] != '\0') (*table)[level] = Class(code, kHydroClasses[code]);
      }
      (*table)[150] = Flag(LevelKind::kRangeFolded, "RF");
      return;
    case LevelMapping::kLevelIsClass:
    case LevelMapping::kLevelIsValue:
      for (int level = 0; level < kLevelCount; ++level) {
        char text[8];
        std::snprintf(text, sizeof text, "%d", level);
        (*table)[level] = mapping == LevelMapping::kLevelIsClass ? Class(level, text)
                                                                 : Value(level);
      }
      return;
  }
}

}  // namespace nimbrel
