#include "products/catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

namespace nimbrel {

namespace {

// The lookups as plain scans in table order, the way the classic catalogue
// was first defined: what the indexed lookups must answer, string for
// string.
bool SameIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 32) : *a;
    char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 32) : *b;
    if (x != y) return false;
    if (x == 0) return true;
  }
}

template <size_t kRows>
const ProductEntry* ScanCode(const ProductEntry (&rows)[kRows], const char* code) {
  for (const ProductEntry& row : rows) {
    if (SameIgnoringCase(row.categoryCode, code)) return &row;
  }
  return nullptr;
}

template <size_t kRows>
const char* ScanSite(const char* const (&stations)[kRows], const char* site) {
  for (const char* station : stations) {
    if (SameIgnoringCase(station + 1, site)) return station;
  }
  return nullptr;
}

const char kTilts[] = "0A1B23XYZ";  // slots 1 to 9
const char* const kAngles[] = {"0.5\xB0", "0.9\xB0", "1.5\xB0", "1.8\xB0", "2.5\xB0",
                               "3.5\xB0", "low tilt X", "low tilt Y", "0.3\xB0"};

}  // namespace

TEST(Catalogue, TablesHaveTheirShape) {
  std::set<int32_t> ids;
  std::set<std::string> codes;
  for (const ProductEntry& row : kProductCatalogue) {
    ASSERT_EQ(std::strlen(row.categoryCode), 3u) << row.categoryCode;
    EXPECT_NE(row.id, kNoProductId);
    ids.insert(row.id);
    codes.insert(row.categoryCode);
  }
  EXPECT_EQ(ids.size(), 56u);
  EXPECT_EQ(codes.size(), 56u);
  EXPECT_STREQ(kProductCatalogue[0].name, "Base Reflectivity 0.5\xB0");
  EXPECT_STREQ(kProductCatalogue[55].categoryCode, "EET");
  for (const ProductEntry& row : kExtendedProducts) {
    ASSERT_EQ(std::strlen(row.categoryCode), 3u) << row.categoryCode;
    EXPECT_TRUE(ids.insert(row.id).second) << "id of a classic row: " << row.id;
    EXPECT_TRUE(codes.insert(row.categoryCode).second) << row.categoryCode;
  }
  EXPECT_EQ(ids.size(), 162u);

  std::set<std::string> sites;
  int k = 0, t = 0, p = 0;
  for (const char* station : kStationIds) {
    ASSERT_EQ(std::strlen(station), 4u);
    sites.insert(station + 1);
    k += station[0] == 'k';
    t += station[0] == 't';
    p += station[0] == 'p';
  }
  EXPECT_EQ(sites.size(), 200u);
  EXPECT_EQ(k, 142);
  EXPECT_EQ(t, 46);
  EXPECT_EQ(p, 12);
  EXPECT_STREQ(kStationIds[0], "pabc");
  EXPECT_STREQ(kStationIds[199], "tmke");
  for (const char* station : kExtendedStationIds) {
    ASSERT_EQ(std::strlen(station), 4u);
    EXPECT_TRUE(sites.insert(station + 1).second) << station;
  }
}

TEST(Catalogue, FindProductByCode) {
  struct Case {
    const char* code;
    int32_t id;
  } cases[] = {
      {"N0R", 1},   {"n0r", 1},   {"N0r", 1},          {"EET", 135},        {"DVL", 134},
      {"X2S", 1002}, {"TR0", 1810}, {"n0q", 941},       {"N0", kNoProductId}, {"N0RX", kNoProductId},
      {"", kNoProductId}, {"GSM", kNoProductId}, {"N0R ", kNoProductId},
  };
  for (const Case& c : cases) EXPECT_EQ(FindProductByCode(c.code), c.id) << c.code;
  EXPECT_EQ(FindProductByCode(nullptr), kNoProductId);
}

TEST(Catalogue, FindProductById) {
  ASSERT_NE(FindProductById(1810), nullptr);
  EXPECT_STREQ(FindProductById(1810)->categoryCode, "TR0");
  EXPECT_STREQ(FindProductById(1)->categoryCode, "N0R");
  for (int32_t missing : {13, 17, 29, 33, 19 + 1000, kNoProductId, 0, -1}) {
    EXPECT_EQ(FindProductById(missing), nullptr) << missing;
  }
}

TEST(Catalogue, FindStation) {
  struct Case {
    const char* site;
    const char* station;  // null: not found
  } cases[] = {
      {"TLX", "ktlx"}, {"tlx", "ktlx"}, {"ABC", "pabc"}, {"JUA", "tjua"}, {"SJU", "tsju"},
      {"DFX", "kdfx"}, {"DFW", "tdfw"}, {"MKE", "tmke"}, {"XYZ", nullptr}, {"KTLX", nullptr},
      {"TL", nullptr}, {"", nullptr},
  };
  for (const Case& c : cases) {
    const char* found = FindStation(c.site);
    if (c.station == nullptr) {
      EXPECT_EQ(found, nullptr) << c.site;
    } else {
      EXPECT_STREQ(found, c.station) << c.site;
    }
  }
}

// Every extended row's id and name follow from its category alone: the
// tilt's slot, the family's product code, the tilt's nominal angle.
TEST(Catalogue, ExtendedIdsAndNamesFollowTheRule) {
  const std::map<char, std::pair<int32_t, std::string>> families = {
      {'B', {153, "Super-Resolution Reflectivity"}}, {'G', {154, "Super-Resolution Velocity"}},
      {'X', {159, "Differential Reflectivity"}},     {'C', {161, "Correlation Coefficient"}},
      {'K', {163, "Specific Differential Phase"}},   {'H', {165, "Hydrometeor Classification"}},
      {'M', {166, "Melting Layer"}},                 {'F', {113, "Power Removed Control"}},
      {'Q', {94, "Digital Base Reflectivity"}},      {'U', {99, "Digital Base Velocity"}},
  };
  const std::map<std::string, int32_t> volumes = {
      {"DHR", 32},  {"NLL", 65},  {"NML", 66},  {"NLA", 67},  {"RCM", 74},   {"DPA", 81},
      {"SPD", 82},  {"NHL", 90},  {"RSL", 152}, {"OHA", 169}, {"DAA", 170},  {"PTA", 171},
      {"DTA", 172}, {"DOD", 174}, {"DSD", 175}, {"DPR", 176}, {"HHC", 177},  {"NRR", 197},
      {"DU3", 1731}, {"DU6", 1732}, {"NC1", 341}, {"NC2", 342}, {"NC3", 343}, {"NC4", 344},
      {"NC5", 345}, {"TZ0", 1800}, {"TZ1", 1801}, {"TZ2", 1802},
  };
  int perTilt = 0, volume = 0;
  for (const ProductEntry& row : kExtendedProducts) {
    std::string code = row.categoryCode;
    const char* tilt = std::strchr(kTilts, code[1]);
    auto family = families.find(code[2]);
    if (code[0] == 'N' && tilt != nullptr && family != families.end()) {
      int slot = static_cast<int>(tilt - kTilts) + 1;
      EXPECT_EQ(row.id, family->second.first * 10 + slot) << code;
      EXPECT_EQ(row.name, family->second.second + " " + kAngles[slot - 1]) << code;
      ++perTilt;
    } else {
      ASSERT_EQ(volumes.count(code), 1u) << code << " follows no rule";
      EXPECT_EQ(row.id, volumes.at(code)) << code;
      ++volume;
    }
  }
  EXPECT_EQ(perTilt, 8 * 9 + 2 * 3);
  EXPECT_EQ(volume, 28);
  EXPECT_EQ(perTilt + volume, kExtendedProductCount);
}

// The indexed lookups answer as scans of the tables would, for every code
// of letters and digits and for texts of other lengths; the classic
// catalogue never sees an extended row or station.
TEST(Catalogue, LookupsAnswerAsTheTablesSay) {
  const char kChars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  char code[4] = {};
  for (char a : std::string(kChars)) {
    for (char b : std::string(kChars)) {
      for (char c : std::string(kChars)) {
        code[0] = a, code[1] = b, code[2] = c;
        const ProductEntry* classic = ScanCode(kProductCatalogue, code);
        const ProductEntry* added = ScanCode(kExtendedProducts, code);
        ASSERT_EQ(FindProduct(Catalogue::kClassic, code), classic) << code;
        ASSERT_EQ(FindProductByCode(code), classic != nullptr ? classic->id : kNoProductId) << code;
        if (!SameIgnoringCase(code, "NOW")) {
          ASSERT_EQ(FindProduct(Catalogue::kExtended, code), classic != nullptr ? classic : added) << code;
        }
        ASSERT_EQ(FindStation(code), ScanSite(kStationIds, code)) << code;
        const char* station = ScanSite(kStationIds, code);
        if (station == nullptr) station = ScanSite(kExtendedStationIds, code);
        ASSERT_EQ(FindStation(Catalogue::kExtended, code), station) << code;
      }
    }
  }
  EXPECT_EQ(FindProduct(Catalogue::kExtended, "now")->id, 6);
  EXPECT_EQ(FindProduct(Catalogue::kClassic, "NOW"), nullptr);
  for (const char* odd : {"", "N0", "N0RX", "N0R ", "N0\xB0", "\xD0\xAF" "R"}) {
    EXPECT_EQ(FindProduct(Catalogue::kExtended, odd), nullptr) << odd;
    EXPECT_EQ(FindProductByCode(odd), kNoProductId) << odd;
    EXPECT_EQ(FindStation(Catalogue::kExtended, odd), nullptr) << odd;
  }
  EXPECT_EQ(FindProduct(Catalogue::kExtended, nullptr), nullptr);
  EXPECT_EQ(FindProductByCode(nullptr), kNoProductId);

  for (const ProductEntry& row : kProductCatalogue) {
    EXPECT_EQ(FindProductById(row.id), &row);
    EXPECT_EQ(FindProductById(Catalogue::kExtended, row.id), &row);
  }
  for (const ProductEntry& row : kExtendedProducts) {
    EXPECT_EQ(FindProductById(row.id), nullptr) << row.id;
    EXPECT_EQ(FindProductById(Catalogue::kExtended, row.id), &row);
  }
  for (int32_t missing : {13, 17, 29, 33, 19 + 1000, 1530, 1540, 1803, kNoProductId, 0, -1}) {
    EXPECT_EQ(FindProductById(Catalogue::kExtended, missing), nullptr) << missing;
  }
}

TEST(Catalogue, NamesOfTheChoices) {
  Catalogue choice = Catalogue::kClassic;
  EXPECT_TRUE(ParseCatalogue("extended", &choice));
  EXPECT_EQ(choice, Catalogue::kExtended);
  EXPECT_TRUE(ParseCatalogue("classic", &choice));
  EXPECT_EQ(choice, Catalogue::kClassic);
  for (const char* wrong : {"", "Extended", "full", "classic "}) {
    EXPECT_FALSE(ParseCatalogue(wrong, &choice)) << wrong;
  }
  EXPECT_STREQ(CatalogueName(Catalogue::kExtended), "extended");
}

}  // namespace nimbrel
