// Writes the bundled sample's product files into the folder named on the
// command line: three stations, two volume scans each, six product kinds
// per scan, plus a free-text message (a category the catalogue lacks) and a
// general status message, under their usual archive names. The content is
// the same on every run. examples/make_sample.sh packs them into sample.tar.
#include <cstdio>
#include <string>

#include "support/product_builder.h"
#include "support/test_env.h"

using namespace nimbrel;

namespace {

struct Site {
  const char* issuer;
  const char* site;
};

struct Kind {
  const char* category;
  const char* wmoHeading;
  int16_t code;
  int32_t bodySize;
};

struct Scan {
  const char* nameTime;  // yyyymmddhhmm in the file name
  const char* dayTime;   // ddhhmm in the heading
  uint32_t seconds;      // volume scan start, seconds after midnight
};

constexpr Site kSites[] = {{"KTLX", "TLX"}, {"KINX", "INX"}, {"KFWS", "FWS"}};
constexpr Kind kKinds[] = {
    {"N0R", "SDUS54", 19, 4200}, {"N0V", "SDUS84", 27, 5100}, {"N0S", "SDUS74", 56, 3300},
    {"NCR", "SDUS54", 37, 2600}, {"NET", "SDUS74", 41, 900},  {"NVL", "SDUS54", 57, 700},
};
constexpr Scan kScans[] = {{"200507031203", "031203", 43392}, {"200507031208", "031208", 43692}};

bool Write(const std::string& folder, const ProductSpec& fields, const std::string& nameTime) {
  std::string path = folder + "/" + ArchiveName(fields, nameTime);
  if (WriteFileBytes(path, BuildProduct(fields))) return true;
  std::fprintf(stderr, "make_sample: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const uint16_t day = DayNumber(2005, 7, 3);
  uint32_t seed = 1;
  for (const Site& site : kSites) {
    for (const Scan& scan : kScans) {
      for (const Kind& kind : kKinds) {
        ProductSpec fields;
        fields.issuer = site.issuer;
        fields.site = site.site;
        fields.category = kind.category;
        fields.wmoHeading = kind.wmoHeading;
        fields.dayTime = scan.dayTime;
        fields.messageCode = kind.code;
        fields.messageDate = fields.volumeScanDate = fields.generationDate = day;
        fields.volumeScanTime = scan.seconds;
        fields.messageTime = fields.generationTime = scan.seconds + 150;
        fields.bodySize = kind.bodySize + 16 * static_cast<int32_t>(seed % 7);
        fields.seed = seed++;
        if (!Write(folder, fields, scan.nameTime)) return 1;
      }
    }
  }

  ProductSpec text;  // free-text message: its category is not catalogued
  text.category = "FTM";
  text.wmoHeading = "NOUS64";
  text.dayTime = "031205";
  text.messageCode = 75;
  text.bodySize = 300;
  if (!Write(folder, text, "200507031205")) return 1;

  ProductSpec status;  // general status message: skipped by name
  status.category = "GSM";
  status.wmoHeading = "NXUS64";
  status.dayTime = "031200";
  status.messageCode = 2;
  status.bodySize = 80;
  return Write(folder, status, "200507031200") ? 0 : 1;
}
