// jx4 verify --deep run as the built program over real products stored in
// .jx4 files: the sound files pass, a byte flipped inside any compressed
// image is found (where the plain verify sees nothing) and only that
// product is named.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/jx4_program.h"

namespace nimbrel {

namespace {

bool IsBzip2Compressed(const std::vector<uint8_t>& image) {
  return image.size() > 160 && std::memcmp(image.data() + 150, "BZh", 3) == 0;
}

}  // namespace

TEST_F(Jx4Program, VerifyDeepPassesSoundFilesAndFindsAFlippedByteInEveryCompressedImage) {
  NIMBREL_REQUIRE_TESTDATA();
  std::vector<std::string> files = ConvertRealProducts("real");
  ASSERT_GT(files.size(), 10u);
  std::string all;
  for (const std::string& file : files) all += " real/" + file;
  // Two Storm Structure products as sent carry a graphic block offset past
  // their end (a reader elsewhere refuses them for it too); every other
  // product decodes.
  Ran run = Jx4("verify --deep" + all);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "real/klot_20220116_091440.jx4: entry 0 (id 28): image does not decode: block offset points "
            "outside the message at message byte 112\n"
            "real/kltx_20220215_063516.jx4: entry 0 (id 28): image does not decode: block offset points "
            "outside the message at message byte 112\n");
  int flipped = 0;
  for (const std::string& file : files) {
    if (run.out.find(file) != std::string::npos) continue;
    EXPECT_EQ(Jx4("verify --deep real/" + file).status, 0) << file;
    std::vector<uint8_t> sound = ReadFileBytes(Path("real/" + file));
    VolumeContents contents = ReadVolumeFile(Path("real/" + file));
    for (size_t i = 0; i < contents.entries.size(); ++i) {
      const StoredImage& entry = contents.entries[i];
      if (!IsBzip2Compressed(entry.image)) continue;
      std::vector<uint8_t> damaged = sound;
      damaged[entry.offset + 150 + (entry.length - 150) / 2] ^= 0x01;
      Write("damaged.jx4", damaged);
      Ran plain = Jx4("verify damaged.jx4");
      EXPECT_EQ(plain.status, 0) << file << " entry " << i << ": " << plain.out;
      Ran deep = Jx4("verify --deep damaged.jx4");
      EXPECT_EQ(deep.status, 1) << file << " entry " << i;
      EXPECT_EQ(deep.out, "damaged.jx4: entry " + std::to_string(i) + " (id " + std::to_string(entry.productId) +
                              "): image does not decode: compressed symbology does not inflate at message byte "
                              "120\n")
          << file;
      ++flipped;
    }
  }
  EXPECT_GT(flipped, 20);
  std::printf("a flipped byte found in each of %d compressed real products\n", flipped);
}

}  // namespace nimbrel
