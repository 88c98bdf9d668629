// jx4 list, info, verify and extract, run as the built program: what they
// print, their exit statuses, the files extract writes, and the round trip
// extract-then-convert over the shared real data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/path.h"
#include "support/jx4_program.h"
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

// Runs jx4 in a fresh folder (support/jx4_program.h).
class Jx4Test : public Jx4Program {};

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
            "  empty: no product stored (a later store starts it afresh)\n");
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
  Write("empty.jx4", {});
  Bytes lowered = TwoProducts();
  lowered[16] = 1;  // the count: entry 1 stays set, its image a tail
  Write("lowered.jx4", lowered);
  Bytes longTail = TwoProducts();
  longTail.resize(longTail.size() + (16 << 20) + 1);
  Write("long-tail.jx4", longTail);
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
      {"verify short.jx4", 1,
       "short.jx4: shorter than a header\nshort.jx4: holds data that is not a .jx4 header\n", ""},
      {"verify empty.jx4", 0, "empty.jx4: empty: no product stored\n", ""},
      {"verify lowered.jx4", 1,
       "lowered.jx4: entry 0 (id 1): bytes behind the last image while unused index entries are set (a lowered "
       "count?)\nlowered.jx4: entry 1 (id 941): unused index entry is not zero\n",
       ""},
      {"verify long-tail.jx4", 1,
       "long-tail.jx4: entry 1 (id 941): more than 16 MiB behind the last image: no interrupted store leaves that\n", ""},
      {"verify foreign.jx4", 1, "foreign.jx4: not a JX4 file (wrong magic)\n", ""},
      {"verify missing.jx4 sound.jx4", 1, "",
       "jx4: cannot read 'missing.jx4': it does not exist; check the path\n"},
      {"verify folder.jx4", 1, "", "jx4: no .jx4 file in the folder 'folder.jx4'\n"},
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

namespace {

// The 72 tilt-family categories of the extended catalogue with their ids
// and product codes, then N0R and N0Q.
std::vector<std::tuple<std::string, uint32_t, int16_t>> ManyCategories() {
  std::vector<std::tuple<std::string, uint32_t, int16_t>> rows;
  const std::pair<char, int16_t> families[] = {{'B', 153}, {'G', 154}, {'X', 159}, {'C', 161},
                                               {'K', 163}, {'H', 165}, {'M', 166}, {'F', 113}};
  for (const auto& [letter, code] : families) {
    std::string tilts = "0A1B23XYZ";
    for (size_t slot = 0; slot < tilts.size(); ++slot) {
      rows.push_back({std::string("N") + tilts[slot] + letter, static_cast<uint32_t>(code * 10 + slot + 1), code});
    }
  }
  rows.push_back({"N0R", 1, 19});
  rows.push_back({"N0Q", 941, 94});
  return rows;
}

// A volume of ktlx holding the first 60 of `rows` in its first file and the
// rest in a further one.
void WriteVolumeSet(const std::string& folder) {
  std::vector<std::pair<uint32_t, Bytes>> first, further;
  for (const auto& [category, id, code] : ManyCategories()) {
    (first.size() < 60 ? first : further).push_back({id, BuildProduct(category.c_str(), code)});
  }
  fs::create_directories(folder);
  ASSERT_TRUE(WriteFileBytes(folder + "/ktlx_20050703_120312.jx4", BuildVolumeFile("ktlx", kTime, first)));
  ASSERT_TRUE(WriteFileBytes(folder + "/ktlx_20050703_120312_2.jx4", BuildVolumeFile("ktlx", kTime, further)));
}

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

// Folders are walked, a volume's further files come with its first, every
// id of both catalogues is named, and the selection takes what it names.
TEST_F(Jx4Test, ToolsTakeFoldersAndEveryFileOfAVolume) {
  WriteVolumeSet(Path("col/ktlx/2005"));
  ProductSpec inx;
  inx.site = "INX";
  inx.issuer = "KINX";
  inx.category = "N0B";
  inx.messageCode = 153;
  Write("col/kinx_20050703_120312.jx4", BuildVolumeFile("kinx", kTime, {{1531, BuildProduct(inx)}}));
  Write("col/notes.txt", Bytes{'n'});
  const std::string sep(1, kPathSeparator);
  const std::string first = "col" + sep + "ktlx" + sep + "2005" + sep + "ktlx_20050703_120312.jx4";
  const std::string further = "col" + sep + "ktlx" + sep + "2005" + sep + "ktlx_20050703_120312_2.jx4";

  Ran all = Jx4("list col");
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(Lines(all.out), 75u);
  EXPECT_EQ(all.out.rfind("col" + sep + "kinx_20050703_120312.jx4 kinx 2005-07-03T12:03:12Z 1531 N0B      980     "
                          "350 Super-Resolution Reflectivity 0.5" + std::string(kDegree) + "\n", 0), 0u) << all.out;
  EXPECT_NE(all.out.find(further + " ktlx 2005-07-03T12:03:12Z  941 N0Q"), std::string::npos) << all.out;
  EXPECT_EQ(Jx4("list " + first).out, all.out.substr(all.out.find('\n') + 1));
  EXPECT_EQ(Lines(Jx4("list " + further).out), 14u);

  const struct {
    const char* arguments;
    std::vector<std::string> firstFields;  // of each line: file, id
  } selections[] = {
      {"list --only N0B,n0q col", {"col" + sep + "kinx_20050703_120312.jx4 1531", first + " 1531", further + " 941"}},
      {"list --station TLX --only NZF col", {further + " 1139"}},
      {"list --station kinx --from 2005-07-03T12:03:12 --to 2005-07-03T12:03 col", {"col" + sep + "kinx_20050703_120312.jx4 1531"}},
      {"list --from 2005-07-03T12:03:13 col", {}},
  };
  for (const auto& c : selections) {
    Ran run = Jx4(c.arguments);
    EXPECT_EQ(run.status, 0) << c.arguments << ": " << run.err;
    std::vector<std::string> fields;
    for (size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1) {
      std::string line = run.out.substr(at, end - at);
      size_t file = line.find(' '), id = line.find_first_not_of(' ', line.find(' ', line.find(' ', file + 1) + 1));
      fields.push_back(line.substr(0, file) + " " + line.substr(id, line.find(' ', id) - id));
    }
    EXPECT_EQ(fields, c.firstFields) << c.arguments;
  }
  EXPECT_EQ(Jx4("list --only XYZ col").status, 2);
  EXPECT_EQ(Jx4("info --only N0Q col").status, 2);  // info and verify select files, not products

  Ran verify = Jx4("verify -v col");
  EXPECT_EQ(verify.status, 0) << verify.out;
  EXPECT_EQ(Lines(verify.out), 3u) << verify.out;
  Ran info = Jx4("info --station TLX col");
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find(further + ":\n  station      ktlx\n  volume time  2005-07-03T12:03:12Z\n"
                          "  continues    ktlx_20050703_120312.jx4 (file 2 of the volume)\n  entries      14\n"),
            std::string::npos) << info.out;
  EXPECT_EQ(info.out.find("kinx"), std::string::npos);

  Ran extract = Jx4("extract -v -o out --only N0B --category N0Q --category N0B col");
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(extract.out, "out" + sep + "KINX_SDUS54_N0BINX_200507031203\n" + "out" + sep +
                             "KTLX_SDUS54_N0BTLX_200507031203\n");
}

// What is wrong across a volume's files is said on the file it concerns.
TEST_F(Jx4Test, VerifyChecksAcrossAVolumesFiles) {
  const struct {
    const char* what;
    const char* change;  // which file is changed, how
    std::string line;
  } cases[] = {
      {"an id in two files", "twice", "set/ktlx_20050703_120312_2.jx4: entry 0 (id 1631): product id indexed also "
                                      "in 'ktlx_20050703_120312.jx4' (entry 36)\n"},
      {"another station", "station", "set/ktlx_20050703_120312_2.jx4: station or volume time is not that of the "
                                     "volume's first file 'ktlx_20050703_120312.jx4'\n"},
      {"a missing file before", "gap", "set/ktlx_20050703_120312_3.jx4: the volume's file before it, "
                                       "'ktlx_20050703_120312_2.jx4', is missing\n"},
  };
  for (const auto& c : cases) {
    fs::remove_all(Path("set"));
    WriteVolumeSet(Path("set"));
    std::string further = Path("set/ktlx_20050703_120312_2.jx4");
    Bytes file = ReadFileBytes(further);
    if (std::string(c.change) == "twice") {
      uint32_t id = 1631;  // N0K, the first file's entry 36
      std::memcpy(file.data() + 20, &id, 4);
    } else if (std::string(c.change) == "station") {
      file[8] = 'x';
    }
    if (std::string(c.change) == "gap") {
      fs::rename(further, Path("set/ktlx_20050703_120312_3.jx4"));
    } else {
      Write("set/ktlx_20050703_120312_2.jx4", file);
    }
    Ran run = Jx4("verify set");
    EXPECT_EQ(run.status, 1) << c.what;
    std::string expected = c.line;
    for (size_t at = 0; (at = expected.find("set/", at)) != std::string::npos; at += 4) expected[at + 3] = kPathSeparator;
    EXPECT_NE(run.out.find(expected), std::string::npos) << c.what << ":\n" << run.out;
  }
}

TEST_F(Jx4Test, CatalogueShowsWhatIsFiled) {
  Ran classic = Jx4("catalogue");
  EXPECT_EQ(classic.status, 0);
  EXPECT_EQ(Lines(classic.out), 1 + 56 + 20 + 1u);
  EXPECT_EQ(classic.out.find("N0B"), std::string::npos);
  EXPECT_NE(classic.out.find("\nN0Q   941  Digital Base Reflectivity 0.5" + std::string(kDegree) + "\n"), std::string::npos);
  Ran extended = Jx4("catalogue --extended");
  EXPECT_EQ(Lines(extended.out), 1 + 56 + 20 + 1 + 1 + 106 + 1 + 1 + 1u);
  EXPECT_NE(extended.out.find("\nNZB  1539  Super-Resolution Reflectivity 0.3" + std::string(kDegree) + "\n"),
            std::string::npos);
  EXPECT_NE(extended.out.find("\nklgx khdc kcri koun tjbq tjrv rkjk rksg rodn lpla\n"), std::string::npos);
#ifndef _WIN32  // a shell pipeline into jq
  if (RunCommand("command -v jq >/dev/null") != 0) GTEST_SKIP() << "jq is not installed";
  Ran parsed = Jx4("catalogue --extended --json | jq -r '[(.products | length), (.stations | length), "
                   "(.products[] | select(.category == \"DU6\") | \"\\(.id) \\(.table)\"), .read_as.NOW] | "
                   "map(tostring) | join(\" \")'");
  EXPECT_EQ(parsed.out, "162 210 1732 extended N0W\n");
#endif
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
