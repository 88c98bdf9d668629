#include "sources/any_input.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "products/product_intake.h"
#include "sources/content_kind.h"
#include "support/faulty_folder.h"
#include "support/output_dir.h"
#include "support/product_builder.h"
#include "support/recording_reporter.h"
#include "support/tar_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Corpus {
  std::vector<std::pair<std::string, Bytes>> products;  // name, image
};

// Products of two stations, three scans, four kinds, under NCEI and cloud
// names alike.
Corpus MakeCorpus() {
  Corpus corpus;
  const char* categories[] = {"N0R", "N0V", "N0Q", "NCR"};
  const int16_t codes[] = {19, 27, 94, 37};
  uint32_t seed = 1;
  for (const char* site : {"TLX", "INX"}) {
    for (int scan = 0; scan < 3; ++scan) {
      for (int k = 0; k < 4; ++k) {
        ProductSpec fields;
        fields.site = site;
        fields.issuer = std::string("K") + site;
        fields.category = categories[k];
        fields.messageCode = codes[k];
        fields.volumeScanTime = 43200 + 300 * static_cast<uint32_t>(scan);
        fields.seed = seed++;
        fields.bodySize = 1500 + 700 * k;
        std::string name = scan % 2 == 0 ? ArchiveName(fields, "20050703120" + std::to_string(scan))
                                         : std::string(site) + "_" + categories[k] +
                                               "_2005_07_03_12_0" + std::to_string(scan) + "_12";
        corpus.products.push_back({name, BuildProduct(fields)});
      }
    }
  }
  return corpus;
}

InputEnd Convert(const std::string& input, const std::string& folder, RecordingReporter* recorder) {
  fs::create_directories(folder);
  std::unique_ptr<StoreFolder> out = OpenDiskFolder(folder.c_str());
  RunContext context(*out, *recorder, input.c_str());
  return ProcessAnyFile(context, input.c_str());
}

}  // namespace

TEST(RecogniseContent, TellsKindsByTheirFirstBytes) {
  Bytes tar;
  TarMember member;
  member.name = "a";
  member.data = Bytes(10, 'x');
  AppendTarMember(&tar, member);
  Bytes product = BuildProduct(ProductSpec{});
  auto head = [](const std::string& text, size_t size = 64) {
    Bytes bytes(size, 'p');
    std::copy(text.begin(), text.end(), bytes.begin());
    return bytes;
  };
  Bytes bz2Blocks = head("");
  bz2Blocks[28] = 'B';
  bz2Blocks[29] = 'Z';
  const std::pair<Bytes, ContentKind> cases[] = {
      {head("\x1F\x9D"), ContentKind::kCompress},
      {head("\x1F\x8B"), ContentKind::kGzip},
      {bz2Blocks, ContentKind::kBz2Blocks},
      {head("AR2V0006.xxx"), ContentKind::kLevelTwo},
      {head("ARCHIVE2.xxx"), ContentKind::kLevelTwo},
      {head("BZh9"), ContentKind::kCompressed},
      {head(std::string("\xFD" "7zXZ\0", 6)), ContentKind::kCompressed},
      {head("\x28\xB5\x2F\xFD"), ContentKind::kCompressed},
      {head("PK\x03\x04"), ContentKind::kArchive},
      {head("7z\xBC\xAF\x27\x1C"), ContentKind::kArchive},
      {head("070701"), ContentKind::kArchive},
      {tar, ContentKind::kArchive},
      {head("\x01\r\r\n001 \r\r\n"), ContentKind::kFramed},
      {head(std::string("JX4\0", 4)), ContentKind::kVolume},
      {product, ContentKind::kOther},
      {head("BZh"), ContentKind::kOther},  // a bzip2 magic needs its block size
      {Bytes(), ContentKind::kOther},
  };
  for (const auto& [bytes, kind] : cases) {
    EXPECT_EQ(RecogniseContent(bytes.data(), bytes.size()), kind)
        << std::string(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 8));
    // The console program's three kinds, on its 32 bytes; anything else is
    // its plain tar, a Level II volume (with 'BZ' at 28) its bzip2 blocks.
    Bytes levelTwo = bz2Blocks;
    std::memcpy(levelTwo.data(), "AR2V0006.", 9);
    bool consoleKind = kind == ContentKind::kCompress || kind == ContentKind::kGzip ||
                       kind == ContentKind::kBz2Blocks;
    if (bytes.size() >= 32) {
      EXPECT_EQ(RecogniseContent(bytes.data(), 32, Readers::kConsole),
                consoleKind ? kind : ContentKind::kOther);
    }
    EXPECT_EQ(RecogniseContent(levelTwo.data(), 32, Readers::kConsole), ContentKind::kBz2Blocks);
    EXPECT_EQ(RecogniseContent(levelTwo.data(), 32), ContentKind::kLevelTwo);
  }
}

// The same products reach the same .jx4 files whatever they come in: every
// archive format and compression, archives inside archives, names of every
// kind, framed files.
TEST(ProcessAnyFile, EveryKindOfInputFilesTheSameProducts) {
  for (const char* tool : {"tar", "compress", "gzip", "bzip2", "xz", "zstd", "zip", "7z", "cpio"}) {
    if (RunCommand(std::string("command -v ") + tool + " >/dev/null") != 0) {
      GTEST_SKIP() << tool << " is not installed";
    }
  }
  TempDir dir;
  Corpus corpus = MakeCorpus();
  OutputDir reference;
  for (const auto& [name, image] : corpus.products) {
    ProcessProduct(reference.context, name.c_str(), image.data(), static_cast<int32_t>(image.size()));
  }
  ProductSets expected = ReadProductSets(reference.dir.path());
  ASSERT_EQ(expected.size(), 6u);

  // The products under a folder whose path takes over 100 characters.
  std::string deep = "in/" + std::string(60, 'd') + "/" + std::string(50, 'e');
  fs::create_directories(dir.File(deep));
  for (const auto& [name, image] : corpus.products) {
    ASSERT_TRUE(WriteFileBytes(dir.File(deep + "/" + name), image));
  }
  const std::string in = "cd " + dir.path() + " && ";
  const std::pair<const char*, std::string> inputs[] = {
      {"gnu.tar", "tar --format=gnu -cf gnu.tar in"},
      {"pax.tar", "tar --format=pax -cf pax.tar in"},
      {"a.tar.Z", "tar -cf - in | compress -c > a.tar.Z"},
      {"a.tar.gz", "tar -czf a.tar.gz in"},
      {"a.tar.bz2", "tar -cjf a.tar.bz2 in"},
      {"a.tar.xz", "tar -cJf a.tar.xz in"},
      {"a.tar.zst", "tar -cf - in | zstd -q -c > a.tar.zst"},
      {"a.zip", "zip -qr a.zip in"},
      {"a.7z", "7z a -bd -bso0 a.7z in"},
      {"a.cpio", "find in | cpio -o -H newc --quiet > a.cpio"},
      {"nested.tar",
       "mkdir -p days && tar -cf - in | compress -c > days/one.tar.Z && "
       "tar -czf days/two.tar.gz in && zip -qr days/three.zip in && tar -cf nested.tar days"},
  };
  for (const auto& [input, command] : inputs) {
    ASSERT_EQ(RunCommand(in + command), 0) << command;
    RecordingReporter recorder;
    std::string out = dir.File(std::string("out-") + input);
    EXPECT_EQ(Convert(dir.File(input), out, &recorder), InputEnd::kCleanEnd) << input;
    EXPECT_TRUE(ReadProductSets(out) == expected) << input;
    size_t stored = 0;
    for (const RecordedProduct& p : recorder.products) stored += p.outcome == Outcome::kStored;
    EXPECT_EQ(stored, corpus.products.size()) << input;
  }
}

// Framed feed files: one product each, compressed or not, and a stream
// file of many; the products are filed without their framing.
TEST(ProcessAnyFile, FramedFilesAreTakenApart) {
  TempDir dir;
  Corpus corpus = MakeCorpus();
  OutputDir reference;
  Bytes stream;
  for (size_t i = 0; i < corpus.products.size(); ++i) {
    const auto& [name, image] = corpus.products[i];
    ProcessProduct(reference.context, name.c_str(), image.data(), static_cast<int32_t>(image.size()));
    Bytes framed = FrameProduct(image, static_cast<int>(i), static_cast<int>(i % 3));
    if (i < 4) {
      ASSERT_TRUE(WriteFileBytes(dir.File("single" + std::to_string(i)), framed));
    } else {
      stream.insert(stream.end(), framed.begin(), framed.end());
    }
  }
  ASSERT_TRUE(WriteFileBytes(dir.File("stream.ldm"), stream));
  RecordingReporter recorder;
  for (const char* file : {"single0", "single1", "single2", "single3", "stream.ldm"}) {
    EXPECT_EQ(Convert(dir.File(file), dir.File("out"), &recorder), InputEnd::kCleanEnd) << file;
  }
  EXPECT_TRUE(ReadProductSets(dir.File("out")) == ReadProductSets(reference.dir.path()));
  ASSERT_EQ(recorder.products.size(), corpus.products.size());
  EXPECT_EQ(recorder.products.back().member, "stream.ldm#20");
  EXPECT_EQ(recorder.products.front().member, "single0");  // one frame: the file's own name
}

// A feed file of any length (here over the 16 MiB that a product may take),
// plain or compressed whole as users keep hourly files, is split as it is
// read: every product filed, each once.
TEST(ProcessAnyFile, LongFeedFilesPlainOrCompressed) {
  TempDir dir;
  OutputDir reference;
  Bytes feed;
  size_t products = 0;
  for (uint32_t scan = 0; feed.size() < (18u << 20); ++scan) {
    ProductSpec fields;
    fields.volumeScanTime = 600 * scan;
    fields.seed = scan + 1;
    fields.bodySize = 60000;
    fields.bodyStyle = scan % 2 == 0 ? BodyStyle::kRandom : BodyStyle::kRuns;
    Bytes image = BuildProduct(fields);
    ProcessProduct(reference.context, "x", image.data(), static_cast<int32_t>(image.size()));
    Bytes framed = FrameProduct(image, static_cast<int>(scan), static_cast<int>(scan % 3), true, 1);
    feed.insert(feed.end(), framed.begin(), framed.end());
    ++products;
  }
  ProductSets expected = ReadProductSets(reference.dir.path());
  ASSERT_TRUE(WriteFileBytes(dir.File("feed"), feed));
  const std::pair<const char*, const char*> kinds[] = {
      {"feed", ""}, {"feed.gz", "gzip -1 -c"}, {"feed.bz2", "bzip2 -1 -c"},
      {"feed.xz", "xz -0 -T1 -c"}, {"feed.zst", "zstd -1 -q -c"}, {"feed.Z", "compress -c"},
  };
  for (const auto& [name, tool] : kinds) {
    if (tool[0] != '\0') {
      std::string command = std::string(tool).substr(0, std::string(tool).find(' '));
      if (RunCommand("command -v " + command + " >/dev/null") != 0) continue;
      ASSERT_EQ(RunCommand(std::string(tool) + " " + dir.File("feed") + " > " + dir.File(name)), 0);
    }
    RecordingReporter recorder;
    std::string out = dir.File(std::string("out-") + name);
    EXPECT_EQ(Convert(dir.File(name), out, &recorder), InputEnd::kCleanEnd) << name;
    ASSERT_EQ(recorder.products.size(), products) << name;
    EXPECT_TRUE(ReadProductSets(out) == expected) << name;
    EXPECT_EQ(recorder.products[1].member, std::string(name) + "#2");  // the file's name, not the library's
  }
}

// A disk that fills in the middle of a feed: each store that fails is
// reported (and its file put back), and the stream goes on, storing again
// once there is room.
TEST(ProcessAnyStream, AFullDiskCostsTheStoresThatFailAndTheFeedGoesOn) {
  Bytes feed;
  const int kProducts = 12;
  for (int i = 0; i < kProducts; ++i) {
    ProductSpec fields;
    fields.volumeScanTime = 300 * static_cast<uint32_t>(i);
    fields.seed = static_cast<uint32_t>(i) + 1;
    Bytes framed = FrameProduct(BuildProduct(fields), i, i % 2);
    feed.insert(feed.end(), framed.begin(), framed.end());
  }
  for (bool sticky : {false, true}) {
    TempDir dir;
    FaultPlan plan;
    plan.failAt = 19;  // a write of the third store
    plan.sticky = sticky;
    FaultyFolder folder(OpenDiskFolder(dir.path().c_str()), plan);
    RecordingReporter recorder;
    RunContext context(folder, recorder, "feed");
    EXPECT_EQ(ProcessAnyStream(context, std::make_unique<MemoryStream>("feed", feed.data(), feed.size())),
              InputEnd::kCleanEnd);
    ASSERT_EQ(recorder.products.size(), static_cast<size_t>(kProducts)) << sticky;
    int stored = 0, failed = 0;
    for (const RecordedProduct& p : recorder.products) {
      stored += p.outcome == Outcome::kStored;
      failed += IsStoreFailure(p.outcome);
    }
    EXPECT_EQ(stored + failed, kProducts) << sticky;
    EXPECT_GT(stored, 0) << sticky;
    EXPECT_EQ(failed, sticky ? kProducts - stored : 1) << sticky;
    EXPECT_EQ(recorder.products.back().outcome, sticky ? Outcome::kCouldntCreate : Outcome::kStored);
    int filed = 0;  // a file left empty by a failed first store holds none
    for (const auto& [name, products] : ReadProductSets(dir.path())) {
      filed += static_cast<int>(products.size() - products.count(UINT32_MAX));
    }
    EXPECT_EQ(filed, stored) << sticky;
  }
}

// What each kind of trouble is reported as, and that it costs nothing else.
namespace {

Bytes RandomBytes(size_t size) {
  Bytes bytes(size);
  uint32_t state = 12345;
  for (uint8_t& byte : bytes) {
    state = state * 1103515245 + 12345;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

}  // namespace

TEST(ProcessAnyFile, ReportsEveryOutcome) {
  TempDir dir;
  Bytes product = BuildProduct(ProductSpec{});
  ProductSpec velocity;
  velocity.category = "N0V";
  velocity.messageCode = 27;
  auto tarOf = [](std::vector<std::pair<std::string, Bytes>> members) {
    Bytes tar;
    for (auto& [name, data] : members) {
      TarMember member;
      member.name = name;
      member.data = data;
      AppendTarMember(&tar, member);
    }
    AppendTarEnd(&tar);
    return tar;
  };
  Bytes nested = tarOf({{"p", product}});
  for (int level = 0; level < 4; ++level) nested = tarOf({{"level" + std::to_string(level), nested}});
  Bytes large(kMaxProductSize + 1, 'L');
  velocity.bodyStyle = BodyStyle::kRandom;  // so that the cut falls inside it
  velocity.bodySize = 20000;
  ASSERT_TRUE(WriteFileBytes(dir.File("whole.tar"), tarOf({{"a", product}, {"b", BuildProduct(velocity)}})));
  ASSERT_EQ(RunCommand("cd " + dir.path() + " && gzip -c whole.tar > whole.tar.gz"), 0);
  Bytes whole = ReadFileBytes(dir.File("whole.tar"));
  Bytes cut = ReadFileBytes(dir.File("whole.tar.gz"));
  cut.resize(cut.size() - 10000);
  struct Case {
    const char* what;
    std::string file;  // under dir, or absolute
    Bytes content;     // written unless empty and the file exists
    std::vector<Outcome> outcomes;
    InputEnd end;
  } cases[] = {
      {"five archives deep", "nested.tar", nested, {Outcome::kTooDeep}, InputEnd::kCleanEnd},
      {"a member over 16 MiB, then a product", "large.tar",
       tarOf({{"large", large}, {"p", product}}), {Outcome::kTooLarge, Outcome::kStored},
       InputEnd::kCleanEnd},
      {"a status message and a short file", "gsm.tar",
       tarOf({{"KTLX_NXUS64_GSMTLX_200507031203", product}, {"short", Bytes(47, 's')}}),
       {Outcome::kGsmSkipped, Outcome::kNotProduct}, InputEnd::kCleanEnd},
      {"an empty file", "empty", {}, {Outcome::kNotProduct}, InputEnd::kCleanEnd},
      {"a cut .tar.gz", "cut.tar.gz", cut, {Outcome::kStored}, InputEnd::kMemberCutShort},
      {"a cut tar", "cut.tar", Bytes(whole.begin(), whole.end() - 10000), {Outcome::kStored},
       InputEnd::kMemberCutShort},
      {"random bytes", "random", RandomBytes(5000), {Outcome::kNotProduct}, InputEnd::kCleanEnd},
      {"a missing file", "missing", {}, {}, InputEnd::kCantOpen},
  };
  for (const Case& c : cases) {
    std::string path = dir.File(c.file);
    if (!c.content.empty() || c.file == "empty") {
      ASSERT_TRUE(WriteFileBytes(path, c.content));
    }
    RecordingReporter recorder;
    EXPECT_EQ(Convert(path, dir.File(std::string("out-") + c.file), &recorder), c.end) << c.what;
    std::vector<Outcome> outcomes;
    for (const RecordedProduct& p : recorder.products) outcomes.push_back(p.outcome);
    EXPECT_EQ(outcomes, c.outcomes) << c.what;
    ASSERT_EQ(recorder.inputs.size(), 1u) << c.what;
    EXPECT_EQ(recorder.inputs[0].end, c.end) << c.what;
  }
}

// Real Level II volumes, plain and gzip-compressed, are named for what they
// are, not taken for damaged archives.
TEST(ProcessAnyFile, LevelTwoVolumesAreReportedAsSuch) {
  NIMBREL_REQUIRE_TESTDATA();
  TempDir dir;
  for (const char* name : {"KABR20050101_000745.gz", "KLOT20220317_000842_V06",
                           "Level2_TSTL_20220213_2357.ar2v"}) {
    RecordingReporter recorder;
    EXPECT_EQ(Convert(TestdataDir() + "/level2/" + name, dir.path(), &recorder), InputEnd::kCleanEnd)
        << name;
    ASSERT_EQ(recorder.products.size(), 1u) << name;
    EXPECT_EQ(recorder.products[0].outcome, Outcome::kLevelTwo) << name;
  }
  EXPECT_TRUE(ListVolumeFiles(dir.path()).empty());
}

}  // namespace nimbrel
