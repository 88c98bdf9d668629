// Plan-position pictures of decoded products, as PNG files.
//
// A picture is a square of `size` pixels with the radar at its centre: the
// product's image (radials, or a raster grid centred on the radar) coloured
// by its usual scale over a dark background, range rings, a title (station,
// product, elevation, volume time UTC) and a legend with the units.
// Radials are drawn by mapping each pixel to its azimuth and range (through
// a lookup of radials by tenth of a degree), never by drawing polygons.
//
// Invariants: a picture is exactly size x size pixels, RGB, 3 bytes each;
// sizes from kMinPictureSize to kMaxPictureSize; a product without an image
// is refused with its reason. Nothing here keeps state between calls.
#ifndef NIMBREL_RENDER_RENDER_PNG_H_
#define NIMBREL_RENDER_RENDER_PNG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "decode/decoded_product.h"

namespace nimbrel {

inline constexpr int kMinPictureSize = 64;
inline constexpr int kMaxPictureSize = 8192;

struct RenderOptions {
  int size = 1024;          // pixels on each side
  double rangeKm = 0;       // distance from the centre to an edge; 0: the product's extent
  bool rings = true;        // range rings
  bool annotate = true;     // title and legend
  int pngCompression = 1;   // zlib level of the PNG, 0-9 (1: fast)
};

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3 bytes, rows from the top
};

// The range from the radar to the edge of a product's image, in km.
double ImageRangeKm(const DecodedProduct& product);

// Draws the picture. False, with `error` saying why, when the product has
// no image or the options are out of range.
bool RenderProduct(const DecodedProduct& product, const RenderOptions& options, Picture* picture,
                   std::string* error);

// A picture as an 8-bit RGB PNG.
bool EncodePng(const Picture& picture, int compression, std::vector<uint8_t>* png,
               std::string* error);

// RenderProduct, then EncodePng.
bool RenderProductPng(const DecodedProduct& product, const RenderOptions& options,
                      std::vector<uint8_t>* png, std::string* error);

}  // namespace nimbrel

#endif  // NIMBREL_RENDER_RENDER_PNG_H_
