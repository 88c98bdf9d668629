#include "output/volume_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/store_io.h"
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
    context_ = RunContext{};
    context_.folder = folder;
    context_.reporter = &silent_;
    context_.syncStores = sync;
  }
  Outcome Store(int32_t id, const Bytes& image, int32_t time = kTime, const char* station = "ktlx") {
    return StoreProduct(context_, station, id, time, 0, image.data(), static_cast<int32_t>(image.size()))
        .outcome;
  }
  std::string Path() const { return dir_.File(kName); }
  Bytes File() const { return ReadFileBytes(Path()); }

  TempDir dir_;
  std::unique_ptr<StoreFolder> disk_;
  Reporter silent_;
  RunContext context_;
};

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
  EXPECT_EQ(context_.stats.productsStored, 2);
  EXPECT_EQ(context_.stats.filesCreated, 1);

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
  EXPECT_EQ(context_.stats.productsStored, 60);
  EXPECT_EQ(context_.stats.filesCreated, 1);
}

TEST_F(VolumeFileTest, InvalidFilesAreStartedAfresh) {
  Bytes shortWithMagic(979, 0);
  std::memcpy(shortWithMagic.data(), "JX4", 4);
  const std::pair<const char*, Bytes> cases[] = {
      {"979 bytes with the magic", shortWithMagic},
      {"foreign file of 5000 bytes", Bytes(5000, 'x')},
      {"empty file", {}},
  };
  for (const auto& [what, content] : cases) {
    Reset(disk_.get());
    ASSERT_TRUE(WriteFileBytes(Path(), content));
    EXPECT_EQ(Store(5, Image(50, 3)), Outcome::kStored) << what;
    Bytes file = File();
    ExpectWellFormed(file, what);
    EXPECT_EQ(file.size(), 1030u) << what;
    EXPECT_EQ(HeaderOf(file).entries[0].productId, 5u) << what;
    EXPECT_EQ(context_.stats.filesCreated, 1) << what;
    EXPECT_EQ(context_.stats.productsStored, 1) << what;
  }
}

TEST_F(VolumeFileTest, NegativeTimeStoresNothing) {
  EXPECT_EQ(Store(1, Image(10, 0), -1), Outcome::kVolumeTimeOutOfRange);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
  EXPECT_EQ(context_.stats.productsStored, 0);
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
    EXPECT_EQ(context_.stats.productsStored + context_.stats.filesCreated, 0) << c.what;
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
  EXPECT_EQ(context_.stats.productsStored + context_.stats.filesCreated, 0);
}
#endif  // _WIN32

TEST_F(VolumeFileTest, UnopenableFileIsReported) {
  std::filesystem::create_directory(Path());  // a directory cannot be opened for writing
  EXPECT_EQ(Store(1, Image(10, 0)), Outcome::kCouldntCreate);
  EXPECT_EQ(context_.stats.productsStored + context_.stats.filesCreated, 0);
}

namespace {

// Passes every call on to the disk, counting them, except the chosen one
// (or, `sticky`, every call from it on) which fails. A failing write puts
// down half its bytes first, unless sticky (a disk that refuses all).
struct FaultPlan {
  int failAt = -1;
  bool sticky = false;
  int calls = 0;
  bool Fails() {
    int n = calls++;
    return failAt >= 0 && (n == failAt || (sticky && n > failAt));
  }
};

class FaultyFile : public StoreFile {
 public:
  FaultyFile(std::unique_ptr<StoreFile> real, FaultPlan& plan) : real_(std::move(real)), plan_(plan) {}
  int32_t ReadAt(int64_t offset, void* buffer, int32_t length) override {
    return plan_.Fails() ? -1 : real_->ReadAt(offset, buffer, length);
  }
  bool WriteAt(int64_t offset, const void* buffer, int32_t length) override {
    if (!plan_.Fails()) return real_->WriteAt(offset, buffer, length);
    if (!plan_.sticky) real_->WriteAt(offset, buffer, length / 2);
    return false;
  }
  int64_t Size() override { return plan_.Fails() ? -1 : real_->Size(); }
  bool Truncate(int64_t length) override { return !plan_.Fails() && real_->Truncate(length); }
  bool Sync() override { return !plan_.Fails() && real_->Sync(); }
  bool Close() override {
    bool fails = plan_.Fails();
    return real_->Close() && !fails;
  }

 private:
  std::unique_ptr<StoreFile> real_;
  FaultPlan& plan_;
};

class FaultyFolder : public StoreFolder {
 public:
  FaultyFolder(StoreFolder& real, FaultPlan& plan) : real_(real), plan_(plan) {}
  std::unique_ptr<StoreFile> Open(const char* name) override {
    if (plan_.Fails()) return nullptr;
    std::unique_ptr<StoreFile> file = real_.Open(name);
    if (file == nullptr) return nullptr;
    return std::make_unique<FaultyFile>(std::move(file), plan_);
  }

 private:
  StoreFolder& real_;
  FaultPlan& plan_;
};

}  // namespace

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
      {"a foreign file", Bytes(3000, 'x')},
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
        EXPECT_EQ(context_.stats.productsStored + context_.stats.filesCreated, 0) << where;

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
    Reset(disk_.get());
    rlimit limit = {1100, 1100};
    setrlimit(RLIMIT_FSIZE, &limit);
    Outcome outcome = Store(1, Image(200, 2));
    _exit(outcome == Outcome::kCouldntWrite && context_.stats.productsStored == 0 ? 0 : 1);
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
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
      children[p] = fork();
      ASSERT_GE(children[p], 0);
      if (children[p] == 0) {
        bool ok = true;
        for (int i = 0; i < kPerProcess; ++i) {
          int32_t id = 1 + p * kPerProcess + i;
          ok &= Store(id, Image(1000 + static_cast<size_t>(id), static_cast<uint8_t>(id))) ==
                Outcome::kStored;
        }
        _exit(ok ? 0 : 1);
      }
    }
    for (pid_t child : children) {
      int status = 0;
      waitpid(child, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
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

#endif  // _WIN32

}  // namespace nimbrel
