// jx4 convert, run as its users run it: exit statuses, what lands in the
// output folder, the report, standard input, parallel runs, interruptions.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "output/volume_format.h"
#include "support/product_builder.h"
#include "support/tar_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Runs jx4 with `arguments`; its standard input from `inputFile`, if any.
int Jx4(const std::string& arguments, const std::string& inputFile = "") {
  ProgramRun run;
  run.arguments = arguments;
  run.inputFile = inputFile;
  return RunProgram(JX4_BINARY, ".", run).status;
}

// A tar of `scans` volume scans of a few products each, for one station.
Bytes ArchiveOf(const char* site, int scans, uint32_t seed, int32_t bodySize = 3000) {
  Bytes archive;
  const char* categories[] = {"N0R", "N1R", "N2R", "N3R", "N0V"};
  const int16_t codes[] = {19, 19, 19, 19, 27};
  for (int scan = 0; scan < scans; ++scan) {
    for (int k = 0; k < 5; ++k) {
      ProductSpec fields;
      fields.site = site;
      fields.category = categories[k];
      fields.messageCode = codes[k];
      fields.volumeScanTime = 300 * static_cast<uint32_t>(scan);
      fields.bodySize = bodySize;
      fields.bodyStyle = BodyStyle::kRandom;
      fields.seed = seed++;
      TarMember member;
      member.name = std::string(site) + "_" + categories[k] + "_" + std::to_string(scan);
      member.data = BuildProduct(fields);
      AppendTarMember(&archive, member);
    }
  }
  AppendTarEnd(&archive);
  return archive;
}

class Jx4Convert : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFileBytes(dir_.File("a.tar"), ArchiveOf("TLX", 4, 1)));
    ASSERT_TRUE(WriteFileBytes(dir_.File("b.tar"), ArchiveOf("INX", 4, 100)));
    ASSERT_EQ(RunCommand("cd " + dir_.path() + " && gzip -k b.tar && compress -c a.tar > a.tar.Z"), 0);
  }
  std::string In(const std::string& name) const { return dir_.File(name); }
  TempDir dir_;
};

}  // namespace

TEST_F(Jx4Convert, ExitStatuses) {
  Bytes cut = ReadFileBytes(In("b.tar.gz"));
  cut.resize(cut.size() / 2);
  ASSERT_TRUE(WriteFileBytes(In("cut.tar.gz"), cut));
  ASSERT_TRUE(WriteFileBytes(In("a-file"), std::string("not a folder")));
  struct Case {
    const char* what;
    std::string arguments;
    int status;
  } cases[] = {
      {"sound inputs", "convert -q -o " + In("o1") + " " + In("a.tar") + " " + In("b.tar.gz"), 0},
      {"a damaged input among sound ones",
       "convert -q -o " + In("o2") + " " + In("cut.tar.gz") + " " + In("a.tar"), 1},
      {"a missing input", "convert -q -o " + In("o3") + " " + In("missing") + " " + In("a.tar"), 1},
      {"an output folder that is a file", "convert -q -o " + In("a-file") + " " + In("a.tar"), 1},
      {"no input", "convert -o " + In("o4"), 2},
      {"-j 0", "convert -j 0 " + In("a.tar"), 2},
      {"an unknown option", "convert --frobnicate " + In("a.tar"), 2},
      {"no command", "", 2},
      {"--help", "convert --help", 0},
      {"--version", "--version", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Jx4(c.arguments), c.status) << c.what;
  }
  // What was sound is filed all the same.
  ASSERT_EQ(Jx4("convert -q -o " + In("a-only") + " " + In("a.tar")), 0);
  ProductSets aOnly = ReadProductSets(In("a-only"));
  ASSERT_EQ(aOnly.size(), 4u);
  EXPECT_TRUE(ReadProductSets(In("o3")) == aOnly);
  ProductSets withCut = ReadProductSets(In("o2"));
  for (const auto& [name, products] : aOnly) EXPECT_TRUE(withCut[name] == products) << name;
}

// Standard input, a folder tree and archives in any mix, with one worker
// or two: the same product sets in the same files.
TEST_F(Jx4Convert, SameFilesWhateverTheRoute) {
  fs::create_directories(In("tree/x/y"));
  fs::copy(In("a.tar.Z"), In("tree/x/y/a.tar.Z"));
  fs::copy(In("b.tar.gz"), In("tree/x/b.tar.gz"));
  ASSERT_EQ(Jx4("convert -q -j 1 -o " + In("one") + " " + In("a.tar") + " " + In("b.tar")), 0);
  ASSERT_EQ(Jx4("convert -q -j 2 -o " + In("two") + " " + In("tree")), 0);
  ASSERT_EQ(Jx4("convert -q -o " + In("piped") + " - " + In("b.tar.gz"), In("a.tar.Z")), 0);
  ProductSets expected = ReadProductSets(In("one"));
  ASSERT_EQ(expected.size(), 8u);
  EXPECT_TRUE(ReadProductSets(In("two")) == expected);
  EXPECT_TRUE(ReadProductSets(In("piped")) == expected);
}

// The report: one record per product and per input, each a JSON object
// with a type and a documented outcome word.
TEST_F(Jx4Convert, ReportHasARecordForEverything) {
  Bytes mixed = ArchiveOf("TLX", 1, 7);
  mixed.resize(mixed.size() - 1024);  // drop the end blocks
  TarMember junk;
  junk.name = "notes.txt";
  junk.data = Bytes(20, 'n');
  AppendTarMember(&mixed, junk);
  AppendTarEnd(&mixed);
  ASSERT_TRUE(WriteFileBytes(In("mixed.tar"), mixed));
  ASSERT_EQ(Jx4("convert -q -o " + In("out") + " --report " + In("report.jsonl") + " " +
                In("mixed.tar") + " " + In("mixed.tar")),
            0);
  Bytes text = ReadFileBytes(In("report.jsonl"));
  std::string report(text.begin(), text.end());
  std::map<std::string, int> outcomes;
  int inputs = 0;
  size_t at = 0;
  for (size_t end; (end = report.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = report.substr(at, end - at);
    ASSERT_EQ(line.front(), '{') << line;
    ASSERT_EQ(line.back(), '}') << line;
    size_t word = line.find("\"outcome\":\"");
    ASSERT_NE(word, std::string::npos) << line;
    word += 11;
    std::string outcome = line.substr(word, line.find('"', word) - word);
    if (line.find("\"type\":\"input\"") != std::string::npos) {
      ++inputs;
      EXPECT_EQ(outcome, "complete");
    } else {
      ++outcomes[outcome];
    }
  }
  EXPECT_EQ(at, report.size());
  EXPECT_EQ(inputs, 2);
  EXPECT_EQ(outcomes, (std::map<std::string, int>{
                          {"stored", 5}, {"already-present", 5}, {"not-a-product", 2}}));
}

#ifndef _WIN32  // fork and kill
// A run killed at any moment and run again loses nothing: the files end up
// holding what one whole run gives, and each is sound.
TEST_F(Jx4Convert, AKilledRunRunAgainLosesNothing) {
  ASSERT_TRUE(WriteFileBytes(In("big.tar"), ArchiveOf("TLX", 150, 1000, 40000)));
  ASSERT_EQ(Jx4("convert -q -o " + In("whole") + " " + In("big.tar")), 0);
  ProductSets whole = ReadProductSets(In("whole"));
  for (int delayMs : {5, 20, 60}) {
    std::string out = In("killed" + std::to_string(delayMs));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      execl(JX4_BINARY, "jx4", "convert", "-q", "-o", out.c_str(), In("big.tar").c_str(), nullptr);
      _exit(127);
    }
    usleep(static_cast<useconds_t>(delayMs) * 1000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_EQ(Jx4("convert -q -o " + out + " " + In("big.tar")), 0);
    EXPECT_TRUE(ReadProductSets(out) == whole) << delayMs << " ms";
  }
}
#endif  // _WIN32

}  // namespace nimbrel
