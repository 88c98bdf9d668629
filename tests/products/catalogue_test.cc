#include "products/catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace nimbrel {

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

}  // namespace nimbrel
