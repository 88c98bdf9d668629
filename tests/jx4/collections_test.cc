// jx4 convert with today's data and collections, run as its users run it:
// the catalogues, the selection, dry runs, layouts, .jx4 files as inputs
// and the run's own output never read.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/product_builder.h"
#include "support/tar_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// 72 categories of the extended catalogue's tilt families and their codes:
// a volume of more than 60 products.
std::vector<std::pair<std::string, int16_t>> ModernCategories() {
  std::vector<std::pair<std::string, int16_t>> categories;
  const std::pair<char, int16_t> families[] = {{'B', 153}, {'G', 154}, {'X', 159}, {'C', 161},
                                               {'K', 163}, {'H', 165}, {'M', 166}, {'F', 113}};
  for (const auto& [letter, code] : families) {
    for (char tilt : std::string("0A1B23XYZ")) categories.push_back({std::string("N") + tilt + letter, code});
  }
  return categories;
}

const std::vector<std::pair<std::string, int16_t>> kClassic = {{"N0R", 19}, {"N0Q", 94}, {"N0U", 99}};

// A tar of `scans` volume scans (12:00:00, 12:05:00, ... on 2005-07-03) of
// every category given, for each site.
Bytes ArchiveOf(const std::vector<std::string>& sites, int scans,
                const std::vector<std::pair<std::string, int16_t>>& categories, uint32_t seed) {
  Bytes archive;
  for (const std::string& site : sites) {
    for (int scan = 0; scan < scans; ++scan) {
      for (const auto& [category, code] : categories) {
        ProductSpec fields;
        fields.site = site;
        fields.issuer = "K" + site;
        fields.category = category;
        fields.messageCode = code;
        fields.volumeScanTime = 43200 + 300 * static_cast<uint32_t>(scan);
        fields.bodySize = 400;
        fields.seed = seed++;
        TarMember member;
        member.name = site + "_" + category + "_" + std::to_string(scan);
        member.data = BuildProduct(fields);
        AppendTarMember(&archive, member);
      }
    }
  }
  AppendTarEnd(&archive);
  return archive;
}

struct Ran {
  int status;
  std::string out;
  std::string err;
};

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Each product id of each volume, without the images.
std::map<std::string, std::set<uint32_t>> IdsOf(const ProductSets& sets) {
  std::map<std::string, std::set<uint32_t>> ids;
  for (const auto& [volume, products] : sets) {
    for (const auto& [id, image] : products) ids[volume].insert(id);
  }
  return ids;
}

// Every file under `folder`, with its bytes and time of change.
std::map<std::string, std::pair<Bytes, fs::file_time_type>> Snapshot(const std::string& folder) {
  std::map<std::string, std::pair<Bytes, fs::file_time_type>> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    files[entry.path().string()] = {entry.is_regular_file() ? ReadFileBytes(entry.path().string()) : Bytes{},
                                    fs::last_write_time(entry.path())};
  }
  return files;
}

class Jx4Collections : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::pair<std::string, int16_t>> all = kClassic;
    for (const auto& category : ModernCategories()) all.push_back(category);
    ASSERT_TRUE(WriteFileBytes(In("modern.tar"), ArchiveOf({"TLX", "INX"}, 2, all, 1)));
    ASSERT_TRUE(WriteFileBytes(In("classic.tar"), ArchiveOf({"AMA", "FWS"}, 3, kClassic, 5000)));
  }
  Ran Jx4(const std::string& arguments) {
    ProgramRun run;
    run.arguments = arguments;
    run = RunProgram(JX4_BINARY, dir_.path(), run);
    return {run.status, run.output, run.errors};
  }
  std::string In(const std::string& name) const { return dir_.File(name); }
  TempDir dir_;
};

}  // namespace

// The catalogue decides what is filed: classic keeps every volume in one
// file and turns the added categories away (and says so at the end);
// extended files them, a volume of more than 60 in further files.
TEST_F(Jx4Collections, TheCatalogueDecidesWhatIsFiled) {
  Ran classic = Jx4("convert -o classic modern.tar");
  EXPECT_EQ(classic.status, 0) << classic.err;
  EXPECT_NE(classic.err.find("288 products of categories the classic catalogue lacks are in the extended one: "
                             "--catalogue extended files them\n"),
            std::string::npos)
      << classic.err;
  Ran extended = Jx4("convert -o extended --catalogue extended modern.tar");
  EXPECT_EQ(extended.status, 0) << extended.err;
  EXPECT_EQ(extended.err.find("--catalogue extended files them"), std::string::npos) << extended.err;
  EXPECT_EQ(ListVolumeFilesUnder(In("classic")),
            (std::vector<std::string>{"kinx_20050703_120000.jx4", "kinx_20050703_120500.jx4",
                                      "ktlx_20050703_120000.jx4", "ktlx_20050703_120500.jx4"}));
  std::vector<std::string> files = ListVolumeFilesUnder(In("extended"));
  EXPECT_EQ(files.size(), 8u);
  EXPECT_EQ(files[1], "kinx_20050703_120000_2.jx4");
  std::map<std::string, std::set<uint32_t>> ids = IdsOf(ReadVolumeProducts(In("extended")));
  ASSERT_EQ(ids.size(), 4u);
  for (const auto& [volume, held] : ids) {
    EXPECT_EQ(held.size(), 75u) << volume;
    EXPECT_EQ(held.count(1531) + held.count(1139) + held.count(941), 3u) << volume;
  }
  for (const auto& [volume, held] : IdsOf(ReadVolumeProducts(In("classic")))) {
    EXPECT_EQ(held, (std::set<uint32_t>{1, 941, 991})) << volume;
  }
}

// What the selection leaves out is not-selected; what it names wrongly is
// a usage error that names it.
TEST_F(Jx4Collections, TheSelectionFilesWhatItNames) {
  // Products the catalogue files: each is stored or not-selected.
  const size_t kInClassic = 2 * 3 * 3, kInModern = 2 * 2 * 75;
  const struct {
    const char* arguments;
    size_t fileable;
    std::map<std::string, std::set<uint32_t>> ids;
  } cases[] = {
      {"--only n0q classic.tar", kInClassic,
       {{"kama_20050703_120000.jx4", {941}}, {"kama_20050703_120500.jx4", {941}}, {"kama_20050703_121000.jx4", {941}},
        {"kfws_20050703_120000.jx4", {941}}, {"kfws_20050703_120500.jx4", {941}}, {"kfws_20050703_121000.jx4", {941}}}},
      {"--station FWS --only N0R,N0U --only n0q --from 2005-07-03T12:05 --to 2005-07-03T12:05 classic.tar",
       kInClassic, {{"kfws_20050703_120500.jx4", {1, 941, 991}}}},
      {"--station kama --to 2005-07-03T12:04:59 classic.tar", kInClassic, {{"kama_20050703_120000.jx4", {1, 941, 991}}}},
      {"--from 2005-07-03T12:10:00Z classic.tar", kInClassic,
       {{"kama_20050703_121000.jx4", {1, 941, 991}}, {"kfws_20050703_121000.jx4", {1, 941, 991}}}},
      {"--catalogue extended --only N0B,NZF --station inx modern.tar", kInModern,
       {{"kinx_20050703_120000.jx4", {1139, 1531}}, {"kinx_20050703_120500.jx4", {1139, 1531}}}},
      {"--from 2005-07-04 classic.tar", kInClassic, {}},
  };
  int n = 0;
  for (const auto& c : cases) {
    std::string out = "selected" + std::to_string(n++);
    Ran run = Jx4("convert -q -o " + out + " --report " + out + ".jsonl " + c.arguments);
    EXPECT_EQ(run.status, 0) << c.arguments << ": " << run.err;
    EXPECT_EQ(IdsOf(ReadVolumeProducts(In(out))), c.ids) << c.arguments;
    std::string report = Text(ReadFileBytes(In(out + ".jsonl")));
    size_t stored = 0, left = 0;
    for (size_t at = 0; (at = report.find("\"outcome\":\"", at)) != std::string::npos; ++at) {
      stored += report.compare(at + 11, 7, "stored\"") == 0;
      left += report.compare(at + 11, 13, "not-selected\"") == 0;
    }
    EXPECT_EQ(stored + left, c.fileable) << c.arguments;
  }
  const std::pair<const char*, const char*> wrong[] = {
      {"--only XYZ", "jx4: unknown category 'XYZ' (see jx4 catalogue)\n"},
      {"--only N0Q,N0B", "jx4: category 'N0B' is only in the extended catalogue (see jx4 catalogue)\n"},
      {"--station KLGX", "jx4: station 'KLGX' is only in the extended catalogue (see jx4 catalogue)\n"},
      {"--station KTLX,ZZZ", "jx4: unknown station 'ZZZ' (see jx4 catalogue)\n"},
      {"--from 2005-07-32", "jx4: the time '2005-07-32' is not a UTC date or time: write YYYY-MM-DD, "
                            "YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS\n"},
      {"--from 2005-07-04 --to 2005-07-03", "jx4: the time range is empty: '2005-07-04' is after '2005-07-03'\n"},
  };
  for (const auto& [arguments, error] : wrong) {
    Ran run = Jx4(std::string("convert -q -o never ") + arguments + " classic.tar");
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_EQ(run.err, error) << arguments;
  }
  for (const char* arguments : {"--catalogue full", "--layout year", "--layout station/day"}) {
    EXPECT_EQ(Jx4(std::string("convert -q -o never ") + arguments + " classic.tar").status, 2) << arguments;
  }
  EXPECT_FALSE(fs::exists(In("never")));
}

// A dry run reports exactly what the real run then does, against the files
// there are, and leaves every file and folder as it was (makes none).
TEST_F(Jx4Collections, ADryRunSaysWhatARunWouldDoAndWritesNothing) {
  for (const char* layout : {"flat", "station/year/month/day"}) {
    std::string options = std::string("--catalogue extended -j 1 --layout ") + layout;
    std::string out = std::string("out-") + (layout[0] == 'f' ? "flat" : "deep");
    // Nothing there yet: not even the folder is made.
    Ran dry = Jx4("convert -n -o " + out + " " + options + " --report dry.jsonl modern.tar");
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.err.find("300 products would be stored in 8 new .jx4 files (a dry run: nothing was written)"),
              std::string::npos) << dry.err;
    EXPECT_FALSE(fs::exists(In(out))) << layout;
    // Half there: what is stored already is already-present.
    ASSERT_EQ(Jx4("convert -q -o " + out + " " + options + " --station TLX modern.tar").status, 0);
    const auto before = Snapshot(In(out));
    dry = Jx4("convert -q -n -o " + out + " " + options + " --report dry.jsonl modern.tar classic.tar");
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_TRUE(Snapshot(In(out)) == before) << layout << ": the dry run changed the folder";
    Ran real = Jx4("convert -q -o " + out + " " + options + " --report real.jsonl modern.tar classic.tar");
    EXPECT_EQ(real.status, 0) << real.err;
    EXPECT_EQ(Text(ReadFileBytes(In("dry.jsonl"))), Text(ReadFileBytes(In("real.jsonl")))) << layout;
  }
}

// Every layout files the same volumes with the same products, in its
// folders; a rerun, and -j 2, add nothing and lose nothing.
TEST_F(Jx4Collections, LayoutsKeepTheSameVolumes) {
  ASSERT_EQ(Jx4("convert -q -j 1 --catalogue extended -o flat modern.tar classic.tar").status, 0);
  const ProductSets expected = ReadVolumeProducts(In("flat"));
  ASSERT_EQ(expected.size(), 10u);
  const std::pair<const char*, const char*> layouts[] = {
      {"station", "ktlx/ktlx_20050703_120500_2.jx4"},
      {"station/year", "ktlx/2005/ktlx_20050703_120500_2.jx4"},
      {"station/year/month", "ktlx/2005/07/ktlx_20050703_120500_2.jx4"},
      {"station/year/month/day", "ktlx/2005/07/03/ktlx_20050703_120500_2.jx4"},
  };
  int n = 0;
  for (const auto& [layout, example] : layouts) {
    std::string out = "laid" + std::to_string(n++);
    std::string options = std::string(" --catalogue extended --layout ") + layout + " -o " + out;
    ASSERT_EQ(Jx4("convert -q -j 2" + options + " modern.tar classic.tar").status, 0) << layout;
    std::vector<std::string> files = ListVolumeFilesUnder(In(out));
    EXPECT_EQ(files.size(), ListVolumeFilesUnder(In("flat")).size()) << layout;
    EXPECT_NE(std::find(files.begin(), files.end(), example), files.end()) << layout;
    EXPECT_TRUE(ReadVolumeProducts(In(out)) == expected) << layout;
    Ran again = Jx4("convert" + options + " classic.tar modern.tar");
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.err.find("0 products stored in 0 new .jx4 files"), std::string::npos) << again.err;
    EXPECT_TRUE(ReadVolumeProducts(In(out)) == expected) << layout;
  }
}

// Collections converted apart and then merged hold what one run over all
// the inputs files, whatever their layouts and catalogues; the run's own
// output is never read, whichever way an input names it.
TEST_F(Jx4Collections, MergedCollectionsAreOneRunOverBothInputs) {
  // No volume gets an id from two inputs: which image a volume keeps never
  // depends on the order of the stores.
  ASSERT_TRUE(WriteFileBytes(In("more.tar"), ArchiveOf({"LGX", "FWS"}, 3, ModernCategories(), 9000)));
  ASSERT_EQ(Jx4("convert -q --catalogue extended -o both modern.tar more.tar classic.tar").status, 0);
  ASSERT_EQ(Jx4("convert -q --catalogue extended --layout station -o a modern.tar").status, 0);
  ASSERT_EQ(Jx4("convert -q --catalogue extended --layout station/year/month -o b more.tar classic.tar").status, 0);
  ASSERT_EQ(RunCommand("cd " + dir_.path() + " && tar -czf b.tgz b && rm -r b"), 0);
  Ran merged = Jx4("convert -q --catalogue extended --layout station/year -o merged a b.tgz");
  EXPECT_EQ(merged.status, 0) << merged.err;
  EXPECT_TRUE(ReadVolumeProducts(In("merged")) == ReadVolumeProducts(In("both")));
  // The classic catalogue takes from a collection what it files.
  ASSERT_EQ(Jx4("convert -q -o classic-only merged").status, 0);
  for (const auto& [volume, held] : IdsOf(ReadVolumeProducts(In("classic-only")))) {
    for (uint32_t id : held) EXPECT_TRUE(id == 1 || id == 941 || id == 991) << volume << " " << id;
  }

  // Naming the output folder, a folder or file in it: is-output, not read.
  const auto before = Snapshot(In("merged"));
  std::string inside = ListVolumeFilesUnder(In("merged")).front();
  Ran own = Jx4("convert -o merged --report - merged merged/ktlx merged/" + inside);
  EXPECT_EQ(own.status, 0) << own.err;
  EXPECT_EQ(std::count(own.out.begin(), own.out.end(), '\n'), 3) << own.out;
  for (const std::string& input : {std::string("merged"), std::string("merged/ktlx"), "merged/" + inside}) {
    EXPECT_NE(own.out.find("{\"type\":\"input\",\"input\":\"" + input + "\",\"outcome\":\"is-output\""),
              std::string::npos) << own.out;
  }
  EXPECT_NE(own.err.find("3 inputs, 0 damaged or unreadable, 3 in the output folder (not read)"), std::string::npos)
      << own.err;
  EXPECT_TRUE(Snapshot(In("merged")) == before);
#ifndef _WIN32  // links need a privilege on Windows
  fs::create_directories(In("linked"));
  fs::create_symlink(In("merged/" + inside), In("linked/link.jx4"));
  Ran linked = Jx4("convert -q -o merged --report - linked");
  EXPECT_EQ(linked.status, 0);
  EXPECT_NE(linked.out.find("\"outcome\":\"is-output\""), std::string::npos) << linked.out;
  EXPECT_TRUE(Snapshot(In("merged")) == before);
#endif
}

// The classic catalogue files the real products exactly as nimbrel does:
// the same files, byte for byte (from the product files both read: not the
// framed feed files, which only jx4 takes apart).
TEST_F(Jx4Collections, ClassicRunsAreByteIdenticalToNimbrels) {
  NIMBREL_REQUIRE_TESTDATA();
  ASSERT_EQ(RunCommand("cd '" + TestdataDir() + "/level3' && ls | grep -v -e '^Level3_' -e '^NIDS_' | "
                       "tar -cf '" + In("real.tar") + "' -T -"),
            0);
  fs::create_directories(In("nimbrel"));
  ProgramRun console;
  console.arguments = "\"" + In("real.tar") + "\"";
  console.input = "y\n";
  console = RunProgram(NIMBREL_BINARY, In("nimbrel"), console);
  ASSERT_EQ(console.status, 0);
  for (const char* options : {"", "--catalogue classic --layout flat"}) {
    std::string out = std::string("jx4") + (options[0] != '\0' ? "-explicit" : "");
    ASSERT_LE(Jx4("convert -q -j 1 -o " + out + " " + options + " real.tar").status, 1) << options;
    std::vector<std::string> files = ListVolumeFilesUnder(In(out));
    ASSERT_EQ(files, ListVolumeFilesUnder(In("nimbrel"))) << options;
    ASSERT_GT(files.size(), 20u);
    for (const std::string& file : files) {
      EXPECT_TRUE(ReadFileBytes(In(out + "/" + file)) == ReadFileBytes(In("nimbrel/" + file))) << file;
    }
  }
}

}  // namespace nimbrel
