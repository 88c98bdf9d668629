#include "sources/volume_input.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sources/any_input.h"
#include "support/output_dir.h"
#include "support/product_builder.h"
#include "support/recording_reporter.h"
#include "support/tar_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kTime = 1120392192;  // 2005-07-03 12:03:12 UTC, the builder's volume scan

Bytes Bare() {
  ProductSpec fields;  // no heading to name it by
  fields.withHeading = false;
  fields.category = "N0V";
  fields.messageCode = 27;
  return BuildProduct(fields);
}

// N0R (id 1) at 980, N0Q (941) behind it, last a product without heading
// (7), which the intake does not take (it finds no category code).
Bytes ThreeProducts() {
  return BuildVolumeFile("ktlx", kTime,
                         {{1, BuildProduct("N0R", 19)}, {941, BuildProduct("N0Q", 94)}, {7, Bare()}});
}

void Put32(Bytes* file, size_t at, uint32_t value) { std::memcpy(file->data() + at, &value, 4); }

// Each member's outcome word, in the order reported.
std::vector<std::pair<std::string, Outcome>> Outcomes(const RecordingReporter& recorder) {
  std::vector<std::pair<std::string, Outcome>> outcomes;
  for (const RecordedProduct& product : recorder.products) outcomes.push_back({product.member, product.outcome});
  return outcomes;
}

const char kN0R[] = "KTLX_SDUS54_N0RTLX_200507031203";
const char kN0Q[] = "KTLX_SDUS54_N0QTLX_200507031203";
const char kBare[] = "ktlx_20050703_120312_7";
const char kEntry1[] = "ktlx_20050703_120312.jx4 entry 1 (id 941)";
const char kEntry2[] = "ktlx_20050703_120312.jx4 entry 2 (id 7)";

}  // namespace

// A .jx4 file, sound or damaged, read as a file and as a stream: what the
// intake gets, what is reported as not read, how the input ends.
TEST(VolumeInput, WhatEachFileGivesAsAFileAndAsAStream) {
  const Bytes sound = ThreeProducts();
  auto changed = [&sound](auto change) {
    Bytes file = sound;
    change(&file);
    return file;
  };
  using List = std::vector<std::pair<std::string, Outcome>>;
  const struct {
    const char* what;
    Bytes file;
    List asFile;
    InputEnd fileEnd;
    List asStream;  // when it differs
    InputEnd streamEnd;
  } cases[] = {
      {"sound", sound, {{kN0R, Outcome::kStored}, {kN0Q, Outcome::kStored}, {kBare, Outcome::kNotProduct}},
       InputEnd::kCleanEnd, {}, InputEnd::kCleanEnd},
      {"with a tail", changed([](Bytes* f) { f->resize(f->size() + 99, 0xEE); }),
       {{kN0R, Outcome::kStored}, {kN0Q, Outcome::kStored}, {kBare, Outcome::kNotProduct}}, InputEnd::kCleanEnd,
       {}, InputEnd::kCleanEnd},
      {"cut inside the second image", changed([](Bytes* f) { f->resize(980 + 350 + 10); }),
       {{kN0R, Outcome::kStored}, {kEntry1, Outcome::kCouldntRead}, {kEntry2, Outcome::kCouldntRead}},
       InputEnd::kMemberCutShort, {}, InputEnd::kMemberCutShort},
      {"cut inside the header", changed([](Bytes* f) { f->resize(500); }), {}, InputEnd::kMemberCutShort, {},
       InputEnd::kMemberCutShort},
      {"a count of 61", changed([](Bytes* f) { Put32(f, 16, 61); }), {}, InputEnd::kDecodingError, {},
       InputEnd::kDecodingError},
      {"the second image inside the header", changed([](Bytes* f) { Put32(f, 20 + 16 + 8, 100); }),
       {{kN0R, Outcome::kStored}, {kEntry1, Outcome::kCouldntRead}, {kBare, Outcome::kNotProduct}},
       InputEnd::kDecodingError,
       {{kEntry1, Outcome::kCouldntRead}, {kN0R, Outcome::kStored}, {kBare, Outcome::kNotProduct}},
       InputEnd::kDecodingError},
      // The second entry points at the first image: a file gives it twice,
      // a stream cannot go back for it.
      {"two entries of one image", changed([](Bytes* f) { Put32(f, 20 + 16 + 8, 980); }),
       {{kN0R, Outcome::kStored}, {kN0R, Outcome::kAlreadyPresent}, {kBare, Outcome::kNotProduct}},
       InputEnd::kCleanEnd, {{kN0R, Outcome::kStored}, {kEntry1, Outcome::kCouldntRead}, {kBare, Outcome::kNotProduct}},
       InputEnd::kDecodingError},
      // Entries out of order: a stream reads them by their offsets.
      {"the last image indexed first", changed([](Bytes* f) {
         uint8_t first[16];
         std::memcpy(first, f->data() + 20, 16);
         std::memcpy(f->data() + 20, f->data() + 20 + 32, 16);
         std::memcpy(f->data() + 20 + 32, first, 16);
       }),
       {{kBare, Outcome::kNotProduct}, {kN0Q, Outcome::kStored}, {kN0R, Outcome::kStored}}, InputEnd::kCleanEnd,
       {{kN0R, Outcome::kStored}, {kN0Q, Outcome::kStored}, {kBare, Outcome::kNotProduct}}, InputEnd::kCleanEnd},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = dir.File("ktlx_20050703_120312.jx4");
    ASSERT_TRUE(WriteFileBytes(path, c.file));
    for (bool stream : {false, true}) {
      OutputDir out;
      RecordingReporter recorder;
      out.relay.target = &recorder;
      MemoryStream bytes("ktlx_20050703_120312.jx4", c.file.data(), c.file.size());
      VolumeInputEnd end = stream ? ProcessVolumeStream(out.context, bytes, "ktlx_20050703_120312.jx4")
                                  : ProcessVolumeFile(out.context, path.c_str(), "");
      List expected = stream && !c.asStream.empty() ? c.asStream : c.asFile;
      if (stream) {
        for (auto& [member, outcome] : expected) member = "ktlx_20050703_120312.jx4/" + member;
      }
      std::string what = std::string(c.what) + (stream ? ", as a stream" : ", as a file");
      EXPECT_EQ(Outcomes(recorder), expected) << what;
      EXPECT_EQ(end.end, stream ? c.streamEnd : c.fileEnd) << what << ": " << end.detail;
      EXPECT_EQ(end.detail.empty(), end.end == InputEnd::kCleanEnd) << what;
    }
  }
}

// .jx4 files are told by their content, alone or inside archives, and give
// the same files as the product files they hold; a file's members go by
// their names, an archive's by the path through it.
TEST(VolumeInput, ReadByContentWhereverTheyAre) {
  TempDir dir;
  const Bytes volume = ThreeProducts();
  ASSERT_TRUE(WriteFileBytes(dir.File("any-name"), volume));
  Bytes archive;
  TarMember member;
  member.name = "day/ktlx_20050703_120312.jx4";
  member.data = volume;
  AppendTarMember(&archive, member);
  AppendTarEnd(&archive);
  ASSERT_TRUE(WriteFileBytes(dir.File("collection.tar"), archive));
  // With a megabyte behind its images (what an interrupted store may leave),
  // a damaged trailer is seen only when the stream is read to its end.
  Bytes tailed = volume;
  tailed.resize(tailed.size() + (1 << 20), 0);
  ASSERT_TRUE(WriteFileBytes(dir.File("tailed"), tailed));
  ASSERT_EQ(RunCommand("cd " + dir.path() + " && gzip -k collection.tar && gzip -c tailed > volume.gz"), 0);
  Bytes damaged = ReadFileBytes(dir.File("volume.gz"));
  damaged[damaged.size() - 1] ^= 1;  // the trailer's size, behind every image
  ASSERT_TRUE(WriteFileBytes(dir.File("damaged-trailer.gz"), damaged));
  ProductSets expected;
  for (const auto& [id, image] : std::vector<std::pair<uint32_t, Bytes>>{
           {1, BuildProduct("N0R", 19)}, {941, BuildProduct("N0Q", 94)}, {7, Bare()}}) {
    expected["ktlx_20050703_120312.jx4"][id] = image;
  }
  const struct {
    const char* input;
    const char* firstMember;
    InputEnd end;
  } inputs[] = {
      {"any-name", kN0R, InputEnd::kCleanEnd},
      {"collection.tar", "day/ktlx_20050703_120312.jx4/KTLX_SDUS54_N0RTLX_200507031203", InputEnd::kCleanEnd},
      {"collection.tar.gz", "day/ktlx_20050703_120312.jx4/KTLX_SDUS54_N0RTLX_200507031203", InputEnd::kCleanEnd},
      {"volume.gz", "volume.gz/KTLX_SDUS54_N0RTLX_200507031203", InputEnd::kCleanEnd},
      // Read to its end: the damage behind the images is seen.
      {"damaged-trailer.gz", "damaged-trailer.gz/KTLX_SDUS54_N0RTLX_200507031203", InputEnd::kDecodingError},
  };
  for (const auto& [input, firstMember, end] : inputs) {
    OutputDir out;
    RecordingReporter recorder;
    out.relay.target = &recorder;
    RunContext context(*out.folder, recorder, input);
    EXPECT_EQ(ProcessAnyFile(context, dir.File(input).c_str()), end) << input;
    ASSERT_EQ(recorder.products.size(), 3u) << input;
    expected["ktlx_20050703_120312.jx4"].erase(7);  // no product to the intake
    EXPECT_EQ(recorder.products[0].member, firstMember) << input;
    EXPECT_TRUE(ReadProductSets(out.dir.path()) == expected) << input;
  }
}

}  // namespace nimbrel
