#include "render/render_png.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "decode/decode_product.h"
#include "decode/level_table.h"
#include "render/bitmap_font.h"
#include "render/color_scale.h"
#include "support/symbology_builder.h"

namespace nimbrel {
namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

constexpr Rgb kBackground{14, 16, 22};
constexpr Rgb kRed50dBZ{253, 0, 0};
constexpr Rgb kGreen20dBZ{2, 253, 2};

std::array<uint16_t, 16> Reflectivity() {
  std::array<uint16_t, 16> t{0x8002};
  for (int i = 1; i < 16; ++i) t[static_cast<size_t>(i)] = static_cast<uint16_t>(5 * i);
  return t;
}

// 360 one-degree radials of 100 one-km gates: 50 dBZ from north to east,
// 20 dBZ from east to south, nothing (ND) in the west.
DecodedProduct Quadrants(bool compress = false) {
  std::vector<BuiltRadial> radials(360);
  for (int a = 0; a < 360; ++a) {
    radials[static_cast<size_t>(a)].azimuth = static_cast<float>(a);
    radials[static_cast<size_t>(a)].levels.assign(100, a < 90 ? 10 : a < 180 ? 4 : 0);
  }
  ImageProductFields made;
  made.fields.messageCode = 19;
  made.thresholds = Reflectivity();
  made.compress = compress;
  Bytes image = BuildImageProduct(made, SymbologyBlock({{RunLengthRadialPacket(100, radials)}}));
  DecodedProduct product;
  EXPECT_TRUE(DecodeProduct(image.data(), image.size(), &product).ok());
  return product;
}

// A 4 x 4 composite grid of 50-km cells: the north-west cell 50 dBZ.
DecodedProduct Grid() {
  std::vector<std::vector<uint8_t>> rows(4, std::vector<uint8_t>(4, 0));
  rows[0][0] = 10;
  rows[3][3] = 4;
  ImageProductFields made;
  made.fields.messageCode = 37;
  made.thresholds = Reflectivity();
  Bytes image = BuildImageProduct(made, SymbologyBlock({{RasterPacket(0xBA07, rows)}}));
  DecodedProduct product;
  EXPECT_TRUE(DecodeProduct(image.data(), image.size(), &product).ok());
  return product;
}

// The PNG read back through libpng as RGB.
bool ReadPng(const std::vector<uint8_t>& png, int* width, int* height, std::vector<uint8_t>* rgb) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
  image.format = PNG_FORMAT_RGB;
  rgb->resize(PNG_IMAGE_SIZE(image));
  bool ok = png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr) != 0;
  *width = static_cast<int>(image.width);
  *height = static_cast<int>(image.height);
  return ok;
}

Rgb At(const std::vector<uint8_t>& rgb, int width, int x, int y) {
  const uint8_t* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
  return {p[0], p[1], p[2]};
}

TEST(RenderPng, PixelsAtKnownPlacesHaveTheScalesColours) {
  struct Spot {
    int x, y;  // in a 512-pixel picture of a 100-km range: 2.56 pixels a km
    Rgb color;
  };
  struct Case {
    const char* name;
    DecodedProduct product;
    std::vector<Spot> spots;
  } cases[] = {
      {"radials", Quadrants(),
       {{256 + 90, 256 - 90, kRed50dBZ},     // north-east, 50 km
        {256 + 90, 256 + 90, kGreen20dBZ},   // south-east
        {256 + 20, 256 - 200, kRed50dBZ},    // nearly north, 78 km
        {256 - 90, 256 + 90, kBackground},   // south-west: no data
        {256 - 90, 256 - 90, kBackground},   // north-west
        {2, 2, kBackground}}},               // beyond the range
      {"bzip2 radials", Quadrants(true), {{256 + 90, 256 - 90, kRed50dBZ}}},
      {"raster", Grid(),
       {{20, 20, kRed50dBZ},                 // the north-west cell
        {500, 500, kGreen20dBZ},             // the south-east cell
        {500, 20, kBackground}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RenderOptions options;
    options.size = 512;
    options.rings = false;
    options.annotate = false;
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(RenderProductPng(c.product, options, &png, &error)) << error;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(ReadPng(png, &width, &height, &rgb));
    EXPECT_EQ(width, 512);
    EXPECT_EQ(height, 512);
    for (const Spot& spot : c.spots) {
      EXPECT_EQ(At(rgb, width, spot.x, spot.y), spot.color) << spot.x << "," << spot.y;
    }
  }
}

TEST(RenderPng, AnnotatedPictureHasTitleLegendAndRings) {
  DecodedProduct product = Quadrants();
  RenderOptions options;  // 1024 pixels, rings, title and legend
  std::vector<uint8_t> png;
  std::string error;
  ASSERT_TRUE(RenderProductPng(product, options, &png, &error)) << error;
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(ReadPng(png, &width, &height, &rgb));
  ASSERT_EQ(width, 1024);
  ASSERT_EQ(height, 1024);
  auto count = [&](int x0, int y0, int x1, int y1, Rgb color) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) n += At(rgb, width, x, y) == color;
    }
    return n;
  };
  const Rgb text{235, 235, 235}, ring{95, 95, 108};
  EXPECT_GT(count(0, 0, 300, 60, text), 100);        // the title, top left
  EXPECT_GT(count(900, 0, 1024, 400, text), 50);     // the legend's labels, top right
  EXPECT_GT(count(900, 0, 1024, 400, kRed50dBZ), 50);  // and its swatches
  // The 50-km ring (rings every 20 km for a 100-km range: at 20, 40, ...):
  // on the west side, where there is no data, at 40 km = 204.8 pixels.
  EXPECT_EQ(At(rgb, width, 512 - 205, 511), ring);
}

TEST(RenderPng, RefusesWhatItCannotDraw) {
  DecodedProduct noImage;
  Bytes text = BuildImageProduct([] {
    ImageProductFields made;
    made.fields.messageCode = 58;
    return made;
  }(), SymbologyBlock({{TextPacket("storm")}}));
  ASSERT_TRUE(DecodeProduct(text.data(), text.size(), &noImage).ok());
  DecodedProduct broken = Quadrants();
  broken.levels.pop_back();
  DecodedProduct badLevel = Quadrants();
  badLevel.levels[7] = 300;
  struct Case {
    const char* name;
    const DecodedProduct& product;
    int size;
    const char* error;
  } cases[] = {
      {"no image", noImage, 512, "nothing to draw: the symbology block holds no image packet"},
      {"too small", Quadrants(), 10, "picture size must be from 64 to 8192 pixels"},
      {"too large", Quadrants(), 100000, "picture size must be from 64 to 8192 pixels"},
      {"levels short of the shape", broken, 512, "the product's image is inconsistent"},
      {"level out of range", badLevel, 512, "the product's image has a level out of range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RenderOptions options;
    options.size = c.size;
    std::vector<uint8_t> png;
    std::string error;
    EXPECT_FALSE(RenderProductPng(c.product, options, &png, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(png.empty());
  }
}

TEST(RenderPng, FamiliesColourAsScientistsExpect) {
  struct Case {
    ProductFamily family;
    const char* units;
    float value;
    Rgb color;  // r < 0: transparent
  } cases[] = {
      {ProductFamily::kReflectivity, "dBZ", 52, {253, 0, 0}},
      {ProductFamily::kReflectivity, "dBZ", 75, {253, 253, 253}},
      {ProductFamily::kReflectivity, "dBZ", -40, {-1, 0, 0}},
      {ProductFamily::kVelocity, "m/s", -35, {0, 255, 0}},       // toward: green
      {ProductFamily::kVelocity, "m/s", 35, {255, 40, 40}},      // away: red
      {ProductFamily::kVelocity, "kt", 68.0388f, {255, 40, 40}}, // 35 m/s in knots
      {ProductFamily::kPrecipitation, "in", 0, {-1, 0, 0}},      // no accumulation: nothing drawn
      {ProductFamily::kPrecipitation, "in", 2.2f, {255, 0, 0}},
      {ProductFamily::kPrecipitationDifference, "in", 0, {-1, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    Rgba color = ValueColor(c.family, c.units, c.value);
    if (c.color.r < 0) {
      EXPECT_EQ(color.a, 0);
    } else {
      EXPECT_EQ((Rgb{color.r, color.g, color.b}), c.color);
      EXPECT_EQ(color.a, 255);
    }
  }
  EXPECT_EQ(ValueColor(ProductFamily::kReflectivity, "dBZ", NAN).a, 0);
}

TEST(RenderPng, LegendsNameTheLevels) {
  DecodedProduct product = Quadrants();
  Legend legend;
  MakeLegend(product, &legend);
  ASSERT_EQ(legend.count, 15);  // 5 to 75 dBZ; ND is not drawn
  EXPECT_STREQ(legend.entries[0].label, "5");
  EXPECT_STREQ(legend.entries[14].label, "75");

  product.mapping = LevelMapping::kHydroClass;
  BuildLevelTable(LevelMapping::kHydroClass, {}, &product.levelTable);
  MakeLegend(product, &legend);
  std::string labels;
  for (int i = 0; i < legend.count; ++i) labels += std::string(legend.entries[static_cast<size_t>(i)].label) + " ";
  EXPECT_EQ(labels, "BI GC IC DS WS RA HR BD GR HA LH GH UK RF ");
}

TEST(RenderFont, TextIsDrawnWithinThePicture) {
  std::vector<uint8_t> pixels(40 * 10 * 3, 0);
  RgbView view{pixels.data(), 40, 10};
  const uint8_t white[3] = {255, 255, 255};
  EXPECT_EQ(DrawText(view, 35, 5, "Hi", 2, white), 35 + 2 * kGlyphAdvance * 2);  // clipped, no overrun
  EXPECT_EQ(TextWidth("dBZ", 2), 36);
  int lit = 0;
  for (size_t i = 0; i < pixels.size(); i += 3) lit += pixels[i] == 255;
  EXPECT_GT(lit, 0);
}

}  // namespace
}  // namespace nimbrel
