#include "products/volume_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "decode/decode_product.h"
#include "support/product_builder.h"
#include "support/symbology_builder.h"
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
                                        "duplicate-id", "unused-entry", "station",
                                        "long-tail", "tail-and-entries", "foreign"};
  static const char* const kImage[] = {"unknown-id",  "unreadable", "header", "time-range",
                                       "volume-time", "site",       "category", "does-not-decode"};
  std::string text;
  for (const VolumeFinding& f : check.format) {
    text += std::string(text.empty() ? "" : " ") + kFormat[static_cast<int>(f.problem)];
    if (f.entry >= 0) text += "@" + std::to_string(f.entry);
  }
  for (const ImageFinding& f : check.images) {
    text += std::string(text.empty() ? "" : " ") + kImage[static_cast<int>(f.problem)] + "@" +
            std::to_string(f.entry);
    if (f.problem == ImageProblem::kHeader) text += "/" + std::to_string(static_cast<int>(f.failedTest));
    if (f.problem == ImageProblem::kDoesNotDecode) text += std::string("/") + DecodeErrorText(f.decoded.error);
  }
  return text;
}

// Writes `file` as a .jx4 file in `dir` and checks it, deeply or not.
VolumeCheck Check(const TempDir& dir, const Bytes& file, bool deep) {
  std::string path = dir.File("case.jx4");
  EXPECT_TRUE(WriteFileBytes(path, file));
  VolumeReader reader;
  EXPECT_TRUE(reader.Open(path.c_str()));
  return CheckVolumeFile(reader, deep);
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
    VolumeCheck check = Check(dir, file, false);
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

// The deep check decodes every image: a damaged image is named, the others
// pass; without it, only the header and index are judged.
TEST(VolumeCheck, DeepCheckDecodesEveryImage) {
  ImageProductFields runs;  // N0R (id 1): run-length radials, uncompressed
  Bytes n0r = BuildImageProduct(runs, SymbologyBlock({{RunLengthRadialPacket(40, MakeRadials(12, 40, 16, 0, 1))}}));
  ImageProductFields digital;  // N0Q (id 941): digital radials, bzip2-compressed
  digital.fields.category = "N0Q";
  digital.fields.messageCode = 94;
  digital.thresholds = {0xFF9C, 5, 254};
  digital.compress = true;
  Bytes n0q = BuildImageProduct(digital, SymbologyBlock({{DigitalRadialPacket(41, MakeRadials(12, 41, 256, 0, 2))}}));
  const size_t second = 980 + n0r.size();       // where the N0Q image starts
  const size_t radialCount = 980 + 30 + 136 + 12;  // the N0R packet's radial count
  const std::string headerTest = "header@0/" + std::to_string(static_cast<int>(HeaderTest::kSymbologyOffset));
  const struct {
    const char* what;
    std::function<void(Bytes&)> change;
    std::string deep;
    std::string shallow;
  } cases[] = {
      {"sound", [](Bytes&) {}, "", ""},
      {"a byte flipped inside the compressed symbology",
       [&](Bytes& b) { b[second + 150 + (n0q.size() - 150) / 2] ^= 0xFF; },
       "does-not-decode@1/compressed symbology does not inflate", ""},
      {"the bzip2 magic damaged", [&](Bytes& b) { b[second + 150] = 'b'; },
       "does-not-decode@1/bad symbology block header", ""},
      {"more radials than the packet holds", [&](Bytes& b) { b[radialCount + 1] = 13; },
       "does-not-decode@0/bad packet", ""},
      {"a layer longer than the block", [&](Bytes& b) { b[980 + 30 + 132] = 0x7F; },
       "does-not-decode@0/bad symbology layer header", ""},
      {"the symbology offset past the message", [&](Bytes& b) { b[980 + 30 + 108] = 0x7F; },
       headerTest + " does-not-decode@0/block offset points outside the message", headerTest},
  };
  TempDir dir;
  for (const auto& c : cases) {
    Bytes file = BuildVolumeFile("ktlx", kTime, {{1, n0r}, {941, n0q}});
    c.change(file);
    EXPECT_EQ(Describe(Check(dir, file, true)), c.deep) << c.what;
    EXPECT_EQ(Describe(Check(dir, file, false)), c.shallow) << c.what;
  }
  // A product whose symbology block is no image format (the sample's own
  // synthetic bodies) does not decode either.
  EXPECT_EQ(Describe(Check(dir, BuildVolumeFile("ktlx", kTime, {{14, BuildProduct("NCR", 37)}}), true)),
            "does-not-decode@0/bad symbology block header");
}

// A real bzip2-compressed product stored in a .jx4 file passes; a byte
// flipped anywhere in its compressed symbology is found.
TEST(VolumeCheck, DeepCheckFindsAFlippedByteInARealCompressedImage) {
  NIMBREL_REQUIRE_TESTDATA();
  Bytes n0q = ReadFileBytes(TestdataDir() + "/level3/KBMX_SDUS54_N0QBMX_201501020205");
  ASSERT_GT(n0q.size(), 1000u);
  const int32_t volumeTime = 1420164328;  // 2015-01-02 02:05:28 UTC
  TempDir dir;
  Bytes sound = BuildVolumeFile("kbmx", volumeTime, {{941, n0q}});
  EXPECT_EQ(Describe(Check(dir, sound, true)), "");
  const size_t compressed = n0q.size() - 150;
  for (size_t at : {size_t{16}, compressed / 3, compressed / 2, compressed - 12}) {
    Bytes file = sound;
    file[980 + 150 + at] ^= 0x10;
    EXPECT_EQ(Describe(Check(dir, file, true)), "does-not-decode@0/compressed symbology does not inflate")
        << "byte " << at << " of " << compressed;
  }
}

}  // namespace nimbrel
