#include "products/volume_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/product_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kTime = 1120392192;  // 2005-07-03 12:03:12 UTC, the builder's volume scan

// Three products of 350 bytes at 980, 1330 and 1680: N0R (id 1), NCR (id 14),
// N0V (id 7).
Bytes SoundFile() {
  return BuildVolumeFile("ktlx", kTime, {{1, BuildProduct("N0R", 19)}, {14, BuildProduct("NCR", 37)},
                                         {7, BuildProduct("N0V", 27)}});
}

// The findings as words, e.g. "gap@0 category@2": the format's, then the images'.
std::string Describe(const VolumeCheck& check) {
  static const char* const kFormat[] = {"short",   "magic",        "count",       "inside-header",
                                        "past-end", "out-of-order", "gap",         "tail",
                                        "duplicate-id", "unused-entry", "station"};
  static const char* const kImage[] = {"unknown-id",  "unreadable", "header", "time-range",
                                       "volume-time", "site",       "category"};
  std::string text;
  for (const VolumeFinding& f : check.format) {
    text += std::string(text.empty() ? "" : " ") + kFormat[static_cast<int>(f.problem)];
    if (f.entry >= 0) text += "@" + std::to_string(f.entry);
  }
  for (const ImageFinding& f : check.images) {
    text += std::string(text.empty() ? "" : " ") + kImage[static_cast<int>(f.problem)] + "@" +
            std::to_string(f.entry);
    if (f.problem == ImageProblem::kHeader) text += "/" + std::to_string(static_cast<int>(f.failedTest));
  }
  return text;
}

}  // namespace

TEST(VolumeCheck, EachKindOfDamage) {
  const int kLengthTest = static_cast<int>(HeaderTest::kLength);
  const struct {
    const char* what;
    std::function<void(VolumeFileHeader&, Bytes&)> change;
    std::string findings;
  } cases[] = {
      {"sound", [](VolumeFileHeader&, Bytes&) {}, ""},
      {"wrong magic", [](VolumeFileHeader& h, Bytes&) { h.magic[0] = 'K'; }, "magic"},
      {"61 entries", [](VolumeFileHeader& h, Bytes&) { h.entryCount = 61; }, "count"},
      {"negative count", [](VolumeFileHeader& h, Bytes&) { h.entryCount = -1; }, "count"},
      {"image inside the header", [](VolumeFileHeader& h, Bytes&) { h.entries[0].offset = 100; },
       "inside-header@0 gap@1"},
      {"file cut inside the last image", [](VolumeFileHeader&, Bytes& b) { b.pop_back(); },
       "past-end@2"},
      {"second entry points at the first image",
       [](VolumeFileHeader& h, Bytes&) { h.entries[1].offset = 980; },
       "out-of-order@1 gap@2 category@1"},
      {"gap behind the header",
       [](VolumeFileHeader& h, Bytes& b) {
         b.insert(b.begin() + 980, 4, 0);
         for (int i = 0; i < 3; ++i) h.entries[i].offset += 4;
       },
       "gap@0"},
      {"a byte behind the last image", [](VolumeFileHeader&, Bytes& b) { b.push_back(0); }, "tail@2"},
      {"product id twice", [](VolumeFileHeader& h, Bytes&) { h.entries[2].productId = 1; },
       "duplicate-id@2 category@2"},
      {"id not in the catalogue", [](VolumeFileHeader& h, Bytes&) { h.entries[1].productId = 13; },
       "unknown-id@1"},
      {"id of another category", [](VolumeFileHeader& h, Bytes&) { h.entries[0].productId = 2; },
       "category@0"},
      {"unused entry not zero", [](VolumeFileHeader& h, Bytes&) { h.entries[5].reserved = 1; },
       "unused-entry@5"},
      {"station not terminated",
       [](VolumeFileHeader& h, Bytes&) { std::memcpy(h.station, "ktlxktlx", 8); },
       "station site@0 site@1 site@2"},
      {"another station", [](VolumeFileHeader& h, Bytes&) { std::memcpy(h.station, "kfws", 4); },
       "site@0 site@1 site@2"},
      {"another volume time", [](VolumeFileHeader& h, Bytes&) { h.volumeTime += 300; },
       "volume-time@0 volume-time@1 volume-time@2"},
      {"message length damaged", [](VolumeFileHeader&, Bytes& b) { b[1330 + 30 + 11] ^= 1; },
       "header@1/" + std::to_string(kLengthTest)},
      {"volume time past 2038",
       [](VolumeFileHeader&, Bytes& b) {
         ProductSpec fields;
         fields.category = "NCR";
         fields.messageCode = 37;
         fields.volumeScanDate = 25000;
         Bytes late = BuildProduct(fields);
         std::copy(late.begin(), late.end(), b.begin() + 1330);
       },
       "time-range@1"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    Bytes file = SoundFile();
    VolumeFileHeader header;
    DecodeVolumeHeader(file.data(), &header);
    c.change(header, file);
    EncodeVolumeHeader(header, file.data());
    std::string path = dir.File("case.jx4");
    ASSERT_TRUE(WriteFileBytes(path, file));
    VolumeReader reader;
    ASSERT_TRUE(reader.Open(path.c_str())) << c.what;
    VolumeCheck check = CheckVolumeFile(reader);
    EXPECT_EQ(Describe(check), c.findings) << c.what;
    EXPECT_EQ(check.sound(), c.findings.empty()) << c.what;
  }
}

TEST(VolumeCheck, FindingsCarryWhatTheImageSays) {
  Bytes image = BuildProduct("N0V", 27);
  VolumeFileHeader header = NewVolumeHeader("kfws", kTime - 300);
  header.entryCount = 1;
  header.entries[0] = {1, 0, 980, static_cast<uint32_t>(image.size())};
  std::vector<ImageFinding> findings =
      CheckStoredImage(header, 0, image.data(), static_cast<int32_t>(image.size()));
  ASSERT_EQ(findings.size(), 3u);
  EXPECT_EQ(findings[0].problem, ImageProblem::kVolumeTime);
  EXPECT_EQ(findings[0].volumeTime, kTime);
  EXPECT_EQ(findings[1].problem, ImageProblem::kStation);
  EXPECT_STREQ(findings[1].found, "TLX");
  EXPECT_EQ(findings[2].problem, ImageProblem::kCategory);
  EXPECT_STREQ(findings[2].found, "N0V");
}

}  // namespace nimbrel
