#include "output/volume_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <functional>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "output/store_io.h"
#include "platform/signals.h"
#include "support/faulty_folder.h"
#include "support/test_env.h"

namespace nimbrel {

namespace {

const char kName[] = "ktlx_20050703_120312.jx4";
constexpr int32_t kTime = 1120392192;  // 2005-07-03 12:03:12 UTC

using Bytes = std::vector<uint8_t>;

Bytes Image(size_t length, uint8_t fill) {
  Bytes image(length);
  for (size_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(fill + i * 7);
  return image;
}

VolumeFileHeader HeaderOf(const Bytes& file) {
  VolumeFileHeader header;
  if (file.size() >= static_cast<size_t>(kVolumeHeaderSize)) DecodeVolumeHeader(file.data(), &header);
  return header;
}

void ExpectWellFormed(const Bytes& file, const std::string& what = "") {
  ASSERT_GE(file.size(), static_cast<size_t>(kVolumeHeaderSize)) << what;
  std::vector<VolumeFinding> findings = CheckWellFormed(HeaderOf(file), static_cast<int64_t>(file.size()));
  for (const VolumeFinding& f : findings) {
    ADD_FAILURE() << what << ": " << VolumeProblemText(f.problem) << " at entry " << f.entry;
  }
}

// Stores into a temporary folder through the disk, one product at a time.
class VolumeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_ = OpenDiskFolder(dir_.path().c_str());
    ASSERT_NE(disk_, nullptr);
    Reset(disk_.get());
  }
  void Reset(StoreFolder* folder, bool sync = false) {
    RunOptions options = options_;
    options.syncStores = sync;
    context_.emplace(*folder, silent_, "", options);
  }
  StoreResult StoreIn(int32_t id, const Bytes& image, int32_t time = kTime, const char* station = "ktlx") {
    return StoreProduct(*context_, station, id, time, 0, image.data(), static_cast<int32_t>(image.size()));
  }
  Outcome Store(int32_t id, const Bytes& image, int32_t time = kTime, const char* station = "ktlx") {
    return StoreIn(id, image, time, station).outcome;
  }
  std::string Path() const { return dir_.File(kName); }
#ifndef _WIN32
  // Two processes at once store ids 1 to `perProcess` and on, each an image
  // of `base` + id bytes; both must store every one.
  void StoreInTwoProcesses(int perProcess, size_t base) {
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
      children[p] = fork();
      ASSERT_GE(children[p], 0);
      if (children[p] == 0) {
        bool ok = true;
        for (int i = 0; i < perProcess; ++i) {
          int32_t id = 1 + p * perProcess + i;
          ok &= Store(id, Image(base + static_cast<size_t>(id), static_cast<uint8_t>(id))) == Outcome::kStored;
        }
        _exit(ok ? 0 : 1);
      }
    }
    for (pid_t child : children) {
      int status = 0;
      waitpid(child, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
  }
#endif
  Bytes File() const { return ReadFileBytes(Path()); }

  TempDir dir_;
  std::unique_ptr<StoreFolder> disk_;
  Reporter silent_;
  RunOptions options_;  // of the stores, but for syncStores
  std::optional<RunContext> context_;
};

// Stores of the extended catalogue, whose volumes continue in further files.
class VolumeSetTest : public VolumeFileTest {
 protected:
  void SetUp() override {
    options_.catalogue = Catalogue::kExtended;
    VolumeFileTest::SetUp();
  }
  std::string Part(int part) const {
    char name[kPathBufferSize];
    MakeVolumePath(name, "ktlx", kTime, options_.layout, part);
    return name;
  }
  Bytes FileOf(int part) const { return ReadFileBytes(dir_.File(Part(part))); }
  // Removes everything in the folder (which stays open).
  void Empty() {
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      std::filesystem::remove_all(entry.path());
    }
  }
  // Stores ids first..last, each an image of 10 + id bytes.
  void StoreIds(int32_t first, int32_t last) {
    for (int32_t id = first; id <= last; ++id) {
      ASSERT_EQ(Store(id, Image(10 + static_cast<size_t>(id), static_cast<uint8_t>(id))), Outcome::kStored) << id;
    }
  }
  // The ids each file of the set indexes, in order (none for a file with
  // no index); every file with an index well formed and of the volume's
  // station and time.
  std::vector<std::vector<uint32_t>> IdsByFile() const {
    std::vector<std::vector<uint32_t>> ids;
    for (int part = 1; std::filesystem::exists(dir_.File(Part(part))); ++part) {
      Bytes file = FileOf(part);
      ids.emplace_back();
      if (file.size() < 980 || !HasVolumeMagic(file.data(), 4)) continue;  // no index
      ExpectWellFormed(file, Part(part));
      VolumeFileHeader header = HeaderOf(file);
      EXPECT_EQ(header.volumeTime, kTime) << Part(part);
      EXPECT_STREQ(header.station, "ktlx") << Part(part);
      for (int32_t i = 0; i < header.entryCount; ++i) ids.back().push_back(header.entries[i].productId);
    }
    return ids;
  }
};

std::vector<uint32_t> Ids(uint32_t first, uint32_t last) {
  std::vector<uint32_t> ids;
  for (uint32_t id = first; id <= last; ++id) ids.push_back(id);
  return ids;
}

}  // namespace

TEST(VolumeFileName, Formats) {
  struct Case {
    const char* station;
    int32_t time;
    const char* name;  // null: no name
  } cases[] = {
      {"ktlx", kTime, kName},
      {"ktlx", 0, "ktlx_19700101_000000.jx4"},
      {"ktlx", 1, "ktlx_19700101_000001.jx4"},
      {"pabc", 2147483647, "pabc_20380119_031407.jx4"},
      {"ktlx", -1, nullptr},
      {"ktlx", INT32_MIN, nullptr},
  };
  for (const Case& c : cases) {
    char buffer[kPathBufferSize] = "untouched";
    bool made = MakeVolumeFileName(buffer, c.station, c.time);
    EXPECT_EQ(made, c.name != nullptr) << c.time;
    EXPECT_STREQ(buffer, c.name != nullptr ? c.name : "untouched") << c.time;
  }
}

TEST_F(VolumeFileTest, FirstAndSecondProductExactBytes) {
  Bytes first = Image(300, 1), second = Image(77, 9);
  EXPECT_EQ(Store(1, first), Outcome::kStored);
  EXPECT_EQ(Store(941, second), Outcome::kStored);
  EXPECT_EQ(context_->stats.productsStored, 2);
  EXPECT_EQ(context_->stats.filesCreated, 1);

  Bytes expected(kVolumeHeaderSize, 0);
  std::memcpy(expected.data(), "JX4\0", 4);
  std::memcpy(expected.data() + 4, &kTime, 4);
  std::memcpy(expected.data() + 8, "ktlx", 4);
  const uint32_t words[] = {2, 1, 0, 980, 300, 941, 0, 1280, 77};
  std::memcpy(expected.data() + 16, words, sizeof words);
  expected.insert(expected.end(), first.begin(), first.end());
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(File(), expected);
}

TEST_F(VolumeFileTest, RepeatedIdAndFullIndexLeaveTheFileAlone) {
  for (int32_t id = 1; id <= kMaxVolumeEntries; ++id) {
    ASSERT_EQ(Store(id, Image(10, static_cast<uint8_t>(id))), Outcome::kStored);
  }
  Bytes full = File();
  ExpectWellFormed(full);
  EXPECT_EQ(HeaderOf(full).entryCount, 60);

  EXPECT_EQ(Store(7, Image(10, 99)), Outcome::kAlreadyPresent);
  EXPECT_EQ(Store(61, Image(10, 99)), Outcome::kIndexFull);
  EXPECT_EQ(File(), full);
  EXPECT_EQ(context_->stats.productsStored, 60);
  EXPECT_EQ(context_->stats.filesCreated, 1);
}

TEST_F(VolumeFileTest, TheClassicCatalogueNeverContinuesAVolume) {
  for (int32_t id = 1; id <= kMaxVolumeEntries; ++id) ASSERT_EQ(Store(id, Image(10, 1)), Outcome::kStored);
  EXPECT_EQ(Store(61, Image(10, 1)), Outcome::kIndexFull);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("ktlx_20050703_120312_2.jx4")));
}

TEST_F(VolumeSetTest, AVolumeContinuesInFurtherFilesEachFilledTo60) {
  StoreIds(1, 150);
  EXPECT_EQ(IdsByFile(), (std::vector<std::vector<uint32_t>>{Ids(1, 60), Ids(61, 120), Ids(121, 150)}));
  EXPECT_EQ(context_->stats.productsStored, 150);
  EXPECT_EQ(context_->stats.filesCreated, 3);
  const struct {
    int32_t id;
    int part;
    bool sameBytes;
  } again[] = {{1, 1, true}, {60, 1, false}, {61, 2, true}, {120, 2, false}, {150, 3, true}};
  for (const auto& c : again) {
    Bytes image = Image(10 + static_cast<size_t>(c.id), static_cast<uint8_t>(c.id + (c.sameBytes ? 0 : 1)));
    StoreResult result = StoreIn(c.id, image);
    EXPECT_EQ(result.outcome, Outcome::kAlreadyPresent) << c.id;
    EXPECT_EQ(result.differs, !c.sameBytes) << c.id;
    EXPECT_EQ(result.fileName, Part(c.part)) << c.id;
  }
  StoreResult next = StoreIn(151, Image(5, 5));
  EXPECT_EQ(next.outcome, Outcome::kStored);
  EXPECT_EQ(next.fileName, Part(3));
}

// Whatever the set holds, an id is looked for in every file of it before
// anything is stored, the first file with room takes a new one, and a
// further file that is damaged is left as it is.
TEST_F(VolumeSetTest, EveryFileOfTheSetIsLookedAtAndKept) {
  enum Start { kFirstRemoved, kSecondForeign, kSecondEmpty, kSecondAZeroedStart };
  const struct {
    const char* what;
    Start start;
    int32_t id;
    Outcome outcome;
    int part;  // of the file the result names
    std::vector<std::vector<uint32_t>> after;
  } cases[] = {
      {"an id of the second file, the first removed", kFirstRemoved, 65, Outcome::kAlreadyPresent, 2,
       {{}, Ids(61, 70)}},
      {"a new id, the first removed", kFirstRemoved, 200, Outcome::kStored, 1, {{200}, Ids(61, 70)}},
      {"a new id, the second foreign", kSecondForeign, 200, Outcome::kDamagedOutput, 2, {Ids(1, 60), {}}},
      {"an id of the first, the second foreign", kSecondForeign, 7, Outcome::kAlreadyPresent, 1,
       {Ids(1, 60), {}}},
      {"a new id, the second empty", kSecondEmpty, 200, Outcome::kStored, 2, {Ids(1, 60), {200}}},
      {"a new id, the second's start zeroed", kSecondAZeroedStart, 200, Outcome::kStored, 2,
       {Ids(1, 60), {200}}},
  };
  for (const auto& c : cases) {
    Empty();
    Reset(disk_.get());
    StoreIds(1, 70);
    Bytes second = FileOf(2);
    switch (c.start) {
      case kFirstRemoved: std::filesystem::remove(dir_.File(Part(1))); break;
      case kSecondForeign: second = Bytes(2000, 'x'); break;
      case kSecondEmpty: second.clear(); break;
      case kSecondAZeroedStart: second.assign(980 + 500, 0); break;
    }
    if (c.start != kFirstRemoved) {
      ASSERT_TRUE(WriteFileBytes(dir_.File(Part(2)), second));
    }
    StoreResult result = StoreIn(c.id, Image(30, 3));
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(result.fileName, Part(c.part)) << c.what;
    if (c.start == kSecondForeign) {
      EXPECT_EQ(FileOf(2), second) << c.what << ": the foreign file changed";
    }
    EXPECT_EQ(IdsByFile(), c.after) << c.what;
  }
}

// Every I/O call of a store into a further file fails in turn: the files
// of the set then index only whole images, the first file is as it was,
// and the next store succeeds.
TEST_F(VolumeSetTest, AFailureAtAnyCallLeavesTheSetSound) {
  FaultPlan plan;
  FaultyFolder faulty(*disk_, plan);
  const struct {
    const char* what;
    int32_t stored;  // ids 1.. stored before
  } starts[] = {{"into the second file", 61}, {"starting a third file", 120}};
  for (const auto& start : starts) {
    auto restart = [&] {
      Empty();
      Reset(disk_.get());
      StoreIds(1, start.stored);
    };
    restart();
    const Bytes first = FileOf(1);
    plan = FaultPlan{};
    Reset(&faulty, true);
    ASSERT_EQ(Store(500, Image(40, 7)), Outcome::kStored) << start.what;
    const int calls = plan.calls;
    for (bool sticky : {false, true}) {
      for (int n = 0; n < calls; ++n) {
        std::string where = std::string(start.what) + (sticky ? ", every call from " : ", call ") + std::to_string(n);
        restart();
            plan = FaultPlan{n, sticky};
        Reset(&faulty, true);
        Outcome outcome = Store(500, Image(40, 7));
        EXPECT_TRUE(outcome == Outcome::kCouldntCreate || outcome == Outcome::kCouldntWrite) << where;
        EXPECT_EQ(context_->stats.productsStored + context_->stats.filesCreated, 0) << where;
        EXPECT_EQ(FileOf(1), first) << where;
        for (int part = 2; part <= 3; ++part) {
          Bytes file = FileOf(part);
          if (file.size() < 980 || !HasVolumeMagic(file.data(), 4)) continue;  // left empty or absent
          VolumeFileHeader header = HeaderOf(file);
          ASSERT_GE(CheckAppendable(header, static_cast<int64_t>(file.size())), 0) << where;
          for (int32_t i = 0; i < header.entryCount; ++i) {
            const VolumeIndexEntry& e = header.entries[i];
            Bytes expected = e.productId == 500 ? Image(40, 7) : Image(10 + e.productId, static_cast<uint8_t>(e.productId));
            ASSERT_EQ(e.length, expected.size()) << where;
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + e.offset)) << where;
          }
        }
        plan = FaultPlan{};
        Reset(&faulty, true);
        EXPECT_EQ(Store(501, Image(20, 9)), Outcome::kStored) << where << ": the next store";
        std::vector<std::vector<uint32_t>> ids = IdsByFile();
        size_t total = 0;
        for (const auto& file : ids) total += file.size();
        EXPECT_GE(total, static_cast<size_t>(start.stored) + 1) << where;
      }
    }
  }
}

// Stores in several threads into one volume (each its own run context, one
// folder): every id lands once across the set, the first file filled first.
TEST_F(VolumeSetTest, ThreadsStoringIntoOneSetLoseNothing) {
  for (int round = 0; round < 3; ++round) {
    Empty();
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
      threads.emplace_back([this, t] {
        RunContext context(*disk_, silent_, "", options_);
        for (int32_t id = 1 + 50 * t; id <= 50 + 50 * t; ++id) {
          Bytes image = Image(10 + static_cast<size_t>(id), static_cast<uint8_t>(id));
          StoreProduct(context, "ktlx", id, kTime, 0, image.data(), static_cast<int32_t>(image.size()));
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    std::vector<std::vector<uint32_t>> ids = IdsByFile();
    ASSERT_EQ(ids.size(), 3u) << "round " << round;
    EXPECT_EQ(ids[0].size(), 60u);
    EXPECT_EQ(ids[1].size(), 60u);
    std::vector<uint32_t> all;
    for (const auto& file : ids) all.insert(all.end(), file.begin(), file.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, Ids(1, 150)) << "round " << round;
  }
}

// A layout's folders are made as needed; a name on the way that is not a
// folder, and a .jx4 name that is a symbolic link, stop the store.
TEST_F(VolumeSetTest, LayoutsMakeTheirFolders) {
  options_.layout = VolumeLayout::kStationYearMonthDay;
  Reset(disk_.get());
  StoreIds(1, 61);
  EXPECT_EQ(IdsByFile(), (std::vector<std::vector<uint32_t>>{Ids(1, 60), {61}}));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_.File("ktlx/2005/07/03/ktlx_20050703_120312_2.jx4")));

  options_.layout = VolumeLayout::kStationYear;
  Reset(disk_.get());
  ASSERT_TRUE(WriteFileBytes(dir_.File("kinx"), std::string("a file")));
  StoreResult blocked = StoreIn(1, Image(10, 1), kTime, "kinx");
  EXPECT_EQ(blocked.outcome, Outcome::kCouldntCreate);
  EXPECT_STREQ(blocked.fileName, (std::string("kinx") + kPathSeparator + "2005" + kPathSeparator +
                                  "kinx_20050703_120312.jx4").c_str());
#ifndef _WIN32
  std::filesystem::create_directories(dir_.File("kfws/2005"));
  std::filesystem::create_symlink(dir_.File("elsewhere.jx4"), dir_.File("kfws/2005/kfws_20050703_120312.jx4"));
  EXPECT_EQ(Store(1, Image(10, 1), kTime, "kfws"), Outcome::kCouldntCreate);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("elsewhere.jx4")));
#endif
}

// What an existing file holds is never destroyed: a store starts afresh
// only a file that can hold no product, cuts only what one interrupted store
// leaves behind the last image, and leaves anything else unchanged.
TEST_F(VolumeFileTest, ExistingFilesAreStartedAfreshAppendedToOrLeftAlone) {
  enum Action { kAfresh, kAppend, kLeftAlone };
  auto withMagic = [](size_t size) {
    Bytes bytes(size, 0);
    std::memcpy(bytes.data(), "JX4", std::min<size_t>(size, 4));
    return bytes;
  };
  auto zerosAnd = [](size_t imageBytes) {
    Bytes bytes(980, 0);
    Bytes image = Image(imageBytes, 4);
    bytes.insert(bytes.end(), image.begin(), image.end());
    return bytes;
  };
  // Two images of 10 bytes, with `change` made to the file's bytes.
  auto twoImages = [this](const std::function<void(Bytes&)>& change) {
    std::filesystem::remove(Path());
    Reset(disk_.get());
    Store(1, Image(10, 0));
    Store(2, Image(10, 1));
    Bytes file = File();
    change(file);
    return file;
  };
  auto tail = [](size_t size) { return [size](Bytes& f) { f.resize(f.size() + size, 0xEE); }; };
  const int64_t kRemnant = kMaxRemnantSize;
  const struct {
    const char* what;
    Bytes content;
    Action action;
  } cases[] = {
      {"an empty file", {}, kAfresh},
      {"zeros", Bytes(500, 0), kAfresh},
      {"two bytes of the magic", withMagic(2), kAfresh},
      {"a header cut short", withMagic(979), kAfresh},
      {"zeros and a partial image", zerosAnd(3000), kAfresh},
      {"zeros and 16 MiB", zerosAnd(kRemnant), kAfresh},
      {"zeros and more than 16 MiB", zerosAnd(kRemnant + 1), kLeftAlone},
      {"a short text file", Bytes({'n', 'o', 't', 'e', 's', '\n'}), kLeftAlone},
      {"a text file", Bytes(5000, 'x'), kLeftAlone},
      {"zeroed magic with images", twoImages([](Bytes& f) { std::memset(f.data(), 0, 4); }), kLeftAlone},
      {"a lowered count", twoImages([](Bytes& f) { f[16] = 1; }), kLeftAlone},
      {"a one-image tail", twoImages(tail(123)), kAppend},
      {"a tail of 16 MiB", twoImages(tail(kRemnant)), kAppend},
      {"a tail with set unused entries",
       twoImages([&tail](Bytes& f) {
         tail(123)(f);
         f[20 + 16 * 5 + 4] = 1;
       }),
       kLeftAlone},
      {"a tail over 16 MiB", twoImages(tail(kRemnant + 1)), kLeftAlone},
  };
  const Bytes image = Image(50, 3);
  for (const auto& c : cases) {
    Reset(disk_.get());
    ASSERT_TRUE(WriteFileBytes(Path(), c.content));
    Outcome outcome = Store(5, image);
    Bytes file = File();
    if (c.action == kLeftAlone) {
      EXPECT_EQ(outcome, Outcome::kDamagedOutput) << c.what;
      EXPECT_TRUE(file == c.content) << c.what << ": changed";
      EXPECT_EQ(context_->stats.filesCreated + context_->stats.productsStored, 0) << c.what;
      continue;
    }
    EXPECT_EQ(outcome, Outcome::kStored) << c.what;
    ExpectWellFormed(file, c.what);
    VolumeFileHeader header = HeaderOf(file);
    const size_t kept = c.action == kAfresh ? 980 : 1000;  // the header, and two images of 10
    ASSERT_EQ(file.size(), kept + image.size()) << c.what;
    if (c.action == kAppend) {
      EXPECT_TRUE(std::equal(file.begin() + 980, file.begin() + 1000, c.content.begin() + 980))
          << c.what << ": the images before were not kept";
    }
    EXPECT_TRUE(std::equal(image.begin(), image.end(), file.begin() + kept)) << c.what;
    EXPECT_EQ(header.entryCount, c.action == kAfresh ? 1 : 3) << c.what;
    EXPECT_EQ(context_->stats.filesCreated, c.action == kAfresh ? 1 : 0) << c.what;
    EXPECT_EQ(context_->stats.productsStored, 1) << c.what;
  }
}

TEST_F(VolumeFileTest, NegativeTimeStoresNothing) {
  EXPECT_EQ(Store(1, Image(10, 0), -1), Outcome::kVolumeTimeOutOfRange);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
  EXPECT_EQ(context_->stats.productsStored, 0);
}

// An index that does not fit the file's contents is never written over:
// appending would lose or overwrite an image.
TEST_F(VolumeFileTest, DamagedIndexesAreLeftUnchanged) {
  struct Case {
    const char* what;
    int entry;
    int field;  // 0 id, 1 reserved, 2 offset, 3 length; -1: the count
    uint32_t value;
  } cases[] = {
      {"count 61", -1, 0, 61},
      {"count -1", -1, 0, 0xFFFFFFFF},
      {"last image beyond the end", 1, 3, 11},
      {"first image behind the second", 0, 2, 1000},
      {"second image overlapping the first", 1, 2, 985},
      {"image inside the header", 0, 2, 900},
      {"offset and length wrapping 32 bits", 1, 3, 0xFFFFFFF0},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(Path());
    ASSERT_EQ(Store(1, Image(10, 0)), Outcome::kStored);
    ASSERT_EQ(Store(2, Image(10, 1)), Outcome::kStored);
    Bytes file = File();
    int at = c.entry < 0 ? 16 : 20 + 16 * c.entry + 4 * c.field;
    std::memcpy(file.data() + at, &c.value, 4);
    ASSERT_TRUE(WriteFileBytes(Path(), file));
    Reset(disk_.get());
    EXPECT_EQ(Store(3, Image(10, 2)), Outcome::kDamagedOutput) << c.what;
    EXPECT_EQ(File(), file) << c.what;
    EXPECT_EQ(context_->stats.productsStored + context_->stats.filesCreated, 0) << c.what;
  }
}

// The tail is whatever lies behind the image that ends last, wherever its
// entry sits; a gap between images is no damage and is kept.
TEST_F(VolumeFileTest, LeftOverTailIsCutBeforeAppending) {
  ASSERT_EQ(Store(1, Image(40, 0)), Outcome::kStored);
  Bytes file = File();
  Bytes tail(123, 0xEE);  // an image written but never indexed
  file.insert(file.end(), tail.begin(), tail.end());
  ASSERT_TRUE(WriteFileBytes(Path(), file));
  Bytes second = Image(60, 5);
  ASSERT_EQ(Store(2, second), Outcome::kStored);
  Bytes after = File();
  ExpectWellFormed(after);
  EXPECT_EQ(after.size(), 980u + 40 + 60);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), after.begin() + 1020));

  // A gap of 5 bytes before entry 1: appending goes behind entry 1's end.
  Bytes gapped = File();
  gapped.insert(gapped.begin() + 1020, 5, 0xAA);
  uint32_t offset = 1025;
  std::memcpy(gapped.data() + 20 + 16 + 8, &offset, 4);
  gapped.insert(gapped.end(), 9, 0xBB);  // and a tail
  ASSERT_TRUE(WriteFileBytes(Path(), gapped));
  Bytes third = Image(30, 8);
  ASSERT_EQ(Store(3, third), Outcome::kStored);
  Bytes last = File();
  ASSERT_EQ(last.size(), 1085u + 30);
  EXPECT_TRUE(std::equal(gapped.begin() + 980, gapped.begin() + 1085, last.begin() + 980));
  EXPECT_EQ(HeaderOf(last).entries[2].offset, 1085u);
}

// A .jx4 name that is a symbolic link is never followed: the file it points
// at stays as it is, and a dangling link creates nothing anywhere. POSIX
// only: making a link on Windows needs a privilege, and wine shows the
// host's links as the files they name.
#ifndef _WIN32
TEST_F(VolumeFileTest, SymbolicLinksAreNotFollowed) {
  TempDir elsewhere;
  std::string target = elsewhere.File("notes.txt");
  ASSERT_TRUE(WriteFileBytes(target, std::string("keep me\n")));
  const std::pair<const char*, std::string> cases[] = {
      {"link to a file elsewhere", target},
      {"dangling link", elsewhere.File("missing.jx4")},
  };
  for (const auto& [what, to] : cases) {
    std::filesystem::remove(Path());
    std::filesystem::create_symlink(to, Path());
    EXPECT_EQ(Store(1, Image(10, 0)), Outcome::kCouldntCreate) << what;
    EXPECT_TRUE(std::filesystem::is_symlink(Path())) << what;
  }
  EXPECT_EQ(ReadFileBytes(target), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e', '\n'}));
  EXPECT_FALSE(std::filesystem::exists(elsewhere.File("missing.jx4")));
  EXPECT_EQ(context_->stats.productsStored + context_->stats.filesCreated, 0);
}
#endif  // _WIN32

TEST_F(VolumeFileTest, UnopenableFileIsReported) {
  std::filesystem::create_directory(Path());  // a directory cannot be opened for writing
  EXPECT_EQ(Store(1, Image(10, 0)), Outcome::kCouldntCreate);
  EXPECT_EQ(context_->stats.productsStored + context_->stats.filesCreated, 0);
}

// Every I/O call of a store, in every starting state, fails in turn: the
// store then reports a failure and counts nothing; the file indexes only
// whole images (the old ones, and the new one only if its header was
// written), or nothing at all when it had no index before; and the
// next store succeeds and leaves a well-formed file.
TEST_F(VolumeFileTest, AFailureAtAnyCallLeavesASoundFile) {
  Bytes oldA = Image(100, 1), oldB = Image(55, 2), fresh = Image(200, 3);
  Bytes twoImages;
  {
    ASSERT_EQ(Store(100, oldA), Outcome::kStored);
    ASSERT_EQ(Store(101, oldB), Outcome::kStored);
    twoImages = File();
  }
  Bytes withTail = twoImages;
  withTail.insert(withTail.end(), 77, 0xEE);
  const std::pair<const char*, std::optional<Bytes>> starts[] = {
      {"no file", std::nullopt},
      {"two images", twoImages},
      {"two images and a tail", withTail},
      {"an interrupted first store", [] {
         Bytes remnant(980, 0);
         remnant.resize(3000, 0x5A);
         return remnant;
       }()},
  };
  FaultPlan plan;
  FaultyFolder faulty(*disk_, plan);
  for (const auto& [what, start] : starts) {
    auto restart = [&, &start = start] {
      std::filesystem::remove(Path());
      if (start) {
        ASSERT_TRUE(WriteFileBytes(Path(), *start));
      }
    };
    restart();
    plan = FaultPlan{};
    Reset(&faulty, true);
    ASSERT_EQ(Store(7, fresh), Outcome::kStored) << what;
    const int calls = plan.calls;
    ASSERT_GE(calls, 8) << what;  // open, size, read, (truncate), write, sync, write, sync, close

    for (bool sticky : {false, true}) {
      for (int n = 0; n < calls; ++n) {
        std::string where = std::string(what) + (sticky ? ", every call from " : ", call ") +
                            std::to_string(n);
        restart();
        plan = FaultPlan{n, sticky};
        Reset(&faulty, true);
        Outcome outcome = Store(7, fresh);
        EXPECT_EQ(outcome, n == 0 ? Outcome::kCouldntCreate : Outcome::kCouldntWrite) << where;
        EXPECT_EQ(context_->stats.productsStored + context_->stats.filesCreated, 0) << where;

        Bytes file = File();
        VolumeFileHeader header = HeaderOf(file);
        bool indexed = file.size() >= 980 && HasVolumeMagic(file.data(), 4);
        if (!indexed) {
          EXPECT_TRUE(!start || !HasVolumeMagic(start->data(), 4)) << where << ": index lost";
        } else {
          ASSERT_GE(CheckAppendable(header, static_cast<int64_t>(file.size())), 0) << where;
          for (int32_t i = 0; i < header.entryCount; ++i) {
            const VolumeIndexEntry& e = header.entries[i];
            const Bytes& expected = e.productId == 100 ? oldA : e.productId == 101 ? oldB : fresh;
            ASSERT_EQ(e.length, expected.size()) << where;
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + e.offset))
                << where << ": entry " << i << " is not whole";
            // Indexed only once its header is written: the failure came at
            // the last sync or the close.
            if (e.productId == 7) {
              EXPECT_GE(n, calls - 2) << where << ": indexed too early";
            }
          }
          int32_t before = start && HasVolumeMagic(start->data(), 4) ? 2 : 0;
          EXPECT_GE(header.entryCount, before) << where;
        }

        plan = FaultPlan{};
        Reset(&faulty, true);
        Outcome next = Store(8, Image(20, 9));
        EXPECT_EQ(next, Outcome::kStored) << where << ": the next store";
        ExpectWellFormed(File(), where + ", after the next store");
      }
    }
  }
}

// POSIX only, both: they fork. Windows has no file-size limit; the two
// processes storing at once are shown there by Nimbrel.TwoRunsAtOnceLoseNothing.
#ifndef _WIN32
// A real full disk: a file-size limit in a child process (the writer keeps
// the limit's signal from killing it).
TEST_F(VolumeFileTest, FileSizeLimitRestoresTheFile) {
  ASSERT_EQ(Store(100, Image(100, 1)), Outcome::kStored);
  Bytes before = File();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    IgnoreFileSizeLimitSignal();  // as the programs do
    Reset(disk_.get());
    rlimit limit = {1100, 1100};
    setrlimit(RLIMIT_FSIZE, &limit);
    Outcome outcome = Store(1, Image(200, 2));
    _exit(outcome == Outcome::kCouldntWrite && context_->stats.productsStored == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "reported success or counted";
  EXPECT_EQ(File(), before);
}

// Two processes storing into one file at once: every product lands whole.
TEST_F(VolumeFileTest, ConcurrentStoresLoseNothing) {
  constexpr int kPerProcess = 30;
  for (int round = 0; round < 5; ++round) {
    std::filesystem::remove(Path());
    StoreInTwoProcesses(kPerProcess, 1000);
    Bytes file = File();
    ExpectWellFormed(file);
    VolumeFileHeader header = HeaderOf(file);
    ASSERT_EQ(header.entryCount, 2 * kPerProcess) << "round " << round;
    for (int32_t i = 0; i < header.entryCount; ++i) {
      const VolumeIndexEntry& e = header.entries[i];
      Bytes expected = Image(1000 + e.productId, static_cast<uint8_t>(e.productId));
      ASSERT_EQ(e.length, expected.size());
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + e.offset)) << i;
    }
  }
}

// Two processes storing into one volume's set at once: each id lands once,
// the first file filled before the second.
TEST_F(VolumeSetTest, ConcurrentProcessesLoseNothing) {
  constexpr int kPerProcess = 45;
  for (int round = 0; round < 5; ++round) {
    Empty();
    Reset(disk_.get());
    StoreInTwoProcesses(kPerProcess, 10);
    std::vector<std::vector<uint32_t>> ids = IdsByFile();
    ASSERT_EQ(ids.size(), 2u) << "round " << round;
    EXPECT_EQ(ids[0].size(), 60u);
    std::vector<uint32_t> all = ids[0];
    all.insert(all.end(), ids[1].begin(), ids[1].end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, Ids(1, 2 * kPerProcess)) << "round " << round;
  }
}

#endif  // _WIN32

}  // namespace nimbrel
