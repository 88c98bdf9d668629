// jx4 list, info, verify and extract, run as the built program: what they
// print, their exit statuses, the files extract writes, and the round trip
// extract-then-convert over the shared real data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/path.h"
#include "support/product_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kTime = 1120392192;  // 2005-07-03 12:03:12 UTC, the builder's volume scan
const char kFile[] = "ktlx_20050703_120312.jx4";
const char kDegree[] = "\xC2\xB0";  // the degree sign in UTF-8

// A path as one argument of a command line (paths here hold no quotes).
std::string Quote(const std::string& text) { return "\"" + text + "\""; }

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// N0R (id 1) and N0Q (id 941), 350 bytes each, at 980 and 1330.
Bytes TwoProducts() {
  return BuildVolumeFile("ktlx", kTime, {{1, BuildProduct("N0R", 19)}, {941, BuildProduct("N0Q", 94)}});
}

// CCCC_TTAAII_PPPSSS_YYYYMMDDHHMM in capitals and digits.
bool IsArchiveName(const std::string& name) {
  if (name.size() != 31) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool separator = i == 4 || i == 11 || i == 18;
    bool fits = separator ? c == '_' : std::isdigit(c) || (i < 18 && std::isupper(c));
    if (!fits) return false;
  }
  return true;
}

struct Ran {
  int status;
  std::string out;
  std::string err;
};

// Runs jx4 with `arguments` (quoted by the caller) in `folder`.
class Jx4Test : public ::testing::Test {
 protected:
  Ran Jx4(const std::string& arguments) {
    ProgramRun run;
    run.arguments = arguments;
    run = RunProgram(JX4_BINARY, dir_.path(), run);
    return {run.status, run.output, run.errors};
  }
  void Write(const std::string& name, const Bytes& bytes) {
    ASSERT_TRUE(WriteFileBytes(dir_.File(name), bytes));
  }
  std::string Path(const std::string& name) const { return dir_.File(name); }

  TempDir dir_;
};

}  // namespace

TEST_F(Jx4Test, ListPrintsALinePerProduct) {
  Write(kFile, TwoProducts());
  Ran run = Jx4("list " + std::string(kFile));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            std::string("ktlx_20050703_120312.jx4 ktlx 2005-07-03T12:03:12Z    1 N0R      980     "
                        "350 Base Reflectivity 0.5") + kDegree + "\n" +
                "ktlx_20050703_120312.jx4 ktlx 2005-07-03T12:03:12Z  941 N0Q     1330     350 "
                "Digital Base Reflectivity 0.5" + kDegree + "\n");
  EXPECT_EQ(run.err, "");
}

#ifndef _WIN32  // a shell pipeline into jq
TEST_F(Jx4Test, ListJsonParsesBack) {
  if (RunCommand("command -v jq >/dev/null") != 0) GTEST_SKIP() << "jq is not installed";
  Write(kFile, TwoProducts());
  Bytes damaged = BuildVolumeFile("kfws", kTime + 300, {{13, BuildProduct("N0R", 19)}});
  damaged.push_back(0);  // a tail
  Write("damaged.jx4", damaged);
  Ran run = Jx4("list --json " + std::string(kFile) + " damaged.jx4 missing.jx4");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("'damaged.jx4' is damaged: entry 0 (id 13): bytes behind the last image"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("'missing.jx4'"), std::string::npos) << run.err;
  // Each line on its own through a real JSON parser, fields as text.
  Ran parsed = Jx4(
      "list --json " + std::string(kFile) + " damaged.jx4 2>/dev/null | jq -r '[.file, .station, .volume_time, "
      ".well_formed, (.entries | length)] + (.entries | map(.product_id, .category, .name, .offset, "
      ".length)) | map(tostring) | join(\"|\")'");
  EXPECT_EQ(parsed.out,
            std::string("ktlx_20050703_120312.jx4|ktlx|2005-07-03T12:03:12Z|true|2|1|N0R|Base "
                        "Reflectivity 0.5") + kDegree + "|980|350|941|N0Q|Digital Base Reflectivity 0.5" +
                kDegree + "|1330|350\n" +
                "damaged.jx4|kfws|2005-07-03T12:08:12Z|false|1|13|null|null|980|350\n");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
}

#endif  // _WIN32

TEST_F(Jx4Test, InfoDescribesEachFile) {
  Write(kFile, TwoProducts());
  Bytes gap = TwoProducts();
  gap.insert(gap.begin() + 1330, 5, 0);  // behind the first image: the second moves on
  gap[20 + 16 + 8] += 5;                 // entry 1's offset
  Write("gap.jx4", gap);
  Write("short.jx4", Bytes(979, 0));
  Ran run = Jx4("info " + std::string(kFile) + " gap.jx4 short.jx4 missing.jx4");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "ktlx_20050703_120312.jx4:\n"
            "  station      ktlx\n"
            "  volume time  2005-07-03T12:03:12Z\n"
            "  entries      2\n"
            "  bytes        1680\n"
            "  tail bytes   0\n"
            "  well formed  yes\n"
            "\n"
            "gap.jx4:\n"
            "  station      ktlx\n"
            "  volume time  2005-07-03T12:03:12Z\n"
            "  entries      2\n"
            "  bytes        1685\n"
            "  tail bytes   0\n"
            "  well formed  no\n"
            "  problem      entry 1 (id 941): gap before the image (entry 0)\n"
            "\n"
            "short.jx4:\n"
            "  bytes        979\n"
            "  well formed  no\n"
            "  problem      shorter than a header\n");
  EXPECT_EQ(run.err, "jx4: cannot read 'missing.jx4': it does not exist; check the path\n");
}

TEST_F(Jx4Test, VerifyOutcomesAndExitStatuses) {
  Write("sound.jx4", TwoProducts());
  Bytes twice = TwoProducts();
  twice[20 + 16] = 1;  // entry 1 gets id 1 again (941 is 0x3AD)
  twice[20 + 17] = 0;
  Write("twice.jx4", twice);
  Write("short.jx4", Bytes(10, 'J'));
  Bytes foreign(2000, 'x');
  Write("foreign.jx4", foreign);
  fs::create_directory(Path("folder.jx4"));
  const struct {
    const char* arguments;
    int status;
    const char* out;
    const char* err;
  } cases[] = {
      {"verify sound.jx4", 0, "", ""},
      {"verify -v sound.jx4", 0, "sound.jx4: ok\n", ""},
      {"verify twice.jx4 sound.jx4", 1,
       "twice.jx4: entry 1 (id 1): product id indexed twice (entry 0)\n"
       "twice.jx4: entry 1 (id 1): category code is not the entry's product id: 'N0Q' against N0R\n",
       ""},
      {"verify short.jx4", 1, "short.jx4: shorter than a header\n", ""},
      {"verify foreign.jx4", 1, "foreign.jx4: not a JX4 file (wrong magic)\n", ""},
      {"verify missing.jx4 sound.jx4", 1, "",
       "jx4: cannot read 'missing.jx4': it does not exist; check the path\n"},
      {"verify folder.jx4", 1, "", "jx4: cannot read 'folder.jx4': it is a folder, not a .jx4 file\n"},
  };
  for (const auto& c : cases) {
    Ran run = Jx4(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments;
    EXPECT_EQ(run.out, c.out) << c.arguments;
    EXPECT_EQ(run.err, c.err) << c.arguments;
  }
  for (const char* wrong : {"verify", "list", "info", "extract", "verify --bogus sound.jx4",
                            "extract --id -1 sound.jx4", "extract --category XYZ sound.jx4"}) {
    EXPECT_EQ(Jx4(wrong).status, 2) << wrong;
  }
  for (const char* help : {"list --help", "info --help", "verify --help", "extract --help"}) {
    Ran run = Jx4(help);
    EXPECT_EQ(run.status, 0) << help;
    EXPECT_NE(run.out.find("Exit status"), std::string::npos) << help;
  }
}

TEST_F(Jx4Test, ExtractNamesProductsAsTheDayArchives) {
  ProductSpec late;  // volume scan 2005-07-31 23:59, sent 1 August 00:01
  late.category = "N0Q";
  late.messageCode = 94;
  late.dayTime = "010001";
  late.volumeScanDate = DayNumber(2005, 7, 31);
  late.volumeScanTime = 86340;
  Write("ktlx_20050731_235900.jx4",
        BuildVolumeFile("ktlx", 1122854340, {{941, BuildProduct(late)}}));
  ProductSpec bare;  // no heading to name it by
  bare.withHeading = false;
  Bytes bareImage = BuildProduct(bare);
  Write(kFile, BuildVolumeFile("ktlx", kTime, {{1, BuildProduct("N0R", 19)}, {7, bareImage}}));

  Ran run = Jx4("extract -o out ktlx_20050731_235900.jx4 " + std::string(kFile));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "jx4: 'ktlx_20050703_120312.jx4' entry 1: no heading to name it by; "
                     "written as 'ktlx_20050703_120312_7'\n");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(Path("out"))) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"KTLX_SDUS54_N0QTLX_200508010001",
                                             "KTLX_SDUS54_N0RTLX_200507031203",
                                             "ktlx_20050703_120312_7"}));
  EXPECT_EQ(ReadFileBytes(Path("out/KTLX_SDUS54_N0QTLX_200508010001")), BuildProduct(late));
  EXPECT_EQ(ReadFileBytes(Path("out/ktlx_20050703_120312_7")), bareImage);
}

TEST_F(Jx4Test, ExtractNeverOverwrites) {
  const std::string sep(1, kPathSeparator);  // jx4 names paths the system's way
  Write(kFile, TwoProducts());
  Write("copy.jx4", TwoProducts());
  fs::create_directory(Path("out"));
  Write("out/KTLX_SDUS54_N0RTLX_200507031203", Bytes{'m', 'i', 'n', 'e'});
#ifdef _WIN32  // no links without a privilege: an existing file serves
  Write("out/KTLX_SDUS54_N0QTLX_200507031203", Bytes{'m', 'i', 'n', 'e'});
#else
  fs::create_symlink("nowhere", Path("out/KTLX_SDUS54_N0QTLX_200507031203"));
#endif

  Ran run = Jx4("extract -o out " + std::string(kFile));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "jx4: 'ktlx_20050703_120312.jx4' entry 0: 'out" + sep + "KTLX_SDUS54_N0RTLX_200507031203' "
            "exists already; not overwritten\n"
            "jx4: 'ktlx_20050703_120312.jx4' entry 1: 'out" + sep + "KTLX_SDUS54_N0QTLX_200507031203' "
            "exists already; not overwritten\n");
  EXPECT_EQ(Text(ReadFileBytes(Path("out/KTLX_SDUS54_N0RTLX_200507031203"))), "mine");
  EXPECT_FALSE(fs::exists(Path("out/nowhere")));

  // Two files holding the same products: the second copy is not written.
  run = Jx4("extract -v --category n0r -o fresh " + std::string(kFile) + " copy.jx4");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "fresh" + sep + "KTLX_SDUS54_N0RTLX_200507031203\n");
  EXPECT_EQ(run.err, "jx4: 'copy.jx4' entry 0: 'fresh" + sep + "KTLX_SDUS54_N0RTLX_200507031203' was "
                     "written from 'ktlx_20050703_120312.jx4' entry 0 already; not overwritten\n");
}

TEST_F(Jx4Test, ExtractOneProductToStandardOutput) {
  Write(kFile, TwoProducts());
  Write("other.jx4", BuildVolumeFile("ktlx", kTime, {{7, BuildProduct("N0V", 27)}}));
  Ran run = Jx4("extract -o - --id 941 " + std::string(kFile) + " other.jx4");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Text(BuildProduct("N0Q", 94)));

  run = Jx4("extract -o - --category N0V --id 5 " + std::string(kFile) + " other.jx4");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Text(BuildProduct("N0V", 27)));

  for (const char* selection : {"", "--id 1 --category N0V", "--id 5"}) {
    run = Jx4("extract -o - " + std::string(selection) + " " + kFile + " other.jx4");
    EXPECT_EQ(run.status, 2) << selection;
    EXPECT_EQ(run.out, "") << selection;
    EXPECT_NE(run.err.find("'-o -' writes one product to standard output"), std::string::npos);
  }
}

// Convert the shared Level III files and the bundled sample, extract
// everything, convert what was extracted: the same .jx4 files with the same
// products and image bytes. The extracted names are those of the originals.
TEST_F(Jx4Test, RoundTripOverTheRealData) {
  NIMBREL_REQUIRE_TESTDATA();
  std::string level3 = TestdataDir() + "/level3";
  Ran run = Jx4("convert -q -o first " + Quote(level3) + " " +
                Quote(std::string(NIMBREL_SOURCE_DIR) + "/examples/sample.tar"));
  ASSERT_LE(run.status, 1) << run.err;
  std::vector<std::string> files = ListVolumeFiles(Path("first"));
  ASSERT_GT(files.size(), 10u);

  std::string all;  // every file, as a shell's "first/*.jx4" would give them
  for (const std::string& file : files) all += " first/" + file;
  run = Jx4("verify" + all);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "");
  run = Jx4("list" + all);
  EXPECT_EQ(run.status, 0) << run.err;
  int64_t products = std::count(run.out.begin(), run.out.end(), '\n');

  run = Jx4("extract -o products" + all);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::map<std::string, std::string> nameOf;  // extracted bytes, name
  for (const auto& entry : fs::directory_iterator(Path("products"))) {
    nameOf[Text(ReadFileBytes(entry.path().string()))] = entry.path().filename().string();
  }
  EXPECT_EQ(static_cast<int64_t>(nameOf.size()), products);

  run = Jx4("convert -q -o second products");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ListVolumeFiles(Path("second")), files);
  for (const std::string& file : files) {
    std::map<uint32_t, Bytes> before, after;
    for (StoredImage& image : ReadVolumeFile(Path("first/" + file)).entries) {
      before[image.productId] = std::move(image.image);
    }
    for (StoredImage& image : ReadVolumeFile(Path("second/" + file)).entries) {
      after[image.productId] = std::move(image.image);
    }
    EXPECT_FALSE(before.empty()) << file;
    EXPECT_TRUE(before == after) << file;
  }

  int named = 0;
  for (const auto& entry : fs::directory_iterator(level3)) {
    std::string original = entry.path().filename().string();
    auto found = nameOf.find(Text(ReadFileBytes(entry.path().string())));
    if (found == nameOf.end() || !IsArchiveName(original)) continue;
    EXPECT_EQ(found->second, original);
    ++named;
  }
  EXPECT_GT(named, 0);
  std::printf("%zu .jx4 files, %lld products; %d extracted under their original archive name\n",
              files.size(), static_cast<long long>(products), named);
}

}  // namespace nimbrel
