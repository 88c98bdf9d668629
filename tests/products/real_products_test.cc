// Every real Level III file goes through the intake on its own; those the
// data manifest says would be stored land, whole, under the station and
// volume scan time it gives, and the others leave nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "output/volume_file.h"
#include "products/catalogue.h"
#include "products/product_intake.h"
#include "support/output_dir.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

struct Expectation {
  std::string file;
  bool stored = false;
  uint32_t productId = 0;
  std::string volumeName;  // e.g. kbmx_20150102_020528.jx4
};

std::vector<Expectation> ReadManifest() {
  std::ifstream in(TestdataDir() + "/MANIFEST.md");
  std::vector<Expectation> rows;
  std::string line;
  bool inLevel3 = false;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) inLevel3 = line.rfind("## level3/", 0) == 0;
    if (!inLevel3 || line.rfind("| ", 0) != 0) continue;
    std::vector<std::string> cells;
    size_t at = 2;
    for (size_t bar; (bar = line.find(" | ", at)) != std::string::npos; at = bar + 3) {
      cells.push_back(line.substr(at, bar - at));
    }
    if (cells.size() < 12 || cells[0] == "file" || cells[0].rfind("---", 0) == 0) continue;
    Expectation row;
    row.file = cells[0];
    // "yes: id 943, kbmx" and "2015-01-02 02:05:28 (day ...)"
    unsigned id = 0;
    char station[5] = {}, digits[6][5] = {};
    if (std::sscanf(cells[11].c_str(), "yes: id %u, %4[a-z]", &id, station) == 2) {
      if (std::sscanf(cells[9].c_str(), "%4[0-9]-%2[0-9]-%2[0-9] %2[0-9]:%2[0-9]:%2[0-9]",
                      digits[0], digits[1], digits[2], digits[3], digits[4], digits[5]) != 6) {
        continue;
      }
      row.stored = true;
      row.productId = id;
      row.volumeName = std::string(station) + "_" + digits[0] + digits[1] + digits[2] + "_" +
                       digits[3] + digits[4] + digits[5] + ".jx4";
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

TEST(RealProducts, StoredExactlyWhereTheManifestSays) {
  NIMBREL_REQUIRE_TESTDATA();
  std::vector<Expectation> rows = ReadManifest();
  ASSERT_GT(rows.size(), 200u);
  int storedCount = 0;
  for (const Expectation& row : rows) {
    std::vector<uint8_t> image = ReadFileBytes(TestdataDir() + "/level3/" + row.file);
    ASSERT_FALSE(image.empty()) << row.file;
    OutputDir out;
    Outcome outcome =
        ProcessProduct(out.context, row.file.c_str(), image.data(), static_cast<int32_t>(image.size()));
    EXPECT_EQ(outcome == Outcome::kStored, row.stored) << row.file;
    std::vector<std::string> made = out.Files();
    if (!row.stored) {
      EXPECT_TRUE(made.empty()) << row.file << " stored as " << made[0];
      continue;
    }
    ++storedCount;
    ASSERT_EQ(made, std::vector<std::string>{row.volumeName}) << row.file;
    std::vector<uint8_t> file = ReadFileBytes(out.File(row.volumeName));
    ASSERT_EQ(file.size(), kVolumeHeaderSize + image.size()) << row.file;
    VolumeFileHeader header;
    DecodeVolumeHeader(file.data(), &header);
    EXPECT_EQ(header.entryCount, 1) << row.file;
    EXPECT_EQ(header.entries[0].productId, row.productId) << row.file;
    EXPECT_TRUE(std::equal(image.begin(), image.end(), file.begin() + kVolumeHeaderSize))
        << row.file;
  }
  EXPECT_EQ(storedCount, 126);
}

// With the extended catalogue every real file whose category is in either
// table, whose site is a station of them and whose header passes is stored,
// whole, under its row's id, which for the added rows follows from the
// product code in the file's own header: the code itself for a volume
// product, code x 10 + the tilt's or segment's slot otherwise. Every
// category of the added table that the real files hold is among them.
TEST(RealProducts, TheExtendedCatalogueStoresEveryProductOfEitherTable) {
  NIMBREL_REQUIRE_TESTDATA();
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(TestdataDir() + "/level3")) {
    files.push_back(entry.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  std::set<std::string> addedCategories;
  int stored = 0;
  for (const std::string& name : files) {
    std::vector<uint8_t> image = ReadFileBytes(TestdataDir() + "/level3/" + name);
    if (image.size() < static_cast<size_t>(kProductCodesSize)) continue;
    char category[4], site[4];
    ReadProductCodes(image.data(), category, site);
    ProductHeader header = {};
    const ProductEntry* row = FindProduct(Catalogue::kExtended, category);
    const char* station = FindStation(Catalogue::kExtended, site);
    bool valid = DecodeProductHeader(image.data(), static_cast<int32_t>(image.size()), &header);
    bool expected = name.find("GSM") == std::string::npos && row != nullptr && station != nullptr && valid;

    OutputDir out;
    out.context.options.catalogue = Catalogue::kExtended;
    Outcome outcome = ProcessProduct(out.context, name.c_str(), image.data(), static_cast<int32_t>(image.size()));
    ASSERT_EQ(outcome == Outcome::kStored, expected) << name;
    if (!expected) continue;
    ++stored;
    char volumeName[kPathBufferSize];
    ASSERT_TRUE(MakeVolumeFileName(volumeName, station, VolumeTime(header.volumeScanDate, header.volumeScanTime)));
    ASSERT_EQ(out.Files(), std::vector<std::string>{volumeName}) << name;
    VolumeContents contents = ReadVolumeFile(out.File(volumeName));
    ASSERT_EQ(contents.entries.size(), 1u) << name;
    EXPECT_EQ(contents.entries[0].productId, static_cast<uint32_t>(row->id)) << name;
    EXPECT_EQ(contents.entries[0].image, image) << name;
    if (FindProductById(row->id) != nullptr) continue;  // a classic row (NOW is N0W)
    addedCategories.insert(row->categoryCode);
    bool byCode = row->id == header.productCode ||
                  (row->id / 10 == header.productCode && row->id % 10 >= 1 && row->id % 10 <= 9);
    EXPECT_TRUE(byCode) << name << ": id " << row->id << " for product code " << header.productCode;
  }
  EXPECT_GE(stored, 200);
  for (const char* modern : {"N0B", "N0G", "N0X", "N0C", "N0K", "N0H", "N0M", "HHC", "DAA", "DTA", "DU3",
                             "DOD", "DSD", "DPR", "DHR", "DPA", "NLL", "NML", "NLA", "NHL", "RCM", "SPD",
                             "PTA", "OHA", "RSL", "NC1", "NC5"}) {
    EXPECT_EQ(addedCategories.count(modern), 1u) << modern << " not stored from the real files";
  }
}

}  // namespace nimbrel
