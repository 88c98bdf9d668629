#include "decode/product_table.h"

#include <iterator>

namespace nimbrel {

namespace {

using F = ProductFamily;
using M = LevelMapping;

}  // namespace

// Gate ranges and cell sizes are the products' own: the packets' range scale
// is a display scale (N0R and N0Z both say 999 for 1 and 2 km gates).
const ProductInfo kProductTable[] = {
    {16, "N0R", "Base Reflectivity (1 km, 8 levels)", "dBZ", F::kReflectivity, M::kThresholds, 1.0, true},
    {17, "N0R", "Base Reflectivity (2 km, 8 levels)", "dBZ", F::kReflectivity, M::kThresholds, 2.0, true},
    {18, "N0R", "Base Reflectivity (4 km, 8 levels)", "dBZ", F::kReflectivity, M::kThresholds, 4.0, true},
    {19, "N0R", "Base Reflectivity", "dBZ", F::kReflectivity, M::kThresholds, 1.0, true},
    {20, "N0Z", "Base Reflectivity 248 nm", "dBZ", F::kReflectivity, M::kThresholds, 2.0, true},
    {21, "N0R", "Base Reflectivity (4 km)", "dBZ", F::kReflectivity, M::kThresholds, 4.0, true},
    {22, "N0V", "Base Velocity 32 nm (8 levels)", "kt", F::kVelocity, M::kThresholds, 0.25, true},
    {23, "N0V", "Base Velocity 62 nm (8 levels)", "kt", F::kVelocity, M::kThresholds, 0.5, true},
    {24, "N0V", "Base Velocity 124 nm (8 levels)", "kt", F::kVelocity, M::kThresholds, 1.0, true},
    {25, "N0W", "Base Velocity 32 nm", "kt", F::kVelocity, M::kThresholds, 0.25, true},
    {26, "N0V", "Base Velocity 62 nm", "kt", F::kVelocity, M::kThresholds, 0.5, true},
    {27, "N0V", "Base Velocity", "kt", F::kVelocity, M::kThresholds, 1.0, true},
    {28, "NSP", "Base Spectrum Width 32 nm", "kt", F::kSpectrumWidth, M::kThresholds, 0.25, true},
    {29, "NSP", "Base Spectrum Width 62 nm", "kt", F::kSpectrumWidth, M::kThresholds, 0.5, true},
    {30, "NSW", "Base Spectrum Width", "kt", F::kSpectrumWidth, M::kThresholds, 1.0, true},
    {31, "USP", "User Selectable Storm Total Precipitation", "in", F::kPrecipitation, M::kThresholds, 2.0, false},
    {32, "DHR", "Digital Hybrid Scan Reflectivity", "dBZ", F::kReflectivity, M::kLinear, 1.0, false},
    {33, "HSR", "Hybrid Scan Reflectivity", "dBZ", F::kReflectivity, M::kThresholds, 1.0, false},
    {34, "NC1", "Clutter Filter Control", "", F::kClutter, M::kLevelIsClass, 1.0, false},
    {35, "NCR", "Composite Reflectivity (1 km, 8 levels)", "dBZ", F::kReflectivity, M::kThresholds, 1.0, false},
    {36, "NCZ", "Composite Reflectivity (4 km, 8 levels)", "dBZ", F::kReflectivity, M::kThresholds, 4.0, false},
    {37, "NCR", "Composite Reflectivity", "dBZ", F::kReflectivity, M::kThresholds, 1.0, false},
    {38, "NCZ", "Composite Reflectivity 248 nm", "dBZ", F::kReflectivity, M::kThresholds, 4.0, false},
    {41, "NET", "Echo Tops", "kft", F::kEchoTops, M::kThresholds, 4.0, false},
    {48, "NVW", "VAD Wind Profile", "", F::kOther, M::kNone, 1.0, false},
    {55, "NSR", "Storm Relative Mean Radial Velocity (region)", "kt", F::kVelocity, M::kThresholds, 0.5, true},
    {56, "N0S", "Storm Relative Mean Radial Velocity", "kt", F::kVelocity, M::kThresholds, 1.0, true},
    {57, "NVL", "Vertically Integrated Liquid", "kg/m2", F::kVil, M::kThresholds, 4.0, false},
    {58, "NST", "Storm Tracking Information", "", F::kOther, M::kNone, 1.0, false},
    {59, "NHI", "Hail Index", "", F::kOther, M::kNone, 1.0, false},
    {60, "NME", "Mesocyclone", "", F::kOther, M::kNone, 1.0, false},
    {61, "NTV", "Tornado Vortex Signature", "", F::kOther, M::kNone, 1.0, false},
    {62, "NSS", "Storm Structure", "", F::kOther, M::kNone, 1.0, false},
    {63, "NLL", "Layer Composite Reflectivity (layer 1 average)", "dBZ", F::kReflectivity, M::kThresholds, 4.0, false},
    {64, "NML", "Layer Composite Reflectivity (layer 2 average)", "dBZ", F::kReflectivity, M::kThresholds, 4.0, false},
    {65, "NLL", "Layer Composite Reflectivity (layer 1 maximum)", "dBZ", F::kReflectivity, M::kThresholds, 4.0, false},
    {66, "NML", "Layer Composite Reflectivity (layer 2 maximum)", "dBZ", F::kReflectivity, M::kThresholds, 4.0, false},
    {67, "NLA", "Layer Composite Reflectivity (clutter removed)", "dBZ", F::kReflectivity, M::kThresholds, 4.0, false},
    {73, "UAM", "User Alert Message", "", F::kOther, M::kNone, 1.0, false},
    {74, "RCM", "Radar Coded Message", "", F::kOther, M::kNone, 1.0, false},
    {75, "FTM", "Free Text Message", "", F::kOther, M::kNone, 1.0, false},
    {78, "N1P", "One-Hour Precipitation", "in", F::kPrecipitation, M::kThresholds, 2.0, false},
    {79, "N3P", "Three-Hour Precipitation", "in", F::kPrecipitation, M::kThresholds, 2.0, false},
    {80, "NTP", "Storm Total Precipitation", "in", F::kPrecipitation, M::kThresholds, 2.0, false},
    // A 131 x 131 grid of quarter-LFM boxes, about 4 km at the radar's latitude.
    {81, "DPA", "Digital Precipitation Array", "dBA", F::kPrecipitationDba, M::kPrecipArray, 4.0, false},
    {82, "SPD", "Supplemental Precipitation Data", "", F::kOther, M::kNone, 1.0, false},
    {84, "NVW", "Velocity Azimuth Display", "", F::kOther, M::kNone, 1.0, false},
    {89, "NHL", "Layer Composite Reflectivity (layer 3 average)", "dBZ", F::kReflectivity, M::kThresholds, 4.0, false},
    {90, "NHL", "Layer Composite Reflectivity (layer 3 maximum)", "dBZ", F::kReflectivity, M::kThresholds, 4.0, false},
    {94, "N0Q", "Digital Base Reflectivity", "dBZ", F::kReflectivity, M::kLinear, 1.0, true},
    {99, "N0U", "Digital Base Velocity", "m/s", F::kVelocity, M::kLinearRangeFolded, 0.25, true},
    {134, "DVL", "Digital Vertically Integrated Liquid", "kg/m2", F::kVil, M::kVil, 1.0, false},
    {135, "EET", "Enhanced Echo Tops", "kft", F::kEchoTops, M::kEchoTops, 1.0, false},
    {138, "DSP", "Digital Storm Total Precipitation", "in", F::kPrecipitation, M::kLinearHundredths, 2.0, false},
    {141, "NMD", "Mesocyclone Detection", "", F::kOther, M::kNone, 1.0, false},
    {152, "RSL", "Radar Status Log", "", F::kOther, M::kNone, 1.0, false},
    {153, "N0B", "Super-Resolution Digital Base Reflectivity", "dBZ", F::kReflectivity, M::kLinear, 0.25, true},
    {154, "N0G", "Super-Resolution Digital Base Velocity", "m/s", F::kVelocity, M::kLinearRangeFolded, 0.25, true},
    {159, "N0X", "Digital Differential Reflectivity", "dB", F::kDifferentialReflectivity, M::kFloat, 0.25, true},
    {161, "N0C", "Digital Correlation Coefficient", "", F::kCorrelation, M::kFloat, 0.25, true},
    {163, "N0K", "Digital Specific Differential Phase", "deg/km", F::kSpecificPhase, M::kFloat, 0.25, true},
    {165, "N0H", "Digital Hydrometeor Classification", "", F::kHydroClass, M::kHydroClass, 0.25, true},
    {166, "N0M", "Melting Layer", "", F::kOther, M::kNone, 1.0, true},
    {169, "OHA", "One-Hour Accumulation", "in", F::kPrecipitation, M::kThresholds, 2.0, false},
    {170, "DAA", "Digital Accumulation Array", "in", F::kPrecipitation, M::kFloatHundredths, 0.25, false},
    {171, "PTA", "Storm Total Accumulation", "in", F::kPrecipitation, M::kThresholds, 2.0, false},
    {172, "DTA", "Digital Storm Total Accumulation", "in", F::kPrecipitation, M::kFloatHundredths, 0.25, false},
    {173, "DU3", "Digital User-Selectable Accumulation", "in", F::kPrecipitation, M::kFloatHundredths, 0.25, false},
    {174, "DOD", "Digital One-Hour Difference Accumulation", "in", F::kPrecipitationDifference, M::kFloatHundredths, 0.25, false},
    {175, "DSD", "Digital Storm Total Difference Accumulation", "in", F::kPrecipitationDifference, M::kFloatHundredths, 0.25, false},
    {176, "DPR", "Digital Instantaneous Precipitation Rate", "in/h", F::kPrecipitation, M::kNone, 0.25, false},
    {177, "HHC", "Hybrid Hydrometeor Classification", "", F::kHydroClass, M::kHydroClass, 0.25, false},
    {180, "TZ0", "TDWR Digital Base Reflectivity", "dBZ", F::kReflectivity, M::kLinear, 0.15, true},
    {181, "TR0", "TDWR Base Reflectivity", "dBZ", F::kReflectivity, M::kThresholds, 0.15, true},
    {182, "TV0", "TDWR Digital Base Velocity", "m/s", F::kVelocity, M::kLinearRangeFolded, 0.15, true},
    {186, "TZL", "TDWR Long Range Digital Base Reflectivity", "dBZ", F::kReflectivity, M::kLinear, 0.3, true},
};
static_assert(std::size(kProductTable) == kProductTableSize);

const ProductInfo* FindProductInfo(int code) {
  // Binary search: the table is sorted by code.
  int low = 0, high = kProductTableSize;
  while (low < high) {
    int middle = low + (high - low) / 2;
    if (kProductTable[middle].code < code) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low < kProductTableSize && kProductTable[low].code == code ? &kProductTable[low] : nullptr;
}

}  // namespace nimbrel
