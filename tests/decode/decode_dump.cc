// Test tool: decodes Level III product files and prints what the decoder
// found, for people (--summary) or for the cross-check against the npm
// reader (--json: one line per file, the radials' azimuths and levels).
// Feed-framed files are unframed first, as the intake would.
//
//   decode_dump --summary FILE...
//   decode_dump --json FILE...
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "decode/decode_product.h"
#include "products/framed_product.h"
#include "support/test_env.h"

using namespace nimbrel;

namespace {

const char* ImageName(ImageKind kind) {
  return kind == ImageKind::kRadial ? "radial" : kind == ImageKind::kRaster ? "raster" : "none";
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Summary(const std::string& path, const DecodeResult& result, const DecodedProduct& p,
             const DecodeResult& check) {
  std::printf("%-36s %s", BaseName(path).c_str(), DescribeDecodeResult(result).c_str());
  if (!check.ok()) std::printf(" [check: %s]", DescribeDecodeResult(check).c_str());
  std::printf(" code=%d %s%s cat=%s st=%s elev=%s%.1f units=%s image=%s", p.productCode,
              p.info ? p.info->abbreviation : "?", p.compressed ? " bz2" : "", p.category,
              p.station, p.hasElevation ? "" : "-", p.elevationDegrees, p.units,
              ImageName(p.image));
  if (p.image == ImageKind::kRadial) {
    std::printf(" pkt=%x radials=%d gates=%d first=%.2f km spacing=%.2f km az0=%.1f w0=%.1f",
                p.imagePacketCode, p.radialCount, p.gateCount, p.firstRangeKm, p.gateSpacingKm,
                p.azimuths[0], p.widths[0]);
  } else if (p.image == ImageKind::kRaster) {
    std::printf(" pkt=%x rows=%d columns=%d cell=%.2f km", p.imagePacketCode, p.rows, p.columns,
                p.cellSizeKm);
  } else {
    std::printf(" (%s)", p.noImageReason);
  }
  if (p.image != ImageKind::kNone) {
    int histogram[kLevelCount] = {};
    for (uint16_t level : p.levels) ++histogram[level < kLevelCount ? level : 0];
    int maxLevel = 0;
    float maxValue = -INFINITY;
    for (int level = 0; level < kLevelCount; ++level) {
      if (histogram[level] == 0) continue;
      maxLevel = level;
      float value = LevelValue(p, static_cast<uint16_t>(level));
      if (!std::isnan(value) && value > maxValue) maxValue = value;
    }
    std::printf(" maxlevel=%d maxvalue=%g", maxLevel, maxValue);
  }
  std::printf(" packets=");
  for (size_t i = 0; i < p.packets.size() && i < 6; ++i) {
    std::printf("%s%x/%u", i ? "," : "", p.packets[i].code, p.packets[i].size);
  }
  if (p.packets.size() > 6) std::printf(",...(%zu)", p.packets.size());
  std::printf("\n");
}

void Json(const std::string& path, const DecodeResult& result, const DecodedProduct& p) {
  std::printf("{\"file\":\"%s\",\"ok\":%s,\"code\":%d,\"image\":\"%s\"", BaseName(path).c_str(),
              result.ok() ? "true" : "false", p.productCode, ImageName(p.image));
  if (result.ok() && p.image == ImageKind::kRadial) {
    std::printf(",\"values\":[");
    for (int level = 0; level < kLevelCount; ++level) {
      float value = LevelValue(p, static_cast<uint16_t>(level));
      if (std::isnan(value)) {
        std::printf("%snull", level ? "," : "");
      } else {
        std::printf("%s%.9g", level ? "," : "", value);
      }
    }
    std::printf("],\"gates\":%d,\"radials\":[", p.gateCount);
    for (int r = 0; r < p.radialCount; ++r) {
      std::printf("%s[%.1f,%.1f,[", r ? "," : "", p.azimuths[static_cast<size_t>(r)],
                  p.widths[static_cast<size_t>(r)]);
      const uint16_t* row = p.levels.data() + static_cast<size_t>(r) * p.gateCount;
      for (int g = 0; g < p.gateCount; ++g) std::printf("%s%u", g ? "," : "", row[g]);
      std::printf("]]");
    }
    std::printf("]");
  }
  std::printf("}\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || (std::strcmp(argv[1], "--summary") != 0 && std::strcmp(argv[1], "--json") != 0)) {
    std::fprintf(stderr, "usage: decode_dump --summary|--json FILE...\n");
    return 2;
  }
  bool json = std::strcmp(argv[1], "--json") == 0;
  ProductDecoder decoder;
  DecodedProduct product;
  for (int i = 2; i < argc; ++i) {
    std::vector<uint8_t> image = ReadFileBytes(argv[i]);
    if (LooksFramed(image.data(), image.size())) {
      std::vector<UnframedProduct> products = UnframeProducts(image.data(), image.size());
      if (!products.empty()) image = products.front().image;
    }
    DecodeResult result = decoder.Decode(image.data(), image.size(), &product);
    if (json) {
      Json(argv[i], result, product);
    } else {
      Summary(argv[i], result, product, decoder.Check(image.data(), image.size()));
    }
  }
  return 0;
}
