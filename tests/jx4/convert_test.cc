// jx4 convert, run as its users run it: exit statuses, what lands in the
// output folder, the report, standard input, parallel runs, interruptions.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
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

// A wrong command line says what is wrong, in plain words, and where to look.
TEST(Jx4CommandLine, ErrorsSayWhatIsWrong) {
  const std::pair<const char*, const char*> cases[] = {
      {"frobnicate", "jx4: unknown command 'frobnicate' (see jx4 --help)\n"},
      {"", "jx4: no command given: convert, list, info, verify, extract, decode, render or catalogue "
           "(see jx4 --help)\n"},
      {"convert -j 0 x", "jx4: --jobs: must be a number from 1 to 1024, not '0' (see jx4 convert --help)\n"},
  };
  for (const auto& [arguments, expected] : cases) {
    ProgramRun run;
    run.arguments = arguments;
    run = RunProgram(JX4_BINARY, ".", run);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_EQ(run.errors, expected) << arguments;
  }
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
namespace {

// Starts jx4 with `arguments`, its standard input a pipe that stays open
// and empty (a feed that sends nothing).
pid_t StartJx4(const std::vector<std::string>& arguments, int* feed) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[0], 0);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    std::vector<char*> argv = {const_cast<char*>("jx4")};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(JX4_BINARY, argv.data());
    _exit(127);
  }
  close(pipeEnds[0]);
  *feed = pipeEnds[1];
  return child;
}

}  // namespace

// On a terminal the progress line counts the bytes of the input being read
// (not only of inputs done), and never grows wider than the terminal.
TEST_F(Jx4Convert, ProgressCountsTheInputBeingReadWithinTheTerminalsWidth) {
  ASSERT_TRUE(WriteFileBytes(In("big.tar"), ArchiveOf("TLX", 60, 1000, 40000)));
  ASSERT_EQ(RunCommand("cd " + dir_.path() + " && gzip -1 big.tar"), 0);
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::string terminal = ptsname(master);
  winsize size = {};
  size.ws_col = 40;
  size.ws_row = 24;
  int slave = open(terminal.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(ioctl(slave, TIOCSWINSZ, &size), 0);
  pid_t child = fork();
  if (child == 0) {
    dup2(slave, 2);
    execl(JX4_BINARY, "jx4", "convert", "-o", In("out").c_str(), In("big.tar.gz").c_str(), nullptr);
    _exit(127);
  }
  close(slave);
  std::string shown;
  char chunk[4096];
  for (ssize_t got; (got = read(master, chunk, sizeof chunk)) > 0;) shown.append(chunk, got);
  int status = 0;
  waitpid(child, &status, 0);
  close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
  // The first line is shown with the first product, well inside the input.
  size_t first = shown.find("0/1 inputs, ");
  ASSERT_NE(first, std::string::npos) << shown;
  EXPECT_NE(shown.compare(first, 17, "0/1 inputs, 0 B r"), 0) << "nothing read yet: " << shown;
  for (size_t at = shown.find('\r'); at != std::string::npos; at = shown.find('\r', at + 1)) {
    size_t end = shown.find_first_of("\r\n", at + 1);
    EXPECT_LE((end == std::string::npos ? shown.size() : end) - at - 1, 39u) << shown;
  }
}

// A run stopped at any moment and run again loses nothing: the files end up
// holding what one whole run gives, and each is sound. Killed, it leaves at
// most an interrupted store's remnant; stopped by SIGINT or SIGTERM, it ends
// with 130 or 143, its report whole, every input not read to its end
// "interrupted"; a second signal ends it at once.
TEST_F(Jx4Convert, AStoppedRunRunAgainLosesNothing) {
  ASSERT_TRUE(WriteFileBytes(In("big.tar"), ArchiveOf("TLX", 150, 1000, 40000)));
  ASSERT_EQ(Jx4("convert -q -o " + In("whole") + " " + In("big.tar")), 0);
  ProductSets whole = ReadProductSets(In("whole"));
  struct Case {
    int signal;
    int times;
    int delayMs;
    int status;  // the exit status; -1: killed
  } cases[] = {
      {SIGKILL, 1, 5, -1},   {SIGKILL, 1, 20, -1},  {SIGKILL, 1, 60, -1},
      // Signals that stop the run are sent once its report exists: one sent
      // before jx4 has set its handlers kills it, as any program.
      {SIGTERM, 1, 150, 143}, {SIGINT, 1, 250, 130}, {SIGTERM, 1, 1500, 143},
      {SIGTERM, 2, 150, 143}, {SIGINT, 2, 250, 130},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string what = std::to_string(c.signal) + " x" + std::to_string(c.times) + " at " +
                       std::to_string(c.delayMs) + " ms";
    std::string out = In("stopped" + std::to_string(n)), report = In("report" + std::to_string(n++));
    int feed = -1;
    pid_t child = StartJx4({"convert", "-q", "-j", "1", "-o", out, "--report", report,
                            In("big.tar"), "-"}, &feed);
    ASSERT_GT(child, 0);
    for (int wait = 0; c.status > 0 && wait < 2000 && !std::filesystem::exists(report); ++wait) {
      usleep(10 * 1000);
    }
    usleep(static_cast<useconds_t>(c.delayMs) * 1000);
    for (int i = 0; i < c.times; ++i) kill(child, c.signal);
    int status = 0;
    waitpid(child, &status, 0);
    close(feed);
    if (c.status < 0) {
      EXPECT_TRUE(WIFSIGNALED(status)) << what;
    } else {
      ASSERT_TRUE(WIFEXITED(status)) << what;
      EXPECT_EQ(WEXITSTATUS(status), c.status) << what;
    }
    if (c.status > 0 && c.times == 1) {
      // Every record whole; the standard input, never ended, interrupted.
      Bytes text = ReadFileBytes(report);
      std::string lines(text.begin(), text.end());
      ASSERT_FALSE(lines.empty()) << what;
      EXPECT_EQ(lines.back(), '\n') << what;
      for (size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1) {
        EXPECT_EQ(lines[at], '{') << what;
        EXPECT_EQ(lines[end - 1], '}') << what;
      }
      EXPECT_NE(lines.find("{\"type\":\"input\",\"input\":\"(standard input)\",\"outcome\":\"interrupted\""),
                std::string::npos) << what;
    }
    ASSERT_EQ(Jx4("convert -q -o " + out + " " + In("big.tar")), 0) << what;
    EXPECT_TRUE(ReadProductSets(out) == whole) << what;
  }
}

namespace {

// `count` framed products of one station, a volume scan each, plain and
// zlib-compressed in turn, as a feed carries them.
std::vector<Bytes> FeedFrames(int count) {
  std::vector<Bytes> frames;
  for (int i = 0; i < count; ++i) {
    ProductSpec fields;
    fields.volumeScanTime = 300 * static_cast<uint32_t>(i);
    fields.bodySize = 2000 + 3000 * (i % 4);
    fields.bodyStyle = BodyStyle::kRandom;
    fields.seed = static_cast<uint32_t>(i) + 1;
    frames.push_back(FrameProduct(BuildProduct(fields), i, i % 3));
  }
  return frames;
}

bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
  for (size_t done = 0; done < size;) {
    ssize_t wrote = write(fd, bytes + done, size - done);
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

std::string Text(const std::string& path) {
  Bytes bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// Waits (at most 60 s: a loaded machine, the sanitizers) until `done` holds.
template <typename Done>
bool Eventually(Done done) {
  for (int waited = 0; waited < 60000; waited += 5) {
    if (done()) return true;
    usleep(5000);
  }
  return done();
}

}  // namespace

// Behind a feed: each product written into the pipe is stored, and its
// record written whole and flushed, before the next product is written;
// log rotation (the report moved away, then SIGHUP) starts a new report
// without losing a record.
TEST_F(Jx4Convert, APipedFeedFilesEachProductBeforeTheNext) {
  std::vector<Bytes> frames = FeedFrames(8);
  std::string out = In("feed-out"), report = In("feed.jsonl");
  int feed = -1;
  pid_t child = StartJx4({"convert", "-q", "-o", out, "--report", report, "-"}, &feed);
  ASSERT_GT(child, 0);
  size_t inFirstReport = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (i == 4) {  // rotate the report
      ASSERT_EQ(std::rename(report.c_str(), (report + ".1").c_str()), 0);
      ASSERT_EQ(kill(child, SIGHUP), 0);
      inFirstReport = i;
    }
    ASSERT_TRUE(WriteAll(feed, frames[i].data(), frames[i].size()));
    size_t expected = i + 1 - inFirstReport;
    ASSERT_TRUE(Eventually([&] {
      std::string text = Text(report);
      return Count(text, "\"outcome\":\"stored\"") == expected && text.back() == '\n';
    })) << "product " << i << " was not stored and reported before the next was written";
    size_t files = 0;
    for (const auto& [name, products] : ReadProductSets(out)) files += products.size();
    EXPECT_EQ(files, i + 1) << "product " << i;
    usleep(20000);
  }
  close(feed);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(Count(Text(report + ".1"), "\"type\":\"product\""), 4u);
  std::string last = Text(report);
  EXPECT_EQ(Count(last, "\"type\":\"product\""), 4u);
  EXPECT_NE(last.find("\"member\":\"(standard input)#8\""), std::string::npos) << last;
  EXPECT_NE(last.find("\"outcome\":\"complete\""), std::string::npos) << last;
}

// A feed stopped by SIGTERM in the middle of a product: what had arrived
// whole is stored, the cut product is not reported as one, and converting
// the whole feed again completes the files.
TEST_F(Jx4Convert, AFeedStoppedInTheMiddleThenConvertedAgainLosesNothing) {
  std::vector<Bytes> frames = FeedFrames(30);
  Bytes whole;
  for (const Bytes& frame : frames) whole.insert(whole.end(), frame.begin(), frame.end());
  ASSERT_TRUE(WriteFileBytes(In("day.feed"), whole));
  ASSERT_EQ(Jx4("convert -q -o " + In("all") + " " + In("day.feed")), 0);
  ProductSets expected = ReadProductSets(In("all"));

  std::string out = In("stopped"), report = In("stopped.jsonl");
  int feed = -1;
  pid_t child = StartJx4({"convert", "-q", "-o", out, "--report", report, "-"}, &feed);
  ASSERT_GT(child, 0);
  for (size_t i = 0; i < 12; ++i) ASSERT_TRUE(WriteAll(feed, frames[i].data(), frames[i].size()));
  ASSERT_TRUE(WriteAll(feed, frames[12].data(), frames[12].size() / 2));
  ASSERT_TRUE(Eventually([&] { return Count(Text(report), "\"outcome\":\"stored\"") == 12; }));
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  close(feed);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 143);
  std::string text = Text(report);
  EXPECT_EQ(Count(text, "\"type\":\"product\""), 12u) << text;
  EXPECT_NE(text.find("\"outcome\":\"interrupted\""), std::string::npos) << text;
  ASSERT_EQ(Jx4("convert -q -o " + out + " " + In("day.feed")), 0);
  EXPECT_TRUE(ReadProductSets(out) == expected);
}
#endif  // _WIN32

}  // namespace nimbrel
