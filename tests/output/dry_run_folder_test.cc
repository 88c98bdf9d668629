#include "output/dry_run_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "output/volume_file.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kTime = 1120392192;  // 2005-07-03 12:03:12 UTC

Bytes Image(size_t length, uint8_t fill) {
  Bytes image(length);
  for (size_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(fill + i * 7);
  return image;
}

// Every file under `folder`, with its bytes and its time of change.
std::map<std::string, std::pair<Bytes, std::filesystem::file_time_type>> Snapshot(const std::string& folder) {
  std::map<std::string, std::pair<Bytes, std::filesystem::file_time_type>> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    files[entry.path().string()] = {entry.is_regular_file() ? ReadFileBytes(entry.path().string()) : Bytes{},
                                    std::filesystem::last_write_time(entry.path())};
  }
  return files;
}

struct Store {
  int32_t id;
  int32_t time;
  Bytes image;
};

}  // namespace

// The same stores, into a real folder and through a dry run of a copy of
// it: the same outcomes, files named and counts, and the dry run's folder
// is left exactly as it was. Also in a folder that does not exist.
TEST(DryRunFolder, StoresAsARealRunAndWritesNothing) {
  for (VolumeLayout layout : {VolumeLayout::kFlat, VolumeLayout::kStationYear}) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("real"));
    std::filesystem::create_directories(dir.File("dry"));
    RunOptions options;
    options.catalogue = Catalogue::kExtended;
    options.layout = layout;
    // Already there: ids 1..65 of one volume, and a damaged file.
    for (const char* folder : {"real", "dry"}) {
      std::unique_ptr<StoreFolder> disk = OpenDiskFolder(dir.File(folder).c_str());
      Reporter silent;
      RunContext context(*disk, silent, "", options);
      for (int32_t id = 1; id <= 65; ++id) {
        Bytes image = Image(100, static_cast<uint8_t>(id));
        ASSERT_EQ(StoreProduct(context, "ktlx", id, kTime, 0, image.data(), 100).outcome, Outcome::kStored);
      }
      char damaged[kPathBufferSize];
      MakeVolumePath(damaged, "ktlx", kTime + 300, layout, 1);
      ASSERT_TRUE(WriteFileBytes(dir.File(folder) + "/" + damaged, Bytes(3000, 'x')));
    }
    const auto before = Snapshot(dir.File("dry"));
    std::vector<Store> stores;
    for (int32_t id : {3, 64, 66, 67, 66, 200}) stores.push_back({id, kTime, Image(100, static_cast<uint8_t>(id))});
    stores.push_back({5, kTime, Image(100, 99)});  // already there, other bytes
    for (int32_t id = 1; id <= 130; ++id) stores.push_back({id, kTime + 600, Image(50, 1)});  // a new volume of 3 files
    stores.push_back({1, kTime + 300, Image(10, 1)});  // the damaged file

    std::unique_ptr<StoreFolder> real = OpenDiskFolder(dir.File("real").c_str());
    std::unique_ptr<StoreFolder> dry = OpenDryRunFolder(dir.File("dry").c_str());
    std::unique_ptr<StoreFolder> nowhere = OpenDryRunFolder(dir.File("missing/folder").c_str());
    Reporter silent;
    RunContext realRun(*real, silent, "", options), dryRun(*dry, silent, "", options),
        nowhereRun(*nowhere, silent, "", options);
    std::set<std::pair<int32_t, int32_t>> seen;
    for (const Store& store : stores) {
      const auto length = static_cast<int32_t>(store.image.size());
      StoreResult wrote = StoreProduct(realRun, "ktlx", store.id, store.time, 0, store.image.data(), length);
      StoreResult would = StoreProduct(dryRun, "ktlx", store.id, store.time, 0, store.image.data(), length);
      EXPECT_EQ(would.outcome, wrote.outcome) << store.id;
      EXPECT_EQ(would.differs, wrote.differs) << store.id;
      EXPECT_STREQ(would.fileName, wrote.fileName) << store.id;
      // Where nothing exists, each id of a volume is stored the first time.
      bool first = seen.insert({store.time, store.id}).second;
      EXPECT_EQ(StoreProduct(nowhereRun, "ktlx", store.id, store.time, 0, store.image.data(), length).outcome,
                first ? Outcome::kStored : Outcome::kAlreadyPresent)
          << store.id;
    }
    EXPECT_EQ(dryRun.stats.productsStored, realRun.stats.productsStored);
    EXPECT_EQ(dryRun.stats.filesCreated, realRun.stats.filesCreated);
    EXPECT_GE(realRun.stats.filesCreated, 3);
    EXPECT_TRUE(Snapshot(dir.File("dry")) == before) << "the dry run changed its folder";
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
  }
}

}  // namespace nimbrel
