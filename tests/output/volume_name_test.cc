#include "output/volume_name.h"

#include <gtest/gtest.h>

#include <string>

namespace nimbrel {

namespace {

constexpr int32_t kTime = 1714564992;  // 2024-05-01 12:03:12 UTC

// The path as this system writes it, from one written with '/'.
std::string Native(std::string path) {
  for (char& c : path) {
    if (c == '/') c = kPathSeparator;
  }
  return path;
}

}  // namespace

TEST(VolumeName, PathsInEveryLayout) {
  const struct {
    const char* station;
    int32_t time;
    VolumeLayout layout;
    int32_t part;
    const char* path;  // null: none
  } cases[] = {
      {"ktlx", kTime, VolumeLayout::kFlat, 1, "ktlx_20240501_120312.jx4"},
      {"ktlx", kTime, VolumeLayout::kFlat, 2, "ktlx_20240501_120312_2.jx4"},
      {"ktlx", kTime, VolumeLayout::kFlat, 10, "ktlx_20240501_120312_10.jx4"},
      {"ktlx", kTime, VolumeLayout::kFlat, kMaxVolumeParts, "ktlx_20240501_120312_99.jx4"},
      {"ktlx", kTime, VolumeLayout::kStation, 1, "ktlx/ktlx_20240501_120312.jx4"},
      {"ktlx", kTime, VolumeLayout::kStationYear, 3, "ktlx/2024/ktlx_20240501_120312_3.jx4"},
      {"ktlx", kTime, VolumeLayout::kStationYearMonth, 1, "ktlx/2024/05/ktlx_20240501_120312.jx4"},
      {"pabc", 2147483647, VolumeLayout::kStationYearMonthDay, 1, "pabc/2038/01/19/pabc_20380119_031407.jx4"},
      {"ktlx", 0, VolumeLayout::kStationYearMonthDay, 1, "ktlx/1970/01/01/ktlx_19700101_000000.jx4"},
      {"ktlx", -1, VolumeLayout::kFlat, 1, nullptr},
      {"ktlx", kTime, VolumeLayout::kFlat, 0, nullptr},
      {"ktlx", kTime, VolumeLayout::kFlat, kMaxVolumeParts + 1, nullptr},
  };
  for (const auto& c : cases) {
    char buffer[kPathBufferSize] = "untouched";
    bool made = MakeVolumePath(buffer, c.station, c.time, c.layout, c.part);
    EXPECT_EQ(made, c.path != nullptr) << c.path;
    EXPECT_EQ(buffer, c.path != nullptr ? Native(c.path) : "untouched");
  }
  // A station of any length stays inside the buffer.
  std::string longStation(300, 's');
  for (int layout = 0; layout < static_cast<int>(VolumeLayout::kCount); ++layout) {
    char buffer[kPathBufferSize + 1];
    buffer[kPathBufferSize] = '!';
    ASSERT_TRUE(MakeVolumePath(buffer, longStation.c_str(), kTime, static_cast<VolumeLayout>(layout), 99));
    EXPECT_EQ(buffer[kPathBufferSize], '!');
    EXPECT_LT(std::string(buffer).size(), static_cast<size_t>(kPathBufferSize));
  }
}

TEST(VolumeName, PartsReadBackFromNames) {
  const struct {
    const char* name;
    int32_t part;
    const char* first;
  } cases[] = {
      {"ktlx_20240501_120312.jx4", 1, "ktlx_20240501_120312.jx4"},
      {"ktlx_20240501_120312_2.jx4", 2, "ktlx_20240501_120312.jx4"},
      {"ktlx_20240501_120312_99.jx4", 99, "ktlx_20240501_120312.jx4"},
      {"tjua_19951015_100200_3.jx4", 3, "tjua_19951015_100200.jx4"},
      {"k_20240501_120312.jx4", 1, "k_20240501_120312.jx4"},
      {"ktlx_20240501_120312_1.jx4", 0, ""},
      {"ktlx_20240501_120312_02.jx4", 0, ""},
      {"ktlx_20240501_120312_100.jx4", 0, ""},
      {"ktlx_20240501_12031.jx4", 0, ""},
      {"ktlx_2024050_120312.jx4", 0, ""},
      {"ktlx-20240501_120312.jx4", 0, ""},
      {"_20240501_120312.jx4", 0, ""},
      {"toolongst_20240501_120312.jx4", 0, ""},
      {"ktlx_20240501_120312.jx5", 0, ""},
      {"ktlx_20240501_120312", 0, ""},
      {".jx4", 0, ""},
      {"", 0, ""},
  };
  for (const auto& c : cases) {
    std::string first;
    EXPECT_EQ(VolumePart(c.name, &first), c.part) << c.name;
    EXPECT_EQ(first, c.first) << c.name;
    if (c.part > 1) {
      EXPECT_EQ(FurtherFileName(first, c.part), c.name);
    }
  }
}

TEST(VolumeName, LayoutNames) {
  for (int i = 0; i < static_cast<int>(VolumeLayout::kCount); ++i) {
    VolumeLayout layout = VolumeLayout::kFlat;
    ASSERT_TRUE(ParseLayout(LayoutName(static_cast<VolumeLayout>(i)), &layout)) << i;
    EXPECT_EQ(static_cast<int>(layout), i);
  }
  VolumeLayout layout = VolumeLayout::kStation;
  EXPECT_STREQ(LayoutName(VolumeLayout::kStationYear), "station/year");
  for (const char* wrong : {"", "year", "station/", "Station", "station/month"}) {
    EXPECT_FALSE(ParseLayout(wrong, &layout)) << wrong;
  }
  EXPECT_EQ(layout, VolumeLayout::kStation);
}

}  // namespace nimbrel
