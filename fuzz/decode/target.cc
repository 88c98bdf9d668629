// Feeds arbitrary bytes to the Level III decoder as one product image, then
// checks what it gave: a decoded image's levels fit its stated shape and the
// level table, the deep check agrees with the decode on success, and the
// product as jx4 decode writes it is valid JSON (and CSV rows of the
// image's size).
// With NIMBREL_WRITE_SEEDS=FOLDER it writes built products of every image
// packet there instead (seeds.sh uses it) and exits.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "decode/decode_product.h"
#include "jx4/decoded_text.h"
#include "support/symbology_builder.h"
#include "support/test_env.h"

using namespace nimbrel;

namespace {

void WriteSeeds(const std::string& folder) {
  std::array<uint16_t, 16> reflectivity{0x8002};
  for (int i = 1; i < 16; ++i) reflectivity[static_cast<size_t>(i)] = static_cast<uint16_t>(5 * i);
  std::vector<std::vector<uint8_t>> rows(16, std::vector<uint8_t>(16, 0));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < 16; ++c) rows[r][c] = static_cast<uint8_t>((r * c) % 16);
  }
  struct Seed {
    const char* name;
    int16_t code;
    std::array<uint16_t, 16> thresholds;
    bool compress;
    Bytes symbology;
  } seeds[] = {
      {"built_n0r", 19, reflectivity, false, SymbologyBlock({{RunLengthRadialPacket(40, MakeRadials(12, 40, 16, 0, 1))}})},
      {"built_n0q", 94, {0xFEC0, 5, 254}, true, SymbologyBlock({{DigitalRadialPacket(41, MakeRadials(12, 41, 256, 0, 2))}})},
      {"built_n0c", 161, {0x4396, 0, 0xC272, 0, 0, 255, 2}, false, SymbologyBlock({{TextPacket("x")}, {DigitalRadialPacket(9, MakeRadials(6, 9, 256, 0, 3))}})},
      {"built_ncr", 37, reflectivity, false, SymbologyBlock({{RasterPacket(0xBA07, rows)}})},
      {"built_dpa", 81, {0xFFC4, 125, 256}, false, SymbologyBlock({{PrecipArrayPacket(rows)}})},
  };
  for (const Seed& seed : seeds) {
    ImageProductFields made;
    made.fields.messageCode = seed.code;
    made.thresholds = seed.thresholds;
    made.compress = seed.compress;
    WriteFileBytes(folder + "/" + seed.name, BuildImageProduct(made, seed.symbology));
  }
}

// A JSON value's syntax, from `at`; false when it is not one. Numbers as
// JSON spells them (no NaN, no infinities), strings without raw control
// characters.
bool JsonValue(const std::string& text, size_t* at, int depth = 0) {
  auto peek = [&] { return *at < text.size() ? text[*at] : '\0'; };
  auto take = [&](char c) { return peek() == c ? (++*at, true) : false; };
  if (depth > 16) return false;
  char c = peek();
  if (c == '{' || c == '[') {
    char close = c == '{' ? '}' : ']';
    ++*at;
    if (take(close)) return true;
    do {
      if (c == '{' && !(JsonValue(text, at, depth + 1) && take(':'))) return false;
      if (!JsonValue(text, at, depth + 1)) return false;
    } while (take(','));
    return take(close);
  }
  if (c == '"') {
    for (++*at; *at < text.size(); ++*at) {
      unsigned char d = static_cast<unsigned char>(text[*at]);
      if (d < 0x20) return false;
      if (d == '\\') ++*at;
      else if (d == '"') return ++*at, true;
    }
    return false;
  }
  for (const char* word : {"null", "true", "false"}) {
    if (text.compare(*at, std::strlen(word), word) == 0) return *at += std::strlen(word), true;
  }
  size_t start = *at;
  take('-');
  while (std::isdigit(static_cast<unsigned char>(peek())) || peek() == '.' || peek() == 'e' ||
         peek() == 'E' || peek() == '+' || peek() == '-') {
    ++*at;
  }
  return *at > start && std::isdigit(static_cast<unsigned char>(text[*at - 1]));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* folder = std::getenv("NIMBREL_WRITE_SEEDS")) {
    WriteSeeds(folder);
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  // An exact-size copy, so that any read past the image is caught.
  std::vector<uint8_t> image(data, data + size);
  ProductDecoder decoder;
  DecodedProduct product;
  DecodeResult result = decoder.Decode(size == 0 ? nullptr : image.data(), size, &product);
  if (DecodeErrorText(result.error) == nullptr) std::abort();
  if (!result.ok() && product.image != ImageKind::kNone) std::abort();
  if (product.image == ImageKind::kRadial) {
    size_t cells = static_cast<size_t>(product.radialCount) * static_cast<size_t>(product.gateCount);
    if (product.levels.size() != cells || product.azimuths.size() != static_cast<size_t>(product.radialCount) ||
        product.radialCount > kMaxRadials || product.gateCount > kMaxGates) {
      std::abort();
    }
  } else if (product.image == ImageKind::kRaster) {
    if (product.levels.size() != static_cast<size_t>(product.rows) * static_cast<size_t>(product.columns) ||
        product.rows > kMaxRasterSide || product.columns > kMaxRasterSide) {
      std::abort();
    }
  }
  for (uint16_t level : product.levels) {
    if (level >= kLevelCount) std::abort();
  }
  for (const LevelInfo& info : product.levelTable) {
    if (info.kind == LevelKind::kValue && !std::isfinite(info.value)) std::abort();
  }
  std::vector<float> values;
  PhysicalValues(product, &values);
  // As jx4 decode writes it: one line of valid JSON, and a CSV row per gate
  // or cell (images of up to 64 Ki levels: the text of larger ones would
  // slow the run to a crawl).
  if (product.levels.size() <= (1u << 16)) {
    ProductSource source{"f\"\x01\xff.jx4", "ktlx", 0, 1, "N,Q"};
    TextOutput json;
    WriteProductJson(source, product, result, &json);
    size_t at = 0;
    if (!JsonValue(json.text(), &at) || json.text().substr(at) != "\n") std::abort();
    TextOutput csv;
    WriteProductCsv(source, product, &csv);
    if (static_cast<size_t>(std::count(csv.text().begin(), csv.text().end(), '\n')) != product.levels.size()) {
      std::abort();
    }
  }
  // What the deep check accepts, the decoder decodes.
  if (decoder.Check(size == 0 ? nullptr : image.data(), size).ok() && !result.ok()) std::abort();
  return 0;
}
