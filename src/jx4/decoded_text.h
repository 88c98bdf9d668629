// Decoded products as text for programs: one JSON object per product and
// line (JSON Lines), or CSV with one row per gate or raster cell.
//
// JSON: where the product is (file, entry, product id, category), the
// header fields (product code, name, units, site, position, times, VCP,
// elevation, thresholds, parameters), its packets (code, kind, layer,
// offset, size), and its image: for radials the gate ranges and each
// radial's start azimuth and width, for a raster its rows, columns and
// cell size; then the meaning of each level that occurs ("level_table"),
// the stored levels and the physical values, one array per radial or row,
// null where a level has no value (no data, below threshold, range folded).
// A product without an image says why ("no_image_reason"), one that does
// not decode says what is wrong ("error").
//
// CSV: the header line kCsvHeader, then per gate or cell the product's
// place, its radial, azimuth, width, gate and range (radial images) or its
// row, column and the cell centre's distance east and north of the radar
// (rasters), its level and its value (empty without one).
//
// Invariants: the text is valid UTF-8 JSON, or CSV whose fields are quoted
// where they hold a comma, a quote or a line end (lines end in \n), whatever
// the bytes of the file names and the product; the decoder's numbers (values,
// azimuths, widths, elevation) are the shortest texts that read back as the
// same float, ranges and distances (km, computed) are rounded to a
// millionth; angles are in degrees. The text is passed on as it is made.
#ifndef NIMBREL_JX4_DECODED_TEXT_H_
#define NIMBREL_JX4_DECODED_TEXT_H_

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "decode/decode_result.h"
#include "decode/decoded_product.h"

namespace nimbrel {

// "radial", "raster" or "none".
const char* ImageName(ImageKind kind);
// "value", "below-threshold", "no-data", "range-folded" or "class".
const char* LevelKindName(LevelKind kind);

// Which levels occur in the image (the levels a level table lists).
std::array<bool, kLevelCount> LevelsPresent(const DecodedProduct& product);

// Where a decoded product is stored.
struct ProductSource {
  std::string file;     // the .jx4 file
  std::string station;  // its station, e.g. "ktlx"
  int32_t entry = 0;
  uint32_t productId = 0;
  std::string category;  // the catalogue's for the id, else the image's; may be empty
};

// Text being made: kept in `text`, and written to `file` (when given) in
// pieces of about a MiB as it grows, so that a large image never needs all
// its text at once.
class TextOutput {
 public:
  explicit TextOutput(FILE* file = nullptr) : file_(file) {}
  std::string& text() { return text_; }
  // Writes what is held once it passes kSpillSize (everything with `all`);
  // false once a write has failed.
  bool Spill(bool all = false);

  static constexpr size_t kSpillSize = 1u << 20;

 private:
  FILE* file_;
  std::string text_;
  bool failed_ = false;
};

// One JSON line (newline included) for a product decoded with `result`.
void WriteProductJson(const ProductSource& source, const DecodedProduct& product,
                      const DecodeResult& result, TextOutput* out);

inline constexpr char kCsvHeader[] =
    "file,entry,product_id,category,radial,azimuth_deg,width_deg,gate,range_km,row,column,x_km,"
    "y_km,level,value\n";

// The CSV rows of a decoded product's image (none without one).
void WriteProductCsv(const ProductSource& source, const DecodedProduct& product, TextOutput* out);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_DECODED_TEXT_H_
