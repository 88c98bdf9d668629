#include "conversion/selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimbrel {

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t k20240501 = 19844 * kDay;  // 2024-05-01T00:00:00Z

}  // namespace

TEST(Selection, TimesInTheirFormsAndTheirLastSecond) {
  const struct {
    const char* text;
    bool valid;
    int64_t first;  // and, for `to`, the last second of the unit named
    int64_t last;
  } cases[] = {
      {"1970-01-01", true, 0, kDay - 1},
      {"2024-05-01", true, k20240501, k20240501 + kDay - 1},
      {"2024-05-01Z", true, k20240501, k20240501 + kDay - 1},
      {"2024-05-01T12:03", true, k20240501 + 43380, k20240501 + 43439},
      {"2024-05-01 12:03:12", true, k20240501 + 43392, k20240501 + 43392},
      {"2024-05-01t12:03:12z", true, k20240501 + 43392, k20240501 + 43392},
      {"2000-02-29", true, 11016 * kDay, 11017 * kDay - 1},
      {"2038-01-19T03:14:07Z", true, 2147483647, 2147483647},
      {"1900-03-01", true, -25508 * kDay, -25507 * kDay - 1},
      {"2023-02-29", false, 0, 0},
      {"1900-02-29", false, 0, 0},
      {"2024-13-01", false, 0, 0},
      {"2024-00-10", false, 0, 0},
      {"2024-05-32", false, 0, 0},
      {"2024-05-01T24:00", false, 0, 0},
      {"2024-05-01T12:60", false, 0, 0},
      {"2024-05-01T12:03:60", false, 0, 0},
      {"2024-05-01T12", false, 0, 0},
      {"2024-05-01T12:03:1", false, 0, 0},
      {"2024-05-01T12:03:12+00:00", false, 0, 0},
      {"2024-5-1", false, 0, 0},
      {"20240501", false, 0, 0},
      {"2024-05-01X12:03", false, 0, 0},
      {"", false, 0, 0},
      {"Z", false, 0, 0},
  };
  for (const auto& c : cases) {
    int64_t first = -1, last = -1;
    EXPECT_EQ(ParseUtcTime(c.text, false, &first), c.valid) << c.text;
    EXPECT_EQ(ParseUtcTime(c.text, true, &last), c.valid) << c.text;
    if (!c.valid) continue;
    EXPECT_EQ(first, c.first) << c.text;
    EXPECT_EQ(last, c.last) << c.text;
  }
}

TEST(Selection, ParsedFromWhatUsersWrite) {
  const struct {
    const char* what;
    SelectionTexts texts;
    Catalogue catalogue;
    std::string error;  // "": parsed
    std::vector<int32_t> ids;
    std::vector<std::string> stations;
  } cases[] = {
      {"nothing", {}, Catalogue::kClassic, "", {}, {}},
      {"categories in any case, lists and repeats",
       {{"n0q, N0U", "N0R,n0q"}, {}, "", ""}, Catalogue::kClassic, "", {1, 941, 991}, {}},
      {"NOW is N0W in the extended catalogue", {{"NOW", "N0W"}, {}, "", ""}, Catalogue::kExtended, "", {6}, {}},
      {"an extended category in a classic run", {{"N0Q,N0B"}, {}, "", ""}, Catalogue::kClassic,
       "category 'N0B' is only in the extended catalogue", {}, {}},
      {"an extended category", {{"N0B"}, {}, "", ""}, Catalogue::kExtended, "", {1531}, {}},
      {"an unknown category", {{"N0Q,XYZ"}, {}, "", ""}, Catalogue::kExtended, "unknown category 'XYZ'", {}, {}},
      {"a list with an empty item", {{"N0Q,"}, {}, "", ""}, Catalogue::kClassic,
       "an empty category in 'N0Q,'", {}, {}},
      {"stations and site ids, any case", {{}, {"KTLX,inx", "tlx"}, "", ""}, Catalogue::kClassic, "", {},
       {"kinx", "ktlx"}},
      {"a TDWR site", {{}, {"TORD", "ord"}, "", ""}, Catalogue::kClassic, "", {}, {"tord"}},
      {"a station whose first letter is wrong", {{}, {"XTLX"}, "", ""}, Catalogue::kClassic,
       "unknown station 'XTLX'", {}, {}},
      {"a station added by the extended table", {{}, {"KLGX"}, "", ""}, Catalogue::kClassic,
       "station 'KLGX' is only in the extended catalogue", {}, {}},
      {"and in an extended run", {{}, {"KLGX", "hdc"}, "", ""}, Catalogue::kExtended, "", {},
       {"khdc", "klgx"}},
      {"an id of 5 letters", {{}, {"KTLXX"}, "", ""}, Catalogue::kClassic, "unknown station 'KTLXX'", {}, {}},
      {"an empty station", {{}, {" "}, "", ""}, Catalogue::kClassic, "an empty station in ' '", {}, {}},
      {"a bad time", {{}, {}, "2024-02-30", ""}, Catalogue::kClassic,
       "the time '2024-02-30' is not a UTC date or time: write YYYY-MM-DD, YYYY-MM-DDTHH:MM or "
       "YYYY-MM-DDTHH:MM:SS", {}, {}},
      {"an empty range", {{}, {}, "2024-05-02", "2024-05-01T23:59"}, Catalogue::kClassic,
       "the time range is empty: '2024-05-02' is after '2024-05-01T23:59'", {}, {}},
      {"one day", {{}, {}, "2024-05-01", "2024-05-01"}, Catalogue::kClassic, "", {}, {}},
  };
  for (const auto& c : cases) {
    Selection selection;
    std::string error;
    bool parsed = ParseSelection(c.texts, c.catalogue, &selection, &error);
    EXPECT_EQ(parsed, c.error.empty()) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
    if (!parsed) continue;
    EXPECT_EQ(selection.productIds, c.ids) << c.what;
    EXPECT_EQ(selection.stations, c.stations) << c.what;
  }
}

TEST(Selection, SelectsWhatItNames) {
  Selection all;
  EXPECT_TRUE(all.SelectsEverything());
  EXPECT_TRUE(all.Selects(1, "ktlx", -5));
  Selection some;
  std::string error;
  ASSERT_TRUE(ParseSelection({{"N0Q,N0U"}, {"TLX"}, "2024-05-01", "2024-05-01"}, Catalogue::kClassic,
                             &some, &error))
      << error;
  EXPECT_FALSE(some.SelectsEverything());
  const struct {
    int32_t id;
    const char* station;
    int64_t time;
    bool selected;
  } cases[] = {
      {941, "ktlx", k20240501, true},     {991, "ktlx", k20240501 + kDay - 1, true},
      {1, "ktlx", k20240501, false},      {941, "kinx", k20240501, false},
      {941, "ktlx", k20240501 - 1, false}, {941, "ktlx", k20240501 + kDay, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(some.Selects(c.id, c.station, c.time), c.selected) << c.id << " " << c.station << " " << c.time;
  }
}

}  // namespace nimbrel
