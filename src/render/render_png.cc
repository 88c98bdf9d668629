#include "render/render_png.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "render/bitmap_font.h"
#include "render/color_scale.h"

namespace nimbrel {

namespace {

constexpr uint8_t kBackground[3] = {14, 16, 22};
constexpr uint8_t kRingColor[3] = {95, 95, 108};
constexpr uint8_t kTextColor[3] = {235, 235, 235};
constexpr int kTenths = 3600;

void Put(Picture* picture, int x, int y, const uint8_t rgb[3]) {
  std::memcpy(picture->rgb.data() + (static_cast<size_t>(y) * picture->width + x) * 3, rgb, 3);
}

void PutColor(uint8_t* at, const Rgba& color) {
  at[0] = color.r, at[1] = color.g, at[2] = color.b;
}

// Darkens a rectangle (clipped), as a panel under text.
void Panel(Picture* picture, int x0, int y0, int x1, int y1) {
  x0 = std::max(x0, 0), y0 = std::max(y0, 0);
  x1 = std::min(x1, picture->width), y1 = std::min(y1, picture->height);
  for (int y = y0; y < y1; ++y) {
    uint8_t* p = picture->rgb.data() + (static_cast<size_t>(y) * picture->width + x0) * 3;
    for (int i = 0; i < (x1 - x0) * 3; ++i) p[i] = static_cast<uint8_t>(p[i] / 4);
  }
}

double RingSpacingKm(double rangeKm) {
  return rangeKm > 300 ? 100 : rangeKm > 120 ? 50 : rangeKm > 40 ? 20 : 10;
}

// Whether a pixel at `rangeKm` from the radar lies on a ring.
bool OnRing(double rangeKm, double ringKm, double halfWidthKm) {
  double d = std::fmod(rangeKm, ringKm);
  return rangeKm > halfWidthKm && (d < halfWidthKm || ringKm - d < halfWidthKm);
}

struct Frame {
  int size;
  double kmPerPixel;
  double ringKm;      // 0: no rings
  double ringHalfKm;
  double imageKm;     // rings end at the image's edge
};

void DrawRadials(const DecodedProduct& p, const std::array<Rgba, kLevelCount>& colors,
                 const Frame& frame, Picture* picture) {
  // Which radial covers each tenth of a degree (-1: none).
  std::array<int32_t, kTenths> byTenth;
  byTenth.fill(-1);
  for (int r = 0; r < p.radialCount; ++r) {
    double start = std::fmod(static_cast<double>(p.azimuths[static_cast<size_t>(r)]), 360.0);
    if (!std::isfinite(start)) continue;
    if (start < 0) start += 360;
    double width = p.widths[static_cast<size_t>(r)];
    long tenths = std::isfinite(width) ? std::lround(width * 10) : 1;
    tenths = std::clamp(tenths, 1L, static_cast<long>(kTenths));
    long first = std::lround(start * 10);
    for (long k = 0; k < tenths; ++k) byTenth[static_cast<size_t>((first + k) % kTenths)] = r;
  }
  const int n = frame.size;
  const double half = n / 2.0;
  const uint16_t* levels = p.levels.data();
  const size_t gates = static_cast<size_t>(p.gateCount);
  const double first = p.firstRangeKm, spacing = p.gateSpacingKm;
  uint8_t* pixels = picture->rgb.data();
  // One quadrant computed, four drawn: (x, y) east and north of the centre,
  // its mirrors west and south.
  for (int y = 0; y < (n + 1) / 2; ++y) {
    int ym = n - 1 - y;
    double v = half - (y + 0.5);
    for (int x = n / 2; x < n; ++x) {
      int xm = n - 1 - x;
      double u = x + 0.5 - half;
      double rangeKm = std::sqrt(u * u + v * v) * frame.kmPerPixel;
      bool ring = frame.ringKm > 0 && rangeKm <= frame.imageKm &&
                  OnRing(rangeKm, frame.ringKm, frame.ringHalfKm);
      double g = (rangeKm - first) / spacing;
      bool inside = rangeKm >= first && g < static_cast<double>(gates);
      if (!inside && !ring) continue;
      size_t gate = inside ? static_cast<size_t>(g) : 0;
      double a = std::atan2(u, v) * (1800.0 / std::numbers::pi);  // tenths of a degree, 0-900
      const int corners[4][2] = {{x, y}, {xm, y}, {x, ym}, {xm, ym}};
      const double tenths[4] = {a, kTenths - a, 1800 - a, 1800 + a};
      for (int c = 0; c < 4; ++c) {
        uint8_t* at = pixels + (static_cast<size_t>(corners[c][1]) * n + corners[c][0]) * 3;
        if (inside) {
          int t = static_cast<int>(tenths[c]);
          t = t >= kTenths ? t - kTenths : t;
          int32_t radial = byTenth[static_cast<size_t>(t)];
          if (radial >= 0) {
            const Rgba& color = colors[levels[static_cast<size_t>(radial) * gates + gate]];
            if (color.a != 0) {
              PutColor(at, color);
              continue;
            }
          }
        }
        if (ring) std::memcpy(at, kRingColor, 3);
      }
    }
  }
}

void DrawRaster(const DecodedProduct& p, const std::array<Rgba, kLevelCount>& colors,
                const Frame& frame, Picture* picture) {
  const int n = frame.size;
  const double half = n / 2.0;
  const double cellsPerPixel = frame.kmPerPixel / p.cellSizeKm;
  std::vector<int32_t> columnOf(static_cast<size_t>(n));
  for (int x = 0; x < n; ++x) {
    double c = std::floor((x + 0.5 - half) * cellsPerPixel + p.columns / 2.0);
    columnOf[static_cast<size_t>(x)] = c >= 0 && c < p.columns ? static_cast<int32_t>(c) : -1;
  }
  uint8_t* pixels = picture->rgb.data();
  for (int y = 0; y < n; ++y) {
    double v = half - (y + 0.5);
    double r = std::floor(p.rows / 2.0 - v * cellsPerPixel);
    int32_t row = r >= 0 && r < p.rows ? static_cast<int32_t>(r) : -1;
    const uint16_t* levels = row >= 0 ? p.levels.data() + static_cast<size_t>(row) * p.columns : nullptr;
    for (int x = 0; x < n; ++x) {
      uint8_t* at = pixels + (static_cast<size_t>(y) * n + x) * 3;
      int32_t column = columnOf[static_cast<size_t>(x)];
      if (levels != nullptr && column >= 0) {
        const Rgba& color = colors[levels[column]];
        if (color.a != 0) {
          PutColor(at, color);
          continue;
        }
      }
      if (frame.ringKm > 0) {
        double u = x + 0.5 - half;
        double rangeKm = std::sqrt(u * u + v * v) * frame.kmPerPixel;
        if (rangeKm <= frame.imageKm && OnRing(rangeKm, frame.ringKm, frame.ringHalfKm)) {
          std::memcpy(at, kRingColor, 3);
        }
      }
    }
  }
}

// "2015-01-02 02:05:28 UTC" from seconds since 1970.
void FormatTime(int64_t seconds, char* text, size_t size) {
  int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t rest = seconds - days * 86400;
  // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1;
  int64_t month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  std::snprintf(text, size, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
}

void Annotate(const DecodedProduct& p, const Frame& frame, Picture* picture) {
  RgbView view{picture->rgb.data(), picture->width, picture->height};
  const int scale = std::max(1, frame.size / 512);
  const int line = (kGlyphHeight + 4) * scale;
  const int margin = 4 * scale;

  // Title: station and product, elevation, volume time, ring spacing.
  char lines[4][96];
  const char* abbreviation = p.category[0] != '\0'            ? p.category
                             : p.info != nullptr              ? p.info->abbreviation
                                                              : "";
  char station[16];
  if (p.station[0] != '\0') {
    std::snprintf(station, sizeof station, "%s", p.station);
  } else {
    std::snprintf(station, sizeof station, "source %u", p.sourceId);
  }
  std::snprintf(lines[0], sizeof lines[0], "%s  %s  %s", station, abbreviation,
                p.info != nullptr ? p.info->name : "Product");
  if (p.hasElevation) {
    std::snprintf(lines[1], sizeof lines[1], "Elevation %.1f deg   code %d", p.elevationDegrees,
                  p.productCode);
  } else {
    std::snprintf(lines[1], sizeof lines[1], "Product code %d", p.productCode);
  }
  FormatTime(p.volumeTime, lines[2], sizeof lines[2]);
  if (frame.ringKm > 0) {
    std::snprintf(lines[3], sizeof lines[3], "Rings every %.0f km", frame.ringKm);
  } else {
    lines[3][0] = '\0';
  }
  int titleWidth = 0;
  for (const char* text : lines) titleWidth = std::max(titleWidth, TextWidth(text, scale));
  Panel(picture, 0, 0, titleWidth + 2 * margin, 4 * line + 2 * margin);
  for (int i = 0; i < 4; ++i) DrawText(view, margin, margin + i * line, lines[i], scale, kTextColor);

  // Legend: units, then a swatch and label per entry, down the right edge.
  Legend legend;
  MakeLegend(p, &legend);
  const char* units = p.units[0] != '\0' ? p.units : p.mapping == LevelMapping::kHydroClass ||
                                                             p.mapping == LevelMapping::kLevelIsClass
                                                         ? "class"
                                                         : "level";
  int labelWidth = TextWidth(units, scale);
  for (int i = 0; i < legend.count; ++i) {
    labelWidth = std::max(labelWidth, TextWidth(legend.entries[static_cast<size_t>(i)].label, scale) +
                                          (kGlyphHeight + 4) * scale);
  }
  int x0 = picture->width - labelWidth - 2 * margin;
  Panel(picture, x0, 0, picture->width, (legend.count + 1) * line + 2 * margin);
  DrawText(view, x0 + margin, margin, units, scale, kTextColor);
  for (int i = 0; i < legend.count; ++i) {
    const LegendEntry& entry = legend.entries[static_cast<size_t>(i)];
    int y = margin + (i + 1) * line;
    uint8_t rgb[3] = {entry.color.r, entry.color.g, entry.color.b};
    for (int dy = 0; dy < kGlyphHeight * scale; ++dy) {
      for (int dx = 0; dx < kGlyphHeight * scale; ++dx) {
        int px = x0 + margin + dx, py = y + dy;
        if (px < picture->width && py < picture->height) Put(picture, px, py, rgb);
      }
    }
    DrawText(view, x0 + margin + (kGlyphHeight + 4) * scale, y, entry.label, scale, kTextColor);
  }
}

// libpng writes through this into a std::vector.
void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void IgnoreFlush(png_structp) {}

}  // namespace

double ImageRangeKm(const DecodedProduct& p) {
  if (p.image == ImageKind::kRadial) return p.firstRangeKm + p.gateCount * p.gateSpacingKm;
  if (p.image == ImageKind::kRaster) return std::max(p.rows, p.columns) * p.cellSizeKm / 2;
  return 0;
}

bool RenderProduct(const DecodedProduct& p, const RenderOptions& options, Picture* picture,
                   std::string* error) {
  if (p.image == ImageKind::kNone) {
    *error = std::string("nothing to draw: ") +
             (p.noImageReason[0] != '\0' ? p.noImageReason : "the product has no image");
    return false;
  }
  if (options.size < kMinPictureSize || options.size > kMaxPictureSize) {
    *error = "picture size must be from " + std::to_string(kMinPictureSize) + " to " +
             std::to_string(kMaxPictureSize) + " pixels";
    return false;
  }
  size_t expected = p.image == ImageKind::kRadial
                        ? static_cast<size_t>(p.radialCount) * static_cast<size_t>(p.gateCount)
                        : static_cast<size_t>(p.rows) * static_cast<size_t>(p.columns);
  bool spacingOk = p.image == ImageKind::kRadial ? p.gateSpacingKm > 0 : p.cellSizeKm > 0;
  if (p.levels.size() != expected || expected == 0 || !spacingOk ||
      (p.image == ImageKind::kRadial && (p.azimuths.size() != static_cast<size_t>(p.radialCount) ||
                                         p.widths.size() != static_cast<size_t>(p.radialCount)))) {
    *error = "the product's image is inconsistent";
    return false;
  }
  for (uint16_t level : p.levels) {
    if (level >= kLevelCount) {
      *error = "the product's image has a level out of range";
      return false;
    }
  }
  Frame frame;
  frame.size = options.size;
  frame.imageKm = ImageRangeKm(p);
  double rangeKm = options.rangeKm > 0 ? options.rangeKm : frame.imageKm;
  if (!(rangeKm > 0) || !std::isfinite(rangeKm)) {
    *error = "the product's image has no extent";
    return false;
  }
  frame.kmPerPixel = 2 * rangeKm / options.size;
  frame.ringKm = options.rings ? RingSpacingKm(rangeKm) : 0;
  frame.ringHalfKm = frame.kmPerPixel * 0.6;

  picture->width = picture->height = options.size;
  picture->rgb.resize(static_cast<size_t>(options.size) * options.size * 3);
  for (size_t i = 0; i < picture->rgb.size(); i += 3) std::memcpy(&picture->rgb[i], kBackground, 3);
  std::array<Rgba, kLevelCount> colors;
  LevelColors(p, &colors);
  if (p.image == ImageKind::kRadial) {
    DrawRadials(p, colors, frame, picture);
  } else {
    DrawRaster(p, colors, frame, picture);
  }
  if (options.annotate) Annotate(p, frame, picture);
  return true;
}

bool EncodePng(const Picture& picture, int compression, std::vector<uint8_t>* png,
               std::string* error) {
  png->clear();
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.rgb.size() != static_cast<size_t>(picture.width) * picture.height * 3) {
    *error = "the picture is empty or inconsistent";
    return false;
  }
  // Everything with a destructor exists before setjmp: libpng's errors
  // return through longjmp.
  std::vector<png_bytep> rows(static_cast<size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    rows[static_cast<size_t>(y)] =
        const_cast<png_bytep>(picture.rgb.data() + static_cast<size_t>(y) * picture.width * 3);
  }
  png->reserve(picture.rgb.size() / 8);
  png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = writer != nullptr ? png_create_info_struct(writer) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&writer, nullptr);
    *error = "libpng could not start (no memory)";
    return false;
  }
  if (setjmp(png_jmpbuf(writer))) {
    png_destroy_write_struct(&writer, &info);
    *error = "libpng failed to write the picture";
    return false;
  }
  png_set_write_fn(writer, png, AppendToVector, IgnoreFlush);
  png_set_IHDR(writer, info, static_cast<png_uint_32>(picture.width),
               static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(writer, std::clamp(compression, 0, 9));
  png_set_filter(writer, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_rows(writer, info, rows.data());
  png_write_png(writer, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&writer, &info);
  return true;
}

bool RenderProductPng(const DecodedProduct& product, const RenderOptions& options,
                      std::vector<uint8_t>* png, std::string* error) {
  Picture picture;
  return RenderProduct(product, options, &picture, error) &&
         EncodePng(picture, options.pngCompression, png, error);
}

}  // namespace nimbrel
