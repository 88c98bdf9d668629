#include "products/archive_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/product_builder.h"

namespace nimbrel {

TEST(ArchiveName, FromHeadingAndVolumeScan) {
  constexpr int32_t kJuly3 = 1120392192;        // 2005-07-03 12:03:12 UTC
  constexpr int32_t kJuly31 = 1122854340;       // 2005-07-31 23:59:00 UTC
  constexpr int32_t kDecember31 = 1136073540;   // 2005-12-31 23:59:00 UTC
  const struct {
    const char* what;
    std::string heading;  // the first 30 bytes
    int32_t volumeTime;
    const char* name;     // null: none
  } cases[] = {
      {"same day", "SDUS54 KTLX 031203\r\r\nN0RTLX\r\r\n", kJuly3, "KTLX_SDUS54_N0RTLX_200507031203"},
      {"a later day of the month", "SDUS54 KTLX 041203\r\r\nN0RTLX\r\r\n", kJuly3,
       "KTLX_SDUS54_N0RTLX_200507041203"},
      {"sent after the month's end", "SDUS54 KTLX 010001\r\r\nN0RTLX\r\r\n", kJuly31,
       "KTLX_SDUS54_N0RTLX_200508010001"},
      {"sent after the year's end", "SDUS54 KTLX 010002\r\r\nN0QTLX\r\r\n", kDecember31,
       "KTLX_SDUS54_N0QTLX_200601010002"},
      {"lower-case AWIPS id", "SDUS54 KTLX 031203\r\r\nn0rtlx\r\r\n", kJuly3,
       "KTLX_SDUS54_n0rtlx_200507031203"},
      {"line feeds only", "SDUS54 KTLX 031203\n\n\nN0RTLX\n\n\n", kJuly3,
       "KTLX_SDUS54_N0RTLX_200507031203"},
      {"no heading", std::string(30, '\0'), kJuly3, nullptr},
      {"slash in the office", "SDUS54 K/LX 031203\r\r\nN0RTLX\r\r\n", kJuly3, nullptr},
      {"dot in the AWIPS id", "SDUS54 KTLX 031203\r\r\nN0R..X\r\r\n", kJuly3, nullptr},
      {"no blank after the data type", "SDUS54_KTLX 031203\r\r\nN0RTLX\r\r\n", kJuly3, nullptr},
      {"letter in the time", "SDUS54 KTLX 03120A\r\r\nN0RTLX\r\r\n", kJuly3, nullptr},
      {"day 00", "SDUS54 KTLX 001203\r\r\nN0RTLX\r\r\n", kJuly3, nullptr},
      {"day 32", "SDUS54 KTLX 321203\r\r\nN0RTLX\r\r\n", kJuly3, nullptr},
      {"hour 24", "SDUS54 KTLX 032403\r\r\nN0RTLX\r\r\n", kJuly3, nullptr},
      {"minute 60", "SDUS54 KTLX 031260\r\r\nN0RTLX\r\r\n", kJuly3, nullptr},
      {"heading with a BBB group", "SDUS54 KTLX 031203 RRA\r\r\nN0RTL", kJuly3, nullptr},
      {"volume time before 1970", "SDUS54 KTLX 031203\r\r\nN0RTLX\r\r\n", -1, nullptr},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.heading.size(), 30u) << c.what;
    std::vector<uint8_t> image(c.heading.begin(), c.heading.end());
    image.resize(350, 7);
    char name[kArchiveNameSize] = "untouched";
    bool made = MakeArchiveName(image.data(), static_cast<int32_t>(image.size()), c.volumeTime, name);
    EXPECT_EQ(made, c.name != nullptr) << c.what;
    EXPECT_STREQ(name, c.name != nullptr ? c.name : "untouched") << c.what;
  }
  std::vector<uint8_t> cut(29, 'S');
  char name[kArchiveNameSize] = "untouched";
  EXPECT_FALSE(MakeArchiveName(cut.data(), 29, kJuly3, name));
}

TEST(ArchiveName, IsTheBuildersArchiveName) {
  ProductSpec fields;
  fields.issuer = "KFWS";
  fields.wmoHeading = "SDUS84";
  fields.category = "N0V";
  fields.site = "FWS";
  std::vector<uint8_t> image = BuildProduct(fields);
  char name[kArchiveNameSize];
  ASSERT_TRUE(MakeArchiveName(image.data(), static_cast<int32_t>(image.size()), 1120392192, name));
  EXPECT_EQ(name, ArchiveName(fields, "200507031203"));
}

}  // namespace nimbrel
