#include "conversion/convert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "output/store_io.h"
#include "support/product_builder.h"
#include "support/recording_reporter.h"
#include "support/tar_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

// An archive of the given categories for every scan in `scans`.
Bytes ArchiveOf(const std::vector<const char*>& categories, int scans, uint32_t seed) {
  Bytes archive;
  for (int scan = 0; scan < scans; ++scan) {
    for (const char* category : categories) {
      ProductSpec fields;
      fields.category = category;
      fields.volumeScanTime = 43200 + 300 * static_cast<uint32_t>(scan);
      fields.bodySize = 3000;
      fields.seed = seed++;
      TarMember member;
      member.name = std::string(category) + std::to_string(scan);
      member.data = BuildProduct(fields);
      AppendTarMember(&archive, member);
    }
  }
  AppendTarEnd(&archive);
  return archive;
}

}  // namespace

// Two conversions at once in two threads of one process, into one folder,
// both filing products into the same .jx4 files: nothing is lost, and the
// files hold what converting one after the other gives.
TEST(ConvertInput, TwoThreadsIntoOneFolderLoseNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("a.tar"), ArchiveOf({"N0R", "N1R", "N2R", "N3R"}, 30, 1)));
  ASSERT_TRUE(WriteFileBytes(dir.File("b.tar"), ArchiveOf({"N0V", "N1V", "N2V", "N3V"}, 30, 500)));
  ConvertQuietly(dir.File("a.tar"), dir.File("sequential"));
  ConvertQuietly(dir.File("b.tar"), dir.File("sequential"));

  for (int round = 0; round < 3; ++round) {
    std::string parallel = dir.File("parallel" + std::to_string(round));
    std::filesystem::create_directories(parallel);
    std::unique_ptr<StoreFolder> folder = OpenDiskFolder(parallel.c_str());
    RecordingReporter recorder;
    ConversionResult results[2];
    std::string a = dir.File("a.tar"), b = dir.File("b.tar");
    std::thread first([&] { results[0] = ConvertInput(ConvertRequest(a.c_str()), *folder, recorder); });
    std::thread second([&] { results[1] = ConvertInput(ConvertRequest(b.c_str()), *folder, recorder); });
    first.join();
    second.join();
    EXPECT_EQ(results[0].stats.productsStored + results[1].stats.productsStored, 240);
    EXPECT_EQ(results[0].stats.filesCreated + results[1].stats.filesCreated, 30);
    EXPECT_EQ(results[0].end, InputEnd::kCleanEnd);
    EXPECT_EQ(results[1].end, InputEnd::kCleanEnd);
    EXPECT_EQ(recorder.products.size(), 240u);
    EXPECT_TRUE(ReadProductSets(parallel) == ReadProductSets(dir.File("sequential"))) << "round " << round;
  }
}

// One input event per conversion, naming how it ended; missing inputs and
// folders that cannot be read say so.
TEST(ConvertInput, ReportsHowEachInputEnded) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("a.tar"), ArchiveOf({"N0R"}, 1, 1)));
  ASSERT_TRUE(WriteFileBytes(dir.File("short"), Bytes(20, 'x')));
  std::filesystem::create_directories(dir.File("folder"));
  const std::pair<std::string, InputEnd> cases[] = {
      {dir.File("a.tar"), InputEnd::kCleanEnd},
      {dir.File("short"), InputEnd::kTooShort},
      {dir.File("missing"), InputEnd::kCantOpen},
      {dir.File("folder"), InputEnd::kCleanEnd},
  };
  std::unique_ptr<StoreFolder> folder = OpenDiskFolder(dir.path().c_str());
  for (const auto& [input, end] : cases) {
    RecordingReporter recorder;
    EXPECT_EQ(ConvertInput(ConvertRequest(input.c_str()), *folder, recorder).end, end) << input;
    ASSERT_EQ(recorder.inputs.size(), 1u) << input;
    EXPECT_EQ(recorder.inputs[0].end, end) << input;
    EXPECT_EQ(recorder.inputs[0].input, input);
  }
}

}  // namespace nimbrel
