// jx4 extract through a folder that fails: whatever call fails, the product
// concerned leaves no file (or says it could not be removed), the others are
// written whole, and the exit status says so.
#include "jx4/extract.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/faulty_folder.h"
#include "support/product_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kTime = 1120392192;  // the builder's volume scan
const char kN0r[] = "KTLX_SDUS54_N0RTLX_200507031203";
const char kN0q[] = "KTLX_SDUS54_N0QTLX_200507031203";

}  // namespace

TEST(Extract, AFailedCallLeavesNoPartialFile) {
  TempDir dir;
  Bytes n0r = BuildProduct("N0R", 19), n0q = BuildProduct("N0Q", 94);
  std::string volume = dir.File("ktlx_20050703_120312.jx4");
  ASSERT_TRUE(WriteFileBytes(volume, BuildVolumeFile("ktlx", kTime, {{1, n0r}, {941, n0q}})));
  // The first product's calls: CreateNew, WriteAt, Close, then Remove after
  // a failure. A sticky failure refuses everything from there on.
  struct Case {
    const char* what;
    int failAt;
    bool sticky;
    bool n0rLeft;  // a file of the first product's name remains
    bool n0qWritten;
  } cases[] = {
      {"creating fails", 0, false, false, true},
      {"the write fails half done", 1, false, false, true},
      {"closing fails", 2, false, false, true},
      {"everything fails from the write on", 1, true, true, false},
  };
  for (const Case& c : cases) {
    std::string out = dir.File(std::string("out-") + std::to_string(c.failAt) + (c.sticky ? "s" : ""));
    FaultPlan plan{c.failAt, c.sticky};
    ExtractOptions options;
    options.output = out;
    options.files = {volume};
    FolderOpener open = [&plan](const char* path) -> std::unique_ptr<StoreFolder> {
      return std::make_unique<FaultyFolder>(OpenDiskFolder(path), plan);
    };
    EXPECT_EQ(RunExtract(options, open), 1) << c.what;
    EXPECT_EQ(fs::exists(out + "/" + kN0r), c.n0rLeft) << c.what;
    if (c.n0rLeft) {
      EXPECT_NE(ReadFileBytes(out + "/" + kN0r), n0r) << c.what;
    }
    EXPECT_EQ(fs::exists(out + "/" + kN0q), c.n0qWritten) << c.what;
    if (c.n0qWritten) {
      EXPECT_EQ(ReadFileBytes(out + "/" + kN0q), n0q) << c.what;
    }
  }
}

}  // namespace nimbrel
