#include "output/volume_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/test_env.h"

namespace nimbrel {

namespace {

const char kName[] = "ktlx_20050703_120312.jx4";
constexpr int32_t kTime = 1120392192;  // 2005-07-03 12:03:12 UTC

std::vector<uint8_t> Image(size_t length, uint8_t fill) {
  std::vector<uint8_t> image(length);
  for (size_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(fill + i * 7);
  return image;
}

ProductEntry Product(int32_t id) { return ProductEntry{id, "XXX", "test"}; }

bool Store(int32_t id, const std::vector<uint8_t>& image, int32_t time = kTime,
           const char* station = "ktlx") {
  return StoreProduct(station, Product(id), time, 0, image.data(),
                      static_cast<int32_t>(image.size()));
}

VolumeFileHeader HeaderOf(const std::vector<uint8_t>& file) {
  VolumeFileHeader header = {};
  std::memcpy(&header, file.data(), std::min(file.size(), sizeof header));
  return header;
}

// The layout every file written here must have: magic, count in range,
// unique ids, images tiling the file from 980 to its end, unused entries 0.
void ExpectWellFormed(const std::vector<uint8_t>& file) {
  ASSERT_GE(file.size(), static_cast<size_t>(kVolumeHeaderSize));
  VolumeFileHeader header = HeaderOf(file);
  EXPECT_EQ(std::memcmp(header.magic, "JX4", 4), 0);
  ASSERT_GE(header.entryCount, 0);
  ASSERT_LE(header.entryCount, kMaxVolumeEntries);
  uint32_t end = kVolumeHeaderSize;
  std::set<uint32_t> ids;
  for (int32_t i = 0; i < header.entryCount; ++i) {
    EXPECT_EQ(header.entries[i].offset, end) << i;
    end = header.entries[i].offset + header.entries[i].length;
    EXPECT_TRUE(ids.insert(header.entries[i].productId).second) << i;
  }
  EXPECT_EQ(end, file.size());
  for (int32_t i = header.entryCount; i < kMaxVolumeEntries; ++i) {
    const VolumeIndexEntry& e = header.entries[i];
    EXPECT_EQ(e.productId | e.reserved | e.offset | e.length, 0u) << i;
  }
}

class VolumeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    productsStored = 0;
    filesCreated = 0;
  }
  TempDir dir_{true};
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
  std::vector<uint8_t> first = Image(300, 1), second = Image(77, 9);
  EXPECT_TRUE(Store(1, first));
  EXPECT_TRUE(Store(941, second));
  EXPECT_EQ(productsStored, 2);
  EXPECT_EQ(filesCreated, 1);

  std::vector<uint8_t> expected(kVolumeHeaderSize, 0);
  std::memcpy(expected.data(), "JX4\0", 4);
  std::memcpy(expected.data() + 4, &kTime, 4);
  std::memcpy(expected.data() + 8, "ktlx", 4);
  const uint32_t words[] = {2, 1, 0, 980, 300, 941, 0, 1280, 77};
  std::memcpy(expected.data() + 16, words, sizeof words);
  expected.insert(expected.end(), first.begin(), first.end());
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(ReadFileBytes(kName), expected);
}

TEST_F(VolumeFileTest, RepeatedIdAndFullIndexLeaveTheFileAlone) {
  for (int32_t id = 1; id <= kMaxVolumeEntries; ++id) ASSERT_TRUE(Store(id, Image(10, id)));
  std::vector<uint8_t> full = ReadFileBytes(kName);
  ExpectWellFormed(full);
  EXPECT_EQ(HeaderOf(full).entryCount, 60);
  EXPECT_EQ(productsStored, 60);

  EXPECT_TRUE(Store(7, Image(10, 99)));   // id already indexed
  EXPECT_TRUE(Store(61, Image(10, 99)));  // 61st distinct product
  EXPECT_EQ(ReadFileBytes(kName), full);
  EXPECT_EQ(productsStored, 60);
  EXPECT_EQ(filesCreated, 1);
}

TEST_F(VolumeFileTest, InvalidFilesAreStartedAfresh) {
  struct Case {
    const char* what;
    std::vector<uint8_t> content;
  } cases[] = {
      {"979 bytes with the magic", [] {
         std::vector<uint8_t> v(979, 0);
         std::memcpy(v.data(), "JX4", 4);
         return v;
       }()},
      {"foreign file of 5000 bytes", std::vector<uint8_t>(5000, 'x')},
      {"empty file", {}},
  };
  for (const Case& c : cases) {
    SetUp();
    ASSERT_TRUE(WriteFileBytes(kName, c.content));
    std::vector<uint8_t> image = Image(50, 3);
    EXPECT_TRUE(Store(5, image)) << c.what;
    std::vector<uint8_t> file = ReadFileBytes(kName);
    ExpectWellFormed(file);
    EXPECT_EQ(file.size(), 1030u) << c.what;
    EXPECT_EQ(HeaderOf(file).entries[0].productId, 5u) << c.what;
    EXPECT_EQ(filesCreated, 1) << c.what;
    EXPECT_EQ(productsStored, 1) << c.what;
  }
}

TEST_F(VolumeFileTest, NegativeTimeStoresNothing) {
  EXPECT_FALSE(Store(1, Image(10, 0), -1));
  EXPECT_TRUE(std::filesystem::is_empty("."));
  EXPECT_EQ(productsStored, 0);
}

TEST_F(VolumeFileTest, DamagedHeadersAreLeftUnchanged) {
  struct Case {
    const char* what;
    int32_t entryCount;
    uint32_t lastLength;  // length of the last indexed image
  } cases[] = {
      {"count 61", 61, 10},
      {"count -1", -1, 10},
      {"last image beyond the end", 2, 11},
  };
  for (const Case& c : cases) {
    SetUp();
    std::filesystem::remove(kName);
    ASSERT_TRUE(Store(1, Image(10, 0)));
    ASSERT_TRUE(Store(2, Image(10, 1)));
    std::vector<uint8_t> file = ReadFileBytes(kName);
    std::memcpy(file.data() + 16, &c.entryCount, 4);
    std::memcpy(file.data() + 20 + 16 + 12, &c.lastLength, 4);
    ASSERT_TRUE(WriteFileBytes(kName, file));
    SetUp();
    StdoutCapture capture;
    EXPECT_FALSE(Store(3, Image(10, 2))) << c.what;
    EXPECT_EQ(capture.Finish(),
              std::string("*** damaged JX4 file '") + kName + "' left unchanged\n") << c.what;
    EXPECT_EQ(ReadFileBytes(kName), file) << c.what;
    EXPECT_EQ(productsStored + filesCreated, 0) << c.what;
  }
}

TEST_F(VolumeFileTest, LeftOverTailIsCutBeforeAppending) {
  ASSERT_TRUE(Store(1, Image(40, 0)));
  std::vector<uint8_t> file = ReadFileBytes(kName);
  std::vector<uint8_t> tail(123, 0xEE);  // an image written but never indexed
  file.insert(file.end(), tail.begin(), tail.end());
  ASSERT_TRUE(WriteFileBytes(kName, file));
  std::vector<uint8_t> second = Image(60, 5);
  ASSERT_TRUE(Store(2, second));
  std::vector<uint8_t> after = ReadFileBytes(kName);
  ExpectWellFormed(after);
  EXPECT_EQ(after.size(), 980u + 40 + 60);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), after.begin() + 1020));
}

TEST_F(VolumeFileTest, UnopenableFileIsReported) {
  std::filesystem::create_directory(kName);  // a directory cannot be opened for writing
  StdoutCapture capture;
  EXPECT_FALSE(Store(1, Image(10, 0)));
  EXPECT_EQ(capture.Finish(), std::string("*** couldn't create '") + kName + "'\n");
  EXPECT_EQ(productsStored + filesCreated, 0);
}

// A full disk, simulated with a file-size limit in a child process (the
// writer keeps the limit's signal from killing it).
TEST_F(VolumeFileTest, FailedWriteRestoresTheFile) {
  struct Case {
    const char* what;
    int existing;       // products stored before the limit applies
    rlim_t limit;       // bytes the file may reach
    size_t restoredSize;
  } cases[] = {
      {"new file, image does not fit", 0, 1000, 0},
      {"new file, header does not fit", 0, 500, 0},
      {"existing file, image does not fit", 1, 1100, 1080},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(kName);
    for (int i = 0; i < c.existing; ++i) ASSERT_TRUE(Store(100 + i, Image(100, 1)));
    std::vector<uint8_t> before = ReadFileBytes(kName);
    StdoutCapture capture;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      productsStored = filesCreated = 0;
      rlimit limit = {c.limit, c.limit};
      setrlimit(RLIMIT_FSIZE, &limit);
      bool stored = Store(1, Image(200, 2));
      std::fflush(stdout);
      _exit(stored || productsStored != 0 || filesCreated != 0 ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(capture.Finish(), std::string("*** couldn't write '") + kName + "'\n") << c.what;
    ASSERT_TRUE(WIFEXITED(status)) << c.what;
    EXPECT_EQ(WEXITSTATUS(status), 0) << c.what << ": reported success or counted";
    std::vector<uint8_t> after = ReadFileBytes(kName);
    EXPECT_EQ(after.size(), c.restoredSize) << c.what;
    if (c.existing > 0) {
      EXPECT_EQ(after, before) << c.what;
    }
  }
}

// Two processes storing into one file at once: every product lands whole.
TEST_F(VolumeFileTest, ConcurrentStoresLoseNothing) {
  constexpr int kPerProcess = 30;
  for (int round = 0; round < 5; ++round) {
    std::filesystem::remove(kName);
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
      children[p] = fork();
      ASSERT_GE(children[p], 0);
      if (children[p] == 0) {
        bool ok = true;
        for (int i = 0; i < kPerProcess; ++i) {
          int32_t id = 1 + p * kPerProcess + i;
          ok &= Store(id, Image(1000 + static_cast<size_t>(id), static_cast<uint8_t>(id)));
        }
        _exit(ok ? 0 : 1);
      }
    }
    for (pid_t child : children) {
      int status = 0;
      waitpid(child, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<uint8_t> file = ReadFileBytes(kName);
    ExpectWellFormed(file);
    VolumeFileHeader header = HeaderOf(file);
    ASSERT_EQ(header.entryCount, 2 * kPerProcess) << "round " << round;
    for (int32_t i = 0; i < header.entryCount; ++i) {
      const VolumeIndexEntry& e = header.entries[i];
      std::vector<uint8_t> expected = Image(1000 + e.productId, static_cast<uint8_t>(e.productId));
      ASSERT_EQ(e.length, expected.size());
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + e.offset)) << i;
    }
  }
}

}  // namespace nimbrel
