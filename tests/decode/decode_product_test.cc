#include "decode/decode_product.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "decode/level_table.h"
#include "products/framed_product.h"
#include "support/symbology_builder.h"
#include "support/test_env.h"

namespace nimbrel {
namespace {

constexpr size_t kMessage = 30;  // the message starts behind the heading
constexpr size_t kPacket = kMessage + 136;  // the first packet of a one-layer symbology block

// N0R-style thresholds: ND, then 5 to 75 dBZ in steps of 5.
std::array<uint16_t, 16> ReflectivityThresholds() {
  std::array<uint16_t, 16> t{};
  t[0] = 0x8002;
  for (int i = 1; i < 16; ++i) t[static_cast<size_t>(i)] = static_cast<uint16_t>(5 * i);
  return t;
}

ImageProductFields Fields(int16_t code, const char* category, std::array<uint16_t, 16> thresholds,
                      bool compress = false) {
  ImageProductFields made;
  made.fields.category = category;
  made.fields.messageCode = code;
  made.thresholds = thresholds;
  made.compress = compress;
  made.parameters[2] = 5;  // 0.5 degrees
  return made;
}

Bytes SmallRunLengthProduct() {
  return BuildImageProduct(Fields(19, "N0R", ReflectivityThresholds()),
                           SymbologyBlock({{RunLengthRadialPacket(20, MakeRadials(4, 20, 16, 0, 1))}}));
}

Bytes SmallDigitalProduct(bool compress) {
  return BuildImageProduct(Fields(94, "N0Q", {0xFEC0, 5, 254}, compress),
                           SymbologyBlock({{DigitalRadialPacket(21, MakeRadials(4, 21, 256, 0, 2))}}));
}

Bytes SmallUncompressedDigitalProduct() { return SmallDigitalProduct(false); }

Bytes SmallRasterProduct() {
  std::vector<std::vector<uint8_t>> rows(6, std::vector<uint8_t>(6, 3));
  return BuildImageProduct(Fields(37, "NCR", ReflectivityThresholds()),
                           SymbologyBlock({{RasterPacket(0xBA07, rows)}}));
}

DecodeResult Decode(const Bytes& image, DecodedProduct* out) {
  // An exact-size copy, so that a read past the image is caught by ASan.
  Bytes copy(image);
  return DecodeProduct(copy.data(), copy.size(), out);
}

// ---------------------------------------------------------------------------
// Level tables.

TEST(DecodeLevels, ThresholdHalfwords) {
  struct Case {
    uint16_t halfword;
    LevelKind kind;
    float value;
    const char* label;
  } cases[] = {
      {0x8002, LevelKind::kNoData, 0, "ND"},
      {0x8003, LevelKind::kRangeFolded, 0, "RF"},
      {0x8001, LevelKind::kBelowThreshold, 0, "TH"},
      {0x8000, LevelKind::kNoData, 0, ""},
      {0x0005, LevelKind::kValue, 5, "5"},
      {0x0140, LevelKind::kValue, -64, "-64"},    // bit 8: negative
      {0x020A, LevelKind::kValue, 10, "+10"},     // bit 9: plus
      {0x2800, LevelKind::kValue, 0, ">0.00"},    // bit 13: 1/20, bit 11: greater than
      {0x200A, LevelKind::kValue, 0.5f, "0.50"},
      {0x20A0, LevelKind::kValue, 8, "8.00"},
      {0x1003, LevelKind::kValue, 0.3f, "0.3"},   // bit 12: 1/10
      {0x1800, LevelKind::kValue, 0, ">0.0"},
      {0x4019, LevelKind::kValue, 0.25f, "0.25"}, // bit 14: 1/100
      {0x0405, LevelKind::kValue, 5, "<5"},       // bit 10: less than
      {0x8004, LevelKind::kClass, 4, "BI"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.halfword);
    LevelInfo info = DecodeThreshold(c.halfword);
    EXPECT_EQ(info.kind, c.kind);
    if (c.kind == LevelKind::kValue || c.kind == LevelKind::kClass) {
      EXPECT_FLOAT_EQ(info.value, c.value);
    }
    EXPECT_STREQ(info.label, c.label);
  }
}

TEST(DecodeLevels, MappingsGiveTheProductsValues) {
  struct Case {
    const char* name;
    LevelMapping mapping;
    std::array<uint16_t, 16> thresholds;
    int level;
    LevelKind kind;
    float value;
  } cases[] = {
      {"digital reflectivity minimum", LevelMapping::kLinear, {0xFEC0, 5, 254}, 2, LevelKind::kValue, -32},
      {"digital reflectivity", LevelMapping::kLinear, {0xFEC0, 5, 254}, 100, LevelKind::kValue, 17},
      {"digital reflectivity level 0", LevelMapping::kLinear, {0xFEC0, 5, 254}, 0, LevelKind::kBelowThreshold, 0},
      {"digital reflectivity level 1", LevelMapping::kLinear, {0xFEC0, 5, 254}, 1, LevelKind::kNoData, 0},
      {"256 levels counted with 0 and 1", LevelMapping::kLinear, {0xFEC0, 5, 256}, 255, LevelKind::kValue, 94.5f},
      {"velocity range folded", LevelMapping::kLinearRangeFolded, {0xFD85, 5, 254}, 1, LevelKind::kRangeFolded, 0},
      {"velocity", LevelMapping::kLinearRangeFolded, {0xFD85, 5, 254}, 129, LevelKind::kValue, 0},
      {"storm total hundredths", LevelMapping::kLinearHundredths, {0, 1, 256}, 181, LevelKind::kValue, 1.81f},
      {"precipitation array minimum", LevelMapping::kPrecipArray, {0xFFC4, 125, 256}, 1, LevelKind::kValue, -6},
      {"precipitation array", LevelMapping::kPrecipArray, {0xFFC4, 125, 256}, 9, LevelKind::kValue, -5},
      {"precipitation array 255", LevelMapping::kPrecipArray, {0xFFC4, 125, 256}, 255, LevelKind::kNoData, 0},
      {"correlation", LevelMapping::kFloat, {0x4396, 0, 0xC272, 0, 0, 255, 2}, 240, LevelKind::kValue, 1.0016667f},
      {"correlation range folded", LevelMapping::kFloat, {0x4396, 0, 0xC272, 0, 0, 255, 2}, 1, LevelKind::kRangeFolded, 0},
      {"differential reflectivity", LevelMapping::kFloat, {0x4180, 0, 0x4300, 0, 0, 255, 2}, 144, LevelKind::kValue, 1},
      {"specific phase above the maximum", LevelMapping::kFloat, {0x41A0, 0, 0x422C, 0, 0, 243, 2}, 250, LevelKind::kNoData, 0},
      {"accumulation hundredths", LevelMapping::kFloatHundredths, {0x3F00, 0, 0, 0, 0, 255, 1}, 185, LevelKind::kValue, 3.7f},
      {"accumulation level 0", LevelMapping::kFloatHundredths, {0x3F00, 0, 0, 0, 0, 255, 1}, 0, LevelKind::kBelowThreshold, 0},
      {"difference accumulation", LevelMapping::kFloatHundredths, {0x40CC, 0x389A, 0x4300, 0, 0, 255, 1}, 100, LevelKind::kValue, -0.0438871f},
      {"VIL linear piece", LevelMapping::kVil, {0x59AB, 0x4400, 20, 0x54DC, 0x593E}, 11, LevelKind::kValue, 0.0992419f},
      {"VIL log piece", LevelMapping::kVil, {0x59AB, 0x4400, 20, 0x54DC, 0x593E}, 254, LevelKind::kValue, 79.53568f},
      {"VIL reserved 255", LevelMapping::kVil, {0x59AB, 0x4400, 20, 0x54DC, 0x593E}, 255, LevelKind::kNoData, 0},
      {"echo tops", LevelMapping::kEchoTops, {0x7F, 1, 2, 0x80}, 32, LevelKind::kValue, 30},
      {"echo tops topped", LevelMapping::kEchoTops, {0x7F, 1, 2, 0x80}, 160, LevelKind::kValue, 30},
      {"hydrometeor class", LevelMapping::kHydroClass, {}, 60, LevelKind::kClass, 6},
      {"hydrometeor unknown", LevelMapping::kHydroClass, {}, 140, LevelKind::kClass, 14},
      {"hydrometeor unused class", LevelMapping::kHydroClass, {}, 130, LevelKind::kNoData, 0},
      {"hydrometeor range folded", LevelMapping::kHydroClass, {}, 150, LevelKind::kRangeFolded, 0},
      {"zero scale gives no value", LevelMapping::kFloat, {0, 0, 0, 0, 0, 255, 0}, 10, LevelKind::kNoData, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::array<LevelInfo, kLevelCount> table;
    BuildLevelTable(c.mapping, c.thresholds, &table);
    const LevelInfo& info = table[static_cast<size_t>(c.level)];
    EXPECT_EQ(info.kind, c.kind);
    if (c.kind == LevelKind::kValue || c.kind == LevelKind::kClass) {
      EXPECT_NEAR(info.value, c.value, 1e-4 * std::max(1.0f, std::fabs(c.value)));
    }
    for (const LevelInfo& entry : table) {
      if (entry.kind == LevelKind::kValue) {
        EXPECT_TRUE(std::isfinite(entry.value));
      }
    }
  }
  std::array<LevelInfo, kLevelCount> tops;
  BuildLevelTable(LevelMapping::kEchoTops, {0x7F, 1, 2, 0x80}, &tops);
  EXPECT_FALSE(tops[32].topped);
  EXPECT_TRUE(tops[160].topped);
}

TEST(DecodeLevels, HalfwordFloats) {
  EXPECT_FLOAT_EQ(HalfwordFloat(0x4400), 2.0f);
  EXPECT_FLOAT_EQ(HalfwordFloat(0x59AB), 90.6875f);  // 2^6 * (1 + 427/1024)
  EXPECT_FLOAT_EQ(HalfwordFloat(0xC400), -2.0f);
  EXPECT_FLOAT_EQ(HalfwordFloat(0x0100), 0.5f);  // exponent 0: fraction / 512
  EXPECT_FLOAT_EQ(HalfwordPairFloat(0x4396, 0x0000), 300.0f);
}

TEST(DecodeProductTable, SortedByCodeWithEveryFieldSet) {
  for (int i = 0; i < kProductTableSize; ++i) {
    const ProductInfo& row = kProductTable[i];
    if (i > 0) {
      EXPECT_LT(kProductTable[i - 1].code, row.code);
    }
    EXPECT_NE(row.name, nullptr);
    EXPECT_NE(row.units, nullptr);
    EXPECT_GT(row.cellKm, 0);
    EXPECT_EQ(FindProductInfo(row.code), &row);
  }
  EXPECT_EQ(FindProductInfo(0), nullptr);
  EXPECT_EQ(FindProductInfo(9999), nullptr);
}

// ---------------------------------------------------------------------------
// Built products.

TEST(DecodeProduct, BuiltImagesOfEveryPacket) {
  std::vector<BuiltRadial> radials = MakeRadials(8, 30, 16, 10.5f, 3);
  std::vector<BuiltRadial> digital = MakeRadials(8, 31, 256, 0.25f, 4);
  std::vector<std::vector<uint8_t>> raster(5, std::vector<uint8_t>(7, 0));
  for (size_t r = 0; r < raster.size(); ++r) {
    for (size_t c = 0; c < 7; ++c) raster[r][c] = static_cast<uint8_t>((r + c) % 16);
  }
  std::vector<std::vector<uint8_t>> array(4, std::vector<uint8_t>(9, 0));
  for (size_t r = 0; r < array.size(); ++r) {
    for (size_t c = 0; c < 9; ++c) array[r][c] = static_cast<uint8_t>(r * 60 + c);
  }
  struct Case {
    const char* name;
    Bytes image;
    ImageKind kind;
    uint16_t packet;
    int radialsOrRows, gatesOrColumns;
    double spacing;
  } cases[] = {
      {"run-length radials", BuildImageProduct(Fields(19, "N0R", ReflectivityThresholds()), SymbologyBlock({{RunLengthRadialPacket(30, radials)}})),
       ImageKind::kRadial, 0xAF1F, 8, 30, 1.0},
      {"digital radials, compressed", BuildImageProduct(Fields(94, "N0Q", {0xFEC0, 5, 254}, true), SymbologyBlock({{DigitalRadialPacket(31, digital)}})),
       ImageKind::kRadial, 16, 8, 31, 1.0},
      {"digital radials behind a text layer", BuildImageProduct(Fields(99, "N0U", {0xFD85, 5, 254}), SymbologyBlock({{TextPacket("hello")}, {DigitalRadialPacket(31, digital)}})),
       ImageKind::kRadial, 16, 8, 31, 0.25},
      {"raster 0xBA07", BuildImageProduct(Fields(37, "NCR", ReflectivityThresholds()), SymbologyBlock({{RasterPacket(0xBA07, raster)}})),
       ImageKind::kRaster, 0xBA07, 5, 7, 1.0},
      {"raster 0xBA0F", BuildImageProduct(Fields(41, "NET", ReflectivityThresholds()), SymbologyBlock({{RasterPacket(0xBA0F, raster, 4)}})),
       ImageKind::kRaster, 0xBA0F, 5, 7, 4.0},
      {"precipitation array", BuildImageProduct(Fields(81, "DPA", {0xFFC4, 125, 256}), SymbologyBlock({{PrecipArrayPacket(array)}})),
       ImageKind::kRaster, 17, 4, 9, 4.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DecodedProduct p;
    DecodeResult result = Decode(c.image, &p);
    ASSERT_TRUE(result.ok()) << DescribeDecodeResult(result);
    EXPECT_TRUE(CheckProductImage(c.image.data(), c.image.size(), true).ok());
    EXPECT_EQ(p.image, c.kind);
    EXPECT_EQ(p.imagePacketCode, c.packet);
    EXPECT_STREQ(p.station, "TLX");
    EXPECT_EQ(p.volumeTime, 1120392192);  // 2005-07-03 12:03:12 UTC
    if (c.kind == ImageKind::kRadial) {
      const std::vector<BuiltRadial>& built = c.packet == 16 ? digital : radials;
      EXPECT_EQ(p.radialCount, c.radialsOrRows);
      EXPECT_EQ(p.gateCount, c.gatesOrColumns);
      EXPECT_DOUBLE_EQ(p.gateSpacingKm, c.spacing);
      for (int r = 0; r < p.radialCount; ++r) {
        EXPECT_NEAR(p.azimuths[static_cast<size_t>(r)], built[static_cast<size_t>(r)].azimuth, 0.051);
        EXPECT_NEAR(p.widths[static_cast<size_t>(r)], built[static_cast<size_t>(r)].width, 0.051);
        for (int g = 0; g < p.gateCount; ++g) {
          ASSERT_EQ(p.levels[static_cast<size_t>(r * p.gateCount + g)],
                    built[static_cast<size_t>(r)].levels[static_cast<size_t>(g)]);
        }
      }
    } else {
      const auto& built = c.packet == 17 ? array : raster;
      EXPECT_EQ(p.rows, c.radialsOrRows);
      EXPECT_EQ(p.columns, c.gatesOrColumns);
      EXPECT_DOUBLE_EQ(p.cellSizeKm, c.spacing);
      for (int r = 0; r < p.rows; ++r) {
        for (int col = 0; col < p.columns; ++col) {
          ASSERT_EQ(p.levels[static_cast<size_t>(r * p.columns + col)],
                    built[static_cast<size_t>(r)][static_cast<size_t>(col)]);
        }
      }
    }
  }
}

TEST(DecodeProduct, PhysicalValuesMarkNoDataAsNaN) {
  DecodedProduct p;
  ASSERT_TRUE(Decode(SmallRunLengthProduct(), &p).ok());
  std::vector<float> values;
  PhysicalValues(p, &values);
  ASSERT_EQ(values.size(), p.levels.size());
  for (size_t i = 0; i < values.size(); ++i) {
    if (p.levels[i] == 0) {
      EXPECT_TRUE(std::isnan(values[i]));  // ND
    } else {
      EXPECT_FLOAT_EQ(values[i], 5.0f * p.levels[i]);
    }
  }
  EXPECT_TRUE(p.hasElevation);
  EXPECT_FLOAT_EQ(p.elevationDegrees, 0.5f);
  EXPECT_STREQ(p.units, "dBZ");
}

TEST(DecodeProduct, WithoutHeadingTheSiteIsTheSourceId) {
  ImageProductFields made = Fields(19, "N0R", ReflectivityThresholds());
  made.fields.withHeading = false;
  made.fields.sourceId = 357;
  Bytes image = BuildImageProduct(made, SymbologyBlock({{RunLengthRadialPacket(10, MakeRadials(2, 10, 16, 0, 5))}}));
  DecodedProduct p;
  ASSERT_TRUE(Decode(image, &p).ok());
  EXPECT_FALSE(p.hasHeading);
  EXPECT_STREQ(p.station, "");
  EXPECT_EQ(p.sourceId, 357);
  EXPECT_EQ(p.radialCount, 2);
}

TEST(DecodeProduct, ProductsWithoutAnImageSaySo) {
  struct Case {
    const char* name;
    Bytes image;
    const char* reason;
  } cases[] = {
      {"text packets only", BuildImageProduct(Fields(58, "NST", {}), SymbologyBlock({{TextPacket("storm")}})),
       "the symbology block holds no image packet"},
      {"no symbology block", [] {
         ImageProductFields made = Fields(61, "NTV", {});
         made.fields.symbologyOffset = 0;
         return BuildImageProduct(made, Bytes(40, 0x20));
       }(), "the product has no symbology block"},
      {"tabular product", BuildImageProduct(Fields(62, "NSS", {}), Bytes(64, 0x20)),
       "a tabular or text product: no symbology block"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DecodedProduct p;
    ASSERT_TRUE(Decode(c.image, &p).ok());
    EXPECT_EQ(p.image, ImageKind::kNone);
    EXPECT_STREQ(p.noImageReason, c.reason);
    EXPECT_TRUE(p.levels.empty());
    EXPECT_EQ(CheckProductImage(c.image.data(), c.image.size(), true).error, DecodeError::kNoImage);
  }
}

TEST(DecodeProduct, ReusedDecoderKeepsNothingFromTheProductBefore) {
  ProductDecoder decoder;
  DecodedProduct p;
  Bytes first = SmallRasterProduct();
  ASSERT_TRUE(decoder.Decode(first.data(), first.size(), &p).ok());
  ASSERT_EQ(p.image, ImageKind::kRaster);
  Bytes second = SmallDigitalProduct(true);
  ASSERT_TRUE(decoder.Decode(second.data(), second.size(), &p).ok());
  EXPECT_EQ(p.rows, 0);
  EXPECT_EQ(p.radialCount, 4);
  EXPECT_TRUE(p.compressed);
  Bytes status = BuildProduct("GSM", 2);  // a status message: an error, and nothing left over
  EXPECT_EQ(decoder.Decode(status.data(), status.size(), &p).error, DecodeError::kNotProduct);
  EXPECT_EQ(p.image, ImageKind::kNone);
  EXPECT_TRUE(p.levels.empty());
  EXPECT_EQ(p.info, nullptr);
  EXPECT_FALSE(p.compressed);
}

// ---------------------------------------------------------------------------
// Hostile input.

TEST(DecodeHostile, EveryTruncationIsAnError) {
  for (const Bytes& image : {SmallRunLengthProduct(), SmallDigitalProduct(false),
                             SmallDigitalProduct(true), SmallRasterProduct()}) {
    for (size_t length = 0; length < image.size(); ++length) {
      Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
      DecodedProduct p;
      DecodeResult result = DecodeProduct(cut.empty() ? nullptr : cut.data(), cut.size(), &p);
      ASSERT_FALSE(result.ok()) << "length " << length;
      ASSERT_TRUE(result.error == DecodeError::kTooShort || result.error == DecodeError::kTruncated)
          << length << ": " << DescribeDecodeResult(result);
      ASSERT_EQ(p.image, ImageKind::kNone);
    }
  }
}

// Every truncation of the message whose length field says so: the symbology
// runs short where it was cut.
TEST(DecodeHostile, EveryShortenedMessageIsAnErrorOrTheRightPrefix) {
  for (const Bytes& image : {SmallRunLengthProduct(), SmallDigitalProduct(true), SmallRasterProduct()}) {
    for (size_t length = kMessage + 120; length < image.size(); ++length) {
      Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
      StoreBig32(cut, kMessage + 8, static_cast<uint32_t>(length - kMessage));
      DecodedProduct p;
      DecodeResult result = DecodeProduct(cut.data(), cut.size(), &p);
      ASSERT_FALSE(result.ok()) << "length " << length;
      ASSERT_NE(result.error, DecodeError::kNone);
      ASSERT_EQ(p.image, ImageKind::kNone);
    }
  }
}

TEST(DecodeHostile, FieldsPointingPastTheEnd) {
  struct Case {
    const char* name;
    Bytes (*base)();
    size_t at;  // image offset of a 16-bit (or, with `wide`, 32-bit) field
    uint32_t value;
    bool wide;
    DecodeError error;
  } cases[] = {
      {"message code differs", SmallRunLengthProduct, kMessage + 0, 20, false, DecodeError::kNotProduct},
      {"no description block divider", SmallRunLengthProduct, kMessage + 18, 0, false, DecodeError::kNotProduct},
      {"message length past the image", SmallRunLengthProduct, kMessage + 8, 100000, true, DecodeError::kTruncated},
      {"message length below the header", SmallRunLengthProduct, kMessage + 8, 100, true, DecodeError::kNotProduct},
      {"symbology offset past the message", SmallRunLengthProduct, kMessage + 108, 50000, true, DecodeError::kBadOffset},
      {"symbology offset inside the header", SmallRunLengthProduct, kMessage + 108, 10, true, DecodeError::kBadOffset},
      {"block id", SmallRunLengthProduct, kMessage + 122, 2, false, DecodeError::kBadBlock},
      {"block length past the message", SmallRunLengthProduct, kMessage + 124, 0x7FFFFFFF, true, DecodeError::kBadBlock},
      {"block length 4 GiB", SmallRunLengthProduct, kMessage + 124, 0xFFFFFFFF, true, DecodeError::kBadBlock},
      {"more layers than the block holds", SmallRunLengthProduct, kMessage + 128, 9, false, DecodeError::kBadLayer},
      {"layer divider", SmallRunLengthProduct, kMessage + 130, 7, false, DecodeError::kBadLayer},
      {"layer length past the block", SmallRunLengthProduct, kMessage + 132, 0xFFFFFFF0, true, DecodeError::kBadLayer},
      {"radials beyond the maximum", SmallRunLengthProduct, kPacket + 12, 0x7FFF, false, DecodeError::kTooLarge},
      {"radials past the layer", SmallRunLengthProduct, kPacket + 12, 3000, false, DecodeError::kBadPacket},
      {"negative radials", SmallRunLengthProduct, kPacket + 12, 0xFFFF, false, DecodeError::kBadPacket},
      {"gates beyond the maximum", SmallUncompressedDigitalProduct, kPacket + 4, 0x7FFF, false, DecodeError::kTooLarge},
      {"negative gates", SmallUncompressedDigitalProduct, kPacket + 4, 0x8000, false, DecodeError::kBadPacket},
      {"first bin beyond the maximum", SmallUncompressedDigitalProduct, kPacket + 2, 5000, false, DecodeError::kTooLarge},
      {"radial byte count past the layer", SmallUncompressedDigitalProduct, kPacket + 14, 0xFFFF, false, DecodeError::kBadPacket},
      {"run-length radial past the layer", SmallRunLengthProduct, kPacket + 14, 0x8000, false, DecodeError::kBadPacket},
      {"raster rows beyond the maximum", SmallRasterProduct, kPacket + 18, 5000, false, DecodeError::kTooLarge},
      {"raster rows past the layer", SmallRasterProduct, kPacket + 18, 4000, false, DecodeError::kBadPacket},
      {"raster row past the layer", SmallRasterProduct, kPacket + 22, 0xFFFF, false, DecodeError::kBadPacket},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes image = c.base();
    if (c.wide) {
      StoreBig32(image, c.at, c.value);
    } else {
      StoreBig16(image, c.at, static_cast<uint16_t>(c.value));
    }
    DecodedProduct p;
    DecodeResult result = Decode(image, &p);
    EXPECT_EQ(result.error, c.error) << DescribeDecodeResult(result);
    EXPECT_EQ(p.image, ImageKind::kNone);
    EXPECT_NE(std::string(DecodeErrorText(result.error)), "");
  }
}

TEST(DecodeHostile, CountsTheBytesCannotHold) {
  // 3600 radials of 4096 gates claimed by a packet of a few hundred bytes.
  Bytes packet = DigitalRadialPacket(4096, MakeRadials(1, 16, 256, 0, 6));
  StoreBig16(packet, 12, 3600);
  Bytes image = BuildImageProduct(Fields(94, "N0Q", {0xFEC0, 5, 254}), SymbologyBlock({{packet}}));
  DecodedProduct p;
  EXPECT_EQ(Decode(image, &p).error, DecodeError::kTooLarge);
  EXPECT_EQ(p.levels.capacity(), 0u);  // nothing was allocated for them
}

TEST(DecodeHostile, CompressedSymbology) {
  // A bzip2 stream that inflates to 17 MiB of zeros, past the 16 MiB cap.
  Bytes zeros((17u << 20), 0);
  ImageProductFields made = Fields(94, "N0Q", {0xFEC0, 5, 254}, true);
  Bytes bomb = BuildImageProduct(made, zeros);
  Bytes broken = SmallDigitalProduct(true);
  for (size_t i = kMessage + 140; i < kMessage + 150; ++i) broken[i] ^= 0x5A;
  Bytes cut = SmallDigitalProduct(true);
  cut.resize(cut.size() - 20);
  StoreBig32(cut, kMessage + 8, static_cast<uint32_t>(cut.size() - kMessage));
  struct Case {
    const char* name;
    const Bytes& image;
    DecodeError error;
  } cases[] = {
      {"inflates past 16 MiB", bomb, DecodeError::kInflatedTooLarge},
      {"corrupt stream", broken, DecodeError::kBadCompression},
      {"stream cut short", cut, DecodeError::kBadCompression},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DecodedProduct p;
    EXPECT_EQ(Decode(c.image, &p).error, c.error);
    EXPECT_EQ(p.image, ImageKind::kNone);
  }
}

// ---------------------------------------------------------------------------
// The real products.

struct RealProduct {
  std::string name;
  Bytes image;
};

std::vector<RealProduct> RealProducts() {
  std::vector<RealProduct> products;
  for (const auto& entry : std::filesystem::directory_iterator(TestdataDir() + "/level3")) {
    Bytes image = ReadFileBytes(entry.path().string());
    if (LooksFramed(image.data(), image.size())) {  // as the intake files them
      std::vector<UnframedProduct> unframed = UnframeProducts(image.data(), image.size());
      if (!unframed.empty()) image = unframed.front().image;
    }
    products.push_back({entry.path().filename().string(), std::move(image)});
  }
  std::sort(products.begin(), products.end(),
            [](const RealProduct& a, const RealProduct& b) { return a.name < b.name; });
  return products;
}

TEST(DecodeRealProducts, EveryProductDecodesAndEveryImagePacketGivesAnImage) {
  NIMBREL_REQUIRE_TESTDATA();
  // Status and free-text messages carry no product description block.
  const std::set<std::string> notProducts = {
      "KBMX_NXUS64_GSMBMX_201501020258", "KLSX_NOUS63_FTMLSX_202201041404",
      "KLSX_NXUS63_GSMLSX_202112110238", "KOKX_NXUS61_GSMOKX_201108280700"};
  // These storm structure products give a graphic block offset past their
  // message's end (4152 bytes into a 3574-byte message): the deep check says so.
  const std::set<std::string> badGraphicOffset = {"KLOT_NSS_2022_01_16_09_31",
                                                  "KLTX_NSS_2022_02_15_06_44"};
  ProductDecoder decoder;
  DecodedProduct p;
  int images = 0;
  std::map<int, int> imagesByCode;
  for (const RealProduct& product : RealProducts()) {
    SCOPED_TRACE(product.name);
    DecodeResult result = decoder.Decode(product.image.data(), product.image.size(), &p);
    if (notProducts.count(product.name) != 0) {
      EXPECT_FALSE(result.ok());
      continue;
    }
    ASSERT_TRUE(result.ok()) << DescribeDecodeResult(result);
    bool hasImagePacket = false;
    for (const PacketInfo& packet : p.packets) {
      hasImagePacket = hasImagePacket || packet.code == 0xAF1F || packet.code == 16 ||
                       packet.code == 0xBA07 || packet.code == 0xBA0F || packet.code == 17;
    }
    EXPECT_EQ(hasImagePacket, p.image != ImageKind::kNone);
    if (p.image != ImageKind::kNone) {
      ++images;
      ++imagesByCode[p.productCode];
      EXPECT_NE(p.info, nullptr);
      size_t expected = p.image == ImageKind::kRadial
                            ? static_cast<size_t>(p.radialCount) * static_cast<size_t>(p.gateCount)
                            : static_cast<size_t>(p.rows) * static_cast<size_t>(p.columns);
      EXPECT_EQ(p.levels.size(), expected);
      for (uint16_t level : p.levels) ASSERT_LT(level, kLevelCount);
    }
    DecodeResult check = decoder.Check(product.image.data(), product.image.size());
    if (badGraphicOffset.count(product.name) != 0) {
      EXPECT_EQ(check.error, DecodeError::kBadOffset);
      EXPECT_EQ(check.offset, 112u);
    } else {
      EXPECT_TRUE(check.ok()) << DescribeDecodeResult(check);
    }
  }
  EXPECT_EQ(images, 158);
  // Every category the decoder is meant for is among them.
  for (int code : {19, 20, 25, 27, 28, 30, 32, 34, 37, 38, 41, 56, 57, 65, 66, 67, 78, 79, 80, 81,
                   90, 94, 99, 134, 135, 138, 153, 154, 159, 161, 163, 165, 169, 170, 171, 172,
                   173, 174, 175, 177, 180, 181, 182, 186}) {
    EXPECT_GT(imagesByCode[code], 0) << "code " << code;
  }
}

TEST(DecodeRealProducts, SpotValues) {
  NIMBREL_REQUIRE_TESTDATA();
  struct Case {
    const char* file;
    int code;
    ImageKind kind;
    int radialsOrRows, gatesOrColumns;
    double spacing;
    float firstAzimuth, firstWidth;
    float elevation;  // NaN: not elevation-based
    int64_t volumeTime;
  } cases[] = {
      {"KBMX_SDUS54_N0RBMX_201501020205", 19, ImageKind::kRadial, 360, 230, 1.0, 320.0f, 1.0f, 0.5f, 1420164328},
      {"KBMX_SDUS74_N0ZBMX_201501020205", 20, ImageKind::kRadial, 360, 230, 2.0, 320.0f, 1.0f, 0.5f, 1420164328},
      {"KBMX_SDUS24_N1QBMX_201501020205", 94, ImageKind::kRadial, 360, 403, 1.0, 343.0f, 1.0f, 1.5f, 1420164328},
      {"KBMX_SDUS54_N0UBMX_201501020205", 99, ImageKind::kRadial, 360, 1200, 0.25, 329.0f, 1.0f, 0.5f, 1420164328},
      {"KBMX_SDUS34_N1PBMX_201501020205", 78, ImageKind::kRadial, 360, 115, 2.0, 359.0f, 2.0f, NAN, 1420164328},
      {"LSX_N0B_2022_03_30_15_40_41", 153, ImageKind::kRadial, 720, 1840, 0.25, 268.0f, 0.5f, 0.5f, 1648654841},
      {"LSX_N0G_2022_03_30_15_40_41", 154, ImageKind::kRadial, 720, 1200, 0.25, 293.0f, 0.5f, 0.5f, 1648654841},
      {"KLOT_SDUS53_NOWLOT_199510151002", 25, ImageKind::kRadial, 367, 240, 0.25, NAN, NAN, 0.5f, 0},
      {"Level3_STL_TZL_20211211_0200.nids", 186, ImageKind::kRadial, 360, 1390, 0.3, NAN, 1.0f, 0.3f, 0},
      {"KBMX_SDUS54_NCRBMX_201501020205", 37, ImageKind::kRaster, 464, 464, 1.0, NAN, NAN, NAN, 1420164328},
      {"KBMX_SDUS64_NCZBMX_201501020205", 38, ImageKind::kRaster, 232, 232, 4.0, NAN, NAN, NAN, 1420164328},
      {"KBMX_SDUS54_DPABMX_201501020205", 81, ImageKind::kRaster, 131, 131, 4.0, NAN, NAN, NAN, 1420164328},
  };
  std::map<std::string, Bytes> images;
  for (RealProduct& product : RealProducts()) images[product.name] = std::move(product.image);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    DecodedProduct p;
    ASSERT_TRUE(Decode(images.at(c.file), &p).ok());
    EXPECT_EQ(p.productCode, c.code);
    EXPECT_EQ(p.image, c.kind);
    if (c.kind == ImageKind::kRadial) {
      EXPECT_EQ(p.radialCount, c.radialsOrRows);
      EXPECT_EQ(p.gateCount, c.gatesOrColumns);
      EXPECT_DOUBLE_EQ(p.gateSpacingKm, c.spacing);
      if (!std::isnan(c.firstAzimuth)) {
        EXPECT_FLOAT_EQ(p.azimuths[0], c.firstAzimuth);
      }
      if (!std::isnan(c.firstWidth)) {
        EXPECT_FLOAT_EQ(p.widths[0], c.firstWidth);
      }
    } else {
      EXPECT_EQ(p.rows, c.radialsOrRows);
      EXPECT_EQ(p.columns, c.gatesOrColumns);
      EXPECT_DOUBLE_EQ(p.cellSizeKm, c.spacing);
    }
    EXPECT_EQ(p.hasElevation, !std::isnan(c.elevation));
    if (p.hasElevation) {
      EXPECT_FLOAT_EQ(p.elevationDegrees, c.elevation);
    }
    if (c.volumeTime != 0) {
      EXPECT_EQ(p.volumeTime, c.volumeTime);
    }
  }
}

// The largest value in the image agrees with the maximum the product's
// description block states (parameter 4, in the product's own unit).
TEST(DecodeRealProducts, LargestValueMatchesTheStatedMaximum) {
  NIMBREL_REQUIRE_TESTDATA();
  struct Case {
    const char* file;
    double unit;       // parameter 4 times this is the stated maximum
    double below;      // the image's maximum may be this much below it (16 levels: a class's floor)
    double tolerance;
  } cases[] = {
      {"KBMX_SDUS54_N0RBMX_201501020205", 1.0, 5.0, 0.01},
      {"KBMX_SDUS54_N0QBMX_201501020205", 1.0, 0.5, 0.01},
      {"KBMX_SDUS54_DSPBMX_201501020205", 0.01, 0.0, 0.001},
      {"KOKX_SDUS51_DSPOKX_201108280702", 0.01, 0.0, 0.001},
      {"KBMX_SDUS84_DTABMX_201501020205", 0.1, 0.0, 0.05},
      {"KBMX_SDUS84_DAABMX_201501020205", 0.1, 0.0, 0.05},
      {"KBMX_SDUS84_DU3BMX_201501020205", 0.1, 0.0, 0.05},
      {"KBMX_SDUS74_EETBMX_201501020205", 1.0, 0.0, 1.0},
  };
  std::map<std::string, Bytes> images;
  for (RealProduct& product : RealProducts()) images[product.name] = std::move(product.image);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    DecodedProduct p;
    ASSERT_TRUE(Decode(images.at(c.file), &p).ok());
    std::vector<float> values;
    PhysicalValues(p, &values);
    float largest = -INFINITY;
    for (float v : values) {
      if (!std::isnan(v)) largest = std::max(largest, v);
    }
    double stated = p.parameters[3] * c.unit;
    EXPECT_LE(largest, stated + c.tolerance);
    EXPECT_GE(largest, stated - c.below - c.tolerance);
  }
}

}  // namespace
}  // namespace nimbrel
