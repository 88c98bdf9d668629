// jx4 decode run as the built program: its JSON read back by a real JSON
// parser gives exactly what the library decodes (built products of every
// image kind, and every real product stored in a .jx4 file); its CSV has a
// row per gate or cell with the same levels and values; the selection and
// the exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "decode/decode_product.h"
#include "support/jx4_program.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.push_back("");
  return parts;
}

// Each JSON line as "file|entry code image|azimuths|widths|levels|values",
// the numbers as Python reads them back ("n" for null).
constexpr char kReadBack[] = R"(import json, sys
for line in sys.stdin:
    p = json.loads(line)
    row = lambda key: ' '.join('n' if v is None else repr(v) for r in p.get(key, []) for v in r)
    flat = lambda key: ' '.join(repr(v) for v in p.get(key, []))
    print('%s|%d %d %s|%s|%s|%s|%s' % (p['file'], p['entry'], p['product_code'], p['image'], flat('azimuths_deg'),
          flat('widths_deg'), row('levels'), row('values')))
)";

bool HavePython() {
#ifdef _WIN32
  return false;  // the test pipes through the host's python3 only on POSIX
#else
  return RunCommand("command -v python3 >/dev/null") == 0;
#endif
}

// Numbers of a space-separated list, as floats ("n": NaN).
std::vector<float> Floats(const std::string& text) {
  std::vector<float> out;
  for (const std::string& word : Split(text, ' ')) {
    if (word.empty()) continue;
    out.push_back(word == "n" ? NAN : std::strtof(word.c_str(), nullptr));
  }
  return out;
}

bool SameFloats(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::isnan(a[i]) != std::isnan(b[i]) || (!std::isnan(a[i]) && a[i] != b[i])) return false;
  }
  return true;
}

const char* ImageName(ImageKind kind) {
  return kind == ImageKind::kRadial ? "radial" : kind == ImageKind::kRaster ? "raster" : "none";
}

class Jx4Decode : public Jx4Program {
 protected:
  // jx4 decode of `files` (in the fixture's folder) read back through
  // Python must be the library's decode of every stored image; returns the
  // number of images compared.
  int ExpectTheLibrarysDecode(const std::vector<std::string>& files) {
    Write("read_back.py", Bytes(kReadBack, kReadBack + sizeof kReadBack - 1));
    std::string arguments;
    for (const std::string& file : files) arguments += " " + Quote(file);
    Ran run = Jx4("decode" + arguments + " | python3 read_back.py");
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = Split(run.out, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    std::map<std::string, VolumeContents> contents;
    size_t products = 0;
    for (const std::string& file : files) {
      contents[file] = ReadVolumeFile(Path(file));
      products += contents[file].entries.size();
    }
    EXPECT_EQ(lines.size(), products);
    ProductDecoder decoder;
    DecodedProduct product;
    std::vector<float> values;
    int images = 0;
    for (const std::string& line : lines) {
      std::vector<std::string> fields = Split(line, '|');
      EXPECT_EQ(fields.size(), 6u) << line.substr(0, 80);
      if (fields.size() != 6 || contents.count(fields[0]) == 0) continue;
      const std::string file = fields[0];
      fields.erase(fields.begin());
      std::istringstream head(fields[0]);
      size_t entry = 0;
      int code = 0;
      std::string image;
      head >> entry >> code >> image;
      EXPECT_LT(entry, contents[file].entries.size()) << file;
      if (entry >= contents[file].entries.size()) continue;
      const Bytes& bytes = contents[file].entries[entry].image;
      std::string where = file + " entry " + std::to_string(entry);
      EXPECT_TRUE(decoder.Decode(bytes.data(), bytes.size(), &product).ok()) << where;
      EXPECT_EQ(code, product.productCode) << where;
      EXPECT_EQ(image, ImageName(product.image)) << where;
      EXPECT_TRUE(SameFloats(Floats(fields[1]), product.azimuths)) << where;
      EXPECT_TRUE(SameFloats(Floats(fields[2]), product.widths)) << where;
      std::vector<float> levels(product.levels.begin(), product.levels.end());
      EXPECT_TRUE(SameFloats(Floats(fields[3]), levels)) << where;
      PhysicalValues(product, &values);
      EXPECT_TRUE(SameFloats(Floats(fields[4]), values)) << where;
      images += product.image != ImageKind::kNone;
    }
    return images;
  }
};

}  // namespace

TEST_F(Jx4Decode, JsonIsTheLibrarysDecodeOfBuiltProducts) {
  if (!HavePython()) GTEST_SKIP() << "python3 is not installed";
  Write("built.jx4", ImageProductsVolume());
  EXPECT_EQ(ExpectTheLibrarysDecode({"built.jx4"}), 4);
}

TEST_F(Jx4Decode, JsonIsTheLibrarysDecodeOfEveryRealProduct) {
  NIMBREL_REQUIRE_TESTDATA();
  if (!HavePython()) GTEST_SKIP() << "python3 is not installed";
  std::vector<std::string> files = ConvertRealProducts("real");
  ASSERT_GT(files.size(), 10u);
  for (std::string& file : files) file = "real/" + file;
  int images = ExpectTheLibrarysDecode(files);
  EXPECT_GT(images, 80);
  std::printf("%zu .jx4 files, %d real products with an image decoded as the library does\n",
              files.size(), images);
}

// The fields a script relies on, as jq reads them.
#ifndef _WIN32  // a shell pipeline into jq
TEST_F(Jx4Decode, JsonFieldsOfEachImageKind) {
  if (RunCommand("command -v jq >/dev/null") != 0) GTEST_SKIP() << "jq is not installed";
  Write("built.jx4", ImageProductsVolume());
  Ran run = Jx4(
      "decode built.jx4 | jq -r '[.entry, .product_id, .category, .station, .site, .product_code, "
      ".name, .units, .volume_time, .elevation_deg, .compressed, .image, .radial_count // .rows, "
      ".gate_count // .columns, .first_range_km // .cell_size_km, .gate_spacing_km, "
      "(.gate_ranges_km // [])[1], (.azimuths_deg // [])[1], (.levels | length), (.values[0] | length), "
      "(.level_table | length), .no_image_reason, .packets[0].kind] | map(tostring) | join(\"|\")'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "0|1|N0R|ktlx|TLX|19|Base Reflectivity|dBZ|2005-07-03T12:03:12Z|0.5|false|radial|36|40|0|1|1|10.5|"
            "36|40|16|null|run-length radials\n"
            "1|941|N0Q|ktlx|TLX|94|Digital Base Reflectivity|dBZ|2005-07-03T12:03:12Z|0.5|true|radial|72|60|0|1|1|"
            "5|72|60|222|null|digital radials\n"
            "2|14|NCR|ktlx|TLX|37|Composite Reflectivity|dBZ|2005-07-03T12:03:12Z|null|false|raster|24|24|1|null|"
            "null|null|24|24|16|null|run-length raster\n"
            "3|24|NST|ktlx|TLX|58|Storm Tracking Information||2005-07-03T12:03:12Z|null|false|none|null|null|null|"
            "null|null|null|0|0|0|the symbology block holds no image packet|text\n"
            "4|1531|N0B|ktlx|TLX|153|Super-Resolution Digital Base Reflectivity|dBZ|2005-07-03T12:03:12Z|0.5|"
            "true|radial|720|80|0|0.25|0.25|0.5|720|80|256|null|digital radials\n");
}
#endif  // _WIN32

TEST_F(Jx4Decode, CsvHasARowPerGateOrCell) {
  Write("a,b.jx4", ImageProductsVolume());
  Ran run = Jx4("decode --format csv --id 941 --category NCR a,b.jx4");
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = Split(run.out, '\n');
  ASSERT_FALSE(lines.empty());
  lines.pop_back();  // after the last line end
  ASSERT_EQ(lines.size(), 1u + 72 * 60 + 24 * 24);
  EXPECT_EQ(lines[0],
            "file,entry,product_id,category,radial,azimuth_deg,width_deg,gate,range_km,row,column,x_km,"
            "y_km,level,value");
  ProductDecoder decoder;
  DecodedProduct n0q, ncr;
  std::vector<std::pair<uint32_t, Bytes>> products = ImageProducts();
  ASSERT_TRUE(decoder.Decode(products[1].second.data(), products[1].second.size(), &n0q).ok());
  ASSERT_TRUE(decoder.Decode(products[2].second.data(), products[2].second.size(), &ncr).ok());
  std::vector<float> n0qValues, ncrValues;
  PhysicalValues(n0q, &n0qValues);
  PhysicalValues(ncr, &ncrValues);
  // "a,b.jx4",1,941,N0Q,radial,azimuth,width,gate,range,,,,,level,value
  for (size_t i = 0; i < 72 * 60; ++i) {
    const std::string& line = lines[1 + i];
    ASSERT_EQ(line.rfind("\"a,b.jx4\",1,941,N0Q,", 0), 0u) << line;
    std::vector<std::string> f = Split(line.substr(10), ',');
    ASSERT_EQ(f.size(), 14u) << line;
    size_t radial = i / 60, gate = i % 60;
    EXPECT_EQ(f[3], std::to_string(radial));
    EXPECT_EQ(std::strtof(f[4].c_str(), nullptr), n0q.azimuths[radial]) << line;
    EXPECT_EQ(f[6], std::to_string(gate));
    EXPECT_EQ(std::strtod(f[7].c_str(), nullptr), static_cast<double>(gate)) << line;  // 1 km gates from 0
    EXPECT_EQ(f[8] + f[9] + f[10] + f[11], "") << line;
    EXPECT_EQ(f[12], std::to_string(n0q.levels[i])) << line;
    if (std::isnan(n0qValues[i])) {
      EXPECT_EQ(f[13], "") << line;
    } else {
      EXPECT_EQ(std::strtof(f[13].c_str(), nullptr), n0qValues[i]) << line;
    }
  }
  // Raster rows: row 0 is the north edge, x and y the cell centre's km east
  // and north of the radar (24 cells of 1 km: -11.5 .. 11.5).
  const std::string first = lines[1 + 72 * 60], last = lines.back();
  EXPECT_EQ(first, "\"a,b.jx4\",2,14,NCR,,,,,,0,0,-11.5,11.5," + std::to_string(ncr.levels[0]) + ",") << first;
  EXPECT_EQ(last.substr(0, last.rfind(',', last.rfind(',') - 1)), "\"a,b.jx4\",2,14,NCR,,,,,,23,23,11.5,-11.5");
  EXPECT_EQ(std::strtof(last.substr(last.rfind(',') + 1).c_str(), nullptr), ncrValues.back());
}

TEST_F(Jx4Decode, SelectionAndExitStatuses) {
  Write("built.jx4", ImageProductsVolume());
  Bytes damaged = ImageProductsVolume();
  std::vector<std::pair<uint32_t, Bytes>> products = ImageProducts();
  size_t n0q = 980 + products[0].second.size();
  damaged[n0q + 150 + (products[1].second.size() - 150) / 2] ^= 0xFF;  // inside its bzip2 symbology
  Write("damaged.jx4", damaged);
  Write("empty.jx4", {});
  const struct {
    const char* arguments;
    int status;
    int lines;          // JSON lines (products) on standard output
    const char* error;  // a line on standard error, or ""
  } cases[] = {
      {"decode built.jx4", 0, 5, ""},
      {"decode .", 1, 10, ""},  // the folder's three files (the damaged one named with the system's separator)
      {"decode --id 1 built.jx4", 0, 1, ""},
      {"decode --id 1 --id 14 --id 99 built.jx4", 0, 2, ""},
      {"decode --category n0q built.jx4", 0, 1, ""},
      {"decode --category N0B built.jx4", 0, 1, ""},  // not in the catalogue: by the image's own code
      {"decode --id 1531 built.jx4", 0, 1, ""},
      {"decode --category NST built.jx4", 0, 1, ""},  // no image: its header still
      {"decode --category XYZ built.jx4", 1, 0, "jx4: no product in the files matches the selection\n"},
      {"decode empty.jx4", 0, 0, ""},  // no product stored: nothing to decode
      {"decode --id 1 empty.jx4", 1, 0, "jx4: no product in the files matches the selection\n"},
      {"decode --category N0QQ built.jx4", 2, 0,
       "jx4: 'N0QQ' is not a category code: 3 letters or digits, e.g. N0Q\n"},
      {"decode --format xml built.jx4", 2, 0, ""},
      {"decode --id -1 built.jx4", 2, 0, ""},
      {"decode", 2, 0, ""},
      {"decode missing.jx4 built.jx4", 1, 5, "jx4: cannot read 'missing.jx4': it does not exist; check the path\n"},
      {"decode damaged.jx4", 1, 5,
       "jx4: 'damaged.jx4' entry 1 (id 941, N0Q) does not decode: compressed symbology does not inflate "
       "at message byte 120\n"},
  };
  for (const auto& c : cases) {
    Ran run = Jx4(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), c.lines) << c.arguments;
    if (*c.error != '\0') {
      EXPECT_EQ(run.err, c.error) << c.arguments;
    }
  }
  Ran damagedJson = Jx4("decode --id 941 damaged.jx4");
  EXPECT_NE(damagedJson.out.find("\"image\":\"none\",\"error\":\"compressed symbology does not inflate"),
            std::string::npos)
      << damagedJson.out;
  Ran help = Jx4("decode --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
}

}  // namespace nimbrel
