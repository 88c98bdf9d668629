// The built program, run in a temporary working folder with its input from
// a pipe (or a terminal), judged by its whole transcript and the files it
// leaves. The elapsed figure and the working folder are masked, and
// Windows's line ends on the console are read as "\n".
#include "driver/driver.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "products/catalogue.h"
#include "products/product_intake.h"
#include "support/product_builder.h"
#include "support/tar_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace fs = std::filesystem;

namespace {

const std::string kBanner = "Nimbrel version 1.31\n\n";
const std::string kUsage = "\nUsage:  Nimbrel  file.tar | file.tar.Z | directory\n\n";
const std::string kPressAnyKey = "\nPress any key to exit\n";
const std::string kSample = std::string(NIMBREL_SOURCE_DIR) + "/examples/sample.tar";

// What the program prints up to and including the prompt.
std::string Preamble(bool directory, const std::string& path) {
  return kBanner +
         (directory ? "Individual Level III files will be read from this directory:\n"
                    : "Level III files will be read from this .tar file:\n") +
         "\n   " + path + "\n\n" + "\nJX4 files will be created in the current directory:\n" +
         "\n   <cwd>\n\n" + "\nDo you want to continue (y or n)?  ";
}

std::string Summary(int stored, int created) {
  return "\n\nElapsed time: #.## seconds\nNumber of products processed: " +
         std::to_string(stored) + "\nNumber of JX4 files created:  " + std::to_string(created) +
         "\n" + kPressAnyKey;
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

void ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text->find(from, at)) != std::string::npos; at += to.size()) {
    text->replace(at, from.size(), to);
  }
}

std::string Mask(std::string transcript, const std::string& folder) {
  ReplaceAll(&transcript, fs::canonical(folder).string(), "<cwd>");
#ifdef _WIN32
  ReplaceAll(&transcript, "\r\n", "\n");
#endif
  const std::string elapsed = "Elapsed time: ";
  size_t start = transcript.find(elapsed);
  size_t end = transcript.find(" seconds\n", start);
  if (start != std::string::npos && end != std::string::npos) {
    start += elapsed.size();
    std::string figure = transcript.substr(start, end - start);  // "%.2f" of a few seconds
    bool wellFormed = figure.size() >= 4 && figure[figure.size() - 3] == '.' &&
                      figure.find_first_not_of("0123456789.") == std::string::npos;
    if (wellFormed) transcript.replace(start, end - start, "#.##");
  }
  return transcript;
}

struct RunResult {
  int status;
  std::string transcript;  // masked
};

// Runs the program in `folder` with `arguments` (already quoted), feeding
// `input` through a pipe.
RunResult RunProgram(const std::string& folder, const std::string& arguments, const std::string& input) {
  std::vector<ProgramRun> runs(1);
  runs[0].arguments = arguments;
  runs[0].input = input;
  RunPrograms(NIMBREL_BINARY, folder, &runs);
  return {runs[0].status, Mask(runs[0].output, folder)};
}

std::string Progress(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += "\rProcessing: " + name + "      ";
  return text;
}

// The sample's stored products: three sites, two volume scans, six kinds.
const char* const kSites[] = {"FWS", "INX", "TLX"};
const char* const kTimes[] = {"1203", "1208"};
const char* const kKinds[] = {"SDUS54_N0R", "SDUS54_NCR", "SDUS54_NVL",
                              "SDUS74_N0S", "SDUS74_NET", "SDUS84_N0V"};
const uint32_t kKindIds[] = {1, 14, 23, 19, 16, 7};

std::string SampleName(const char* site, const char* time, const char* kind) {
  return std::string("K") + site + "_" + kind + site + "_20050703" + time;
}

TEST(Nimbrel, DialogueWithoutAWalk) {
  TempDir work;
  fs::create_directory(work.File("in"));
  WriteFileBytes(work.File("in.d"), std::string("not a folder"));
  const struct {
    const char* title;
    std::string arguments;
    std::string input;
    std::string transcript;
  } cases[] = {
      {"no argument", "", "y\n", kBanner + kUsage},
      {"two arguments", "in in", "y\n", kBanner + kUsage},
      {"a missing path", "absent.tar.Z", "y\n",
       kBanner + "\n\n*** 'absent.tar.Z' apparently doesn't exist!\n" +
           "    make sure that you spelled the filename correctly, especially the file "
           "extension(s)\n" +
           kPressAnyKey},
      {"a missing path, no input", "absent", "",
       kBanner + "\n\n*** 'absent' apparently doesn't exist!\n" +
           "    make sure that you spelled the filename correctly, especially the file "
           "extension(s)\n" +
           kPressAnyKey},
      {"answer n", "in", "n\n", Preamble(true, "in") + "n"},
      {"answer Y", "in", "Y\n", Preamble(true, "in") + "Y"},
      {"answer Enter", "in", "\ny\n", Preamble(true, "in") + "\n"},
      {"no input at all", "in", "", Preamble(true, "in")},
      {"a regular file is an archive, whatever its name", "in.d", "n", Preamble(false, "in.d") + "n"},
      {"a path with a percent sign", "\"%s%d\"", "",
       kBanner + "\n\n*** '%s%d' apparently doesn't exist!\n" +
           "    make sure that you spelled the filename correctly, especially the file "
           "extension(s)\n" +
           kPressAnyKey},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    RunResult run = RunProgram(work.path(), c.arguments, c.input);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.transcript, c.transcript);
    EXPECT_TRUE(ListVolumeFiles(work.path()).empty());
  }
}

// The sample as an archive, as a compressed archive and as a folder: whole
// transcripts, a second run that adds nothing, and the same site-volume files
// from all three.
TEST(Nimbrel, ConvertsTheSampleFromATarAndFromAFolder) {
  if (RunCommand("tar --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tar";
  TempDir work;
  fs::copy_file(kSample, work.File("sample.tar"));
  fs::copy_file(kSample + ".Z", work.File("sample.tar.Z"));
  fs::create_directories(work.File("tar-run/in"));
  fs::create_directories(work.File("z-run"));
  fs::create_directories(work.File("folder-run"));
  ASSERT_EQ(RunCommand("tar -xf " + Quote(kSample) + " -C " + Quote(work.File("tar-run/in"))), 0);

  // In archive order (by name), the free-text message shows progress, the
  // status message does not.
  std::vector<std::string> archiveOrder;
  for (const char* site : kSites) {
    if (std::string(site) == "TLX") archiveOrder.push_back("KTLX_NOUS64_FTMTLX_200507031205");
    for (const char* kind : kKinds) {
      for (const char* time : kTimes) archiveOrder.push_back(SampleName(site, time, kind));
    }
  }
  // By scan group: anchors in name order, then each group in name order.
  std::vector<std::string> groupOrder;
  for (const char* site : kSites) {
    for (const char* time : kTimes) {
      for (const char* kind : kKinds) groupOrder.push_back(SampleName(site, time, kind));
    }
  }

  const std::string tarRun = work.File("tar-run");
  const std::string folderRun = work.File("folder-run");
  const std::string compressedRun = work.File("z-run");
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "first run" : "second run");
    int stored = pass == 0 ? 36 : 0;
    int created = pass == 0 ? 6 : 0;
    RunResult run = RunProgram(tarRun, "../sample.tar", "y\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.transcript, Preamble(false, "../sample.tar") + "y\n\n" +
                                  "Processing tar file: ../sample.tar\n" +
                                  Progress(archiveOrder) + Summary(stored, created));
    run = RunProgram(compressedRun, "../sample.tar.Z", "y\n");
    EXPECT_EQ(run.transcript, Preamble(false, "../sample.tar.Z") + "y\n\n" +
                                  "Processing tar file: ../sample.tar.Z\n" +
                                  Progress(archiveOrder) + Summary(stored, created));
    run = RunProgram(folderRun, "../tar-run/in", "y");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.transcript, Preamble(true, "../tar-run/in") + "y\n\n" +
                                  "Processing directory: ../tar-run/in\n" + Progress(groupOrder) +
                                  Summary(stored, created));
  }

  std::vector<std::string> volumes = ListVolumeFiles(tarRun);
  ASSERT_EQ(volumes.size(), 6u);
  EXPECT_EQ(ListVolumeFiles(folderRun), volumes);
  EXPECT_EQ(ListVolumeFiles(compressedRun), volumes);
  size_t index = 0;
  for (const char* site : kSites) {
    for (const char* time : kTimes) {
      const std::string& volume = volumes[index++];
      SCOPED_TRACE(volume);
      std::string station = "k" + std::string(site);
      for (char& c : station) c = static_cast<char>(std::tolower(c));
      EXPECT_EQ(volume, station + "_20050703_12" + std::string(time).substr(2) + "12.jx4");
      EXPECT_TRUE(ReadFileBytes(tarRun + "/" + volume) == ReadFileBytes(folderRun + "/" + volume));
      EXPECT_TRUE(ReadFileBytes(tarRun + "/" + volume) ==
                  ReadFileBytes(compressedRun + "/" + volume));
      VolumeContents contents = ReadVolumeFile(tarRun + "/" + volume);
      ASSERT_TRUE(contents.readable);
      EXPECT_EQ(contents.station, station);
      ASSERT_EQ(contents.entries.size(), 6u);
      uint32_t offset = 980;
      for (size_t k = 0; k < 6; ++k) {
        const StoredImage& entry = contents.entries[k];
        std::vector<uint8_t> source = ReadFileBytes(tarRun + "/in/" + SampleName(site, time, kKinds[k]));
        EXPECT_EQ(entry.productId, kKindIds[k]);
        EXPECT_EQ(entry.reserved, 0u);
        EXPECT_EQ(entry.offset, offset);
        EXPECT_EQ(entry.length, source.size());
        EXPECT_TRUE(entry.image == source) << kKinds[k];
        offset += entry.length;
      }
      EXPECT_EQ(contents.fileSize, offset);
    }
  }
}

// Two runs at once storing into the same site-volume files, each waiting for
// the other's store to finish: every product of both lands whole. Each run
// brings every other product kind of the same volume scans, visiting the
// files in turn, so that both want the same file at the same time; rounds
// repeat until the stores of the two runs have interleaved in some file.
TEST(Nimbrel, TwoRunsAtOnceLoseNothing) {
  constexpr int kScans = 10;
  std::map<std::pair<int32_t, uint32_t>, std::vector<uint8_t>> expected;  // by volume time and id
  std::map<uint32_t, int> runOf;                                         // by id
  std::vector<ProgramRun> runs(2);
  std::vector<std::vector<uint8_t>> archives(2);
  for (int run = 0; run < 2; ++run) {
    for (int kind = run; kind < kProductCount; kind += 2) {
      runOf[static_cast<uint32_t>(kProductCatalogue[kind].id)] = run;
      for (int scan = 0; scan < kScans; ++scan) {
        ProductSpec fields;
        fields.category = kProductCatalogue[kind].categoryCode;
        fields.volumeScanTime = 43200 + 300 * static_cast<uint32_t>(scan);
        fields.bodySize = 2000 + 37 * kind;
        fields.seed = static_cast<uint32_t>(kind);
        std::vector<uint8_t> product = BuildProduct(fields);
        int32_t time = VolumeTime(fields.volumeScanDate, fields.volumeScanTime);
        expected[{time, static_cast<uint32_t>(kProductCatalogue[kind].id)}] = product;
        TarMember member;
        member.name = ArchiveName(fields, "200507031200");
        member.data = product;
        AppendTarMember(&archives[run], member);
      }
    }
    AppendTarEnd(&archives[run]);
  }
  bool interleaved = false;
  for (int round = 0; round < 5 && !interleaved; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TempDir work;
    for (int run = 0; run < 2; ++run) {
      std::string name = "run" + std::to_string(run) + ".tar";
      ASSERT_TRUE(WriteFileBytes(work.File(name), archives[run]));
      runs[run].arguments = name;
      runs[run].input = "y\n";
    }
    RunPrograms(NIMBREL_BINARY, work.path(), &runs);
    for (const ProgramRun& run : runs) {
      EXPECT_EQ(run.status, 0);
      std::string stored = std::to_string(kScans * kProductCount / 2);
      EXPECT_NE(run.output.find("Number of products processed: " + stored), std::string::npos)
          << run.output;
    }
    std::vector<std::string> volumes = ListVolumeFiles(work.path());
    ASSERT_EQ(volumes.size(), static_cast<size_t>(kScans));
    for (const std::string& volume : volumes) {
      VolumeContents contents = ReadVolumeFile(work.File(volume));
      ASSERT_TRUE(contents.readable) << volume;
      ASSERT_EQ(contents.entries.size(), static_cast<size_t>(kProductCount)) << volume;
      uint64_t end = 980;
      int switches = 0;
      for (size_t i = 0; i < contents.entries.size(); ++i) {
        const StoredImage& entry = contents.entries[i];
        EXPECT_EQ(entry.offset, end) << volume;
        end += entry.length;
        const std::vector<uint8_t>& original = expected[{contents.volumeTime, entry.productId}];
        EXPECT_TRUE(entry.image == original) << volume << ": product " << entry.productId;
        switches += i > 0 && runOf[entry.productId] != runOf[contents.entries[i - 1].productId];
      }
      EXPECT_EQ(contents.fileSize, end) << volume;
      interleaved |= switches >= 2;
    }
    if (HasFailure()) return;
  }
  EXPECT_TRUE(interleaved) << "the two runs never stored into one file at the same time";
}

TEST(ElapsedSeconds, UsesTheUnsignedDifference) {
  const struct {
    uint32_t start, stop;
    double seconds;
  } cases[] = {
      {0, 0, 0.0},
      {1000, 2500, 1.5},
      {0xFFFFFF00u, 0x100u, 0.512},  // the counter wrapped
      {5, 4, 4294967.295},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(ElapsedSeconds(c.start, c.stop), c.seconds) << c.start << " " << c.stop;
  }
}

// From a terminal the key counts without Enter, is echoed by the program
// (not the terminal), and the terminal's settings are restored afterwards.
// POSIX only: it drives a pseudo-terminal. Under wine, scripts/windows.sh
// types the key into a console instead.
#ifndef _WIN32
TEST(Nimbrel, ReadsTheKeyFromATerminalWithoutEnter) {
  TempDir work;
  fs::create_directory(work.File("in"));
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::string terminal = ptsname(master);
  int slave = open(terminal.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios before;
  ASSERT_EQ(tcgetattr(slave, &before), 0);
  std::string transcriptFile = work.File("transcript");

  pid_t child = fork();
  if (child == 0) {
    setsid();
    int in = open(terminal.c_str(), O_RDWR);  // becomes the controlling terminal
    int out = open(transcriptFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || chdir(work.path().c_str()) != 0) _exit(90);
    dup2(in, 0);
    dup2(out, 1);
    execl(NIMBREL_BINARY, NIMBREL_BINARY, "in", static_cast<char*>(nullptr));
    _exit(91);
  }
  ASSERT_GT(child, 0);

  auto transcript = [&] {
    std::vector<uint8_t> bytes = ReadFileBytes(transcriptFile);
    return std::string(bytes.begin(), bytes.end());
  };
  auto waitFor = [&](const std::string& text) {
    for (int i = 0; i < 1000 && transcript().find(text) == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return transcript().find(text) != std::string::npos;
  };
  bool prompted = waitFor("(y or n)?  ");
  EXPECT_TRUE(prompted);
  if (prompted) {
    // Wait until the program has switched line editing off, then type "y".
    termios now = {};
    for (int i = 0; i < 1000 && tcgetattr(slave, &now) == 0 && (now.c_lflag & ICANON); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(now.c_lflag & (ICANON | ECHO), 0u);
    ASSERT_EQ(write(master, "y", 1), 1);
    EXPECT_TRUE(waitFor("Press any key to exit\n"));
    ASSERT_EQ(write(master, "\n", 1), 1);  // lines again: Enter ends the wait
  }
  int status = -1;
  for (int i = 0; i < 1000 && waitpid(child, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!WIFEXITED(status)) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Mask(transcript(), work.path()),
            Preamble(true, "in") + "y\n\nProcessing directory: in\n" + Summary(0, 0));
  termios after;
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
  close(slave);
  close(master);
}
#endif  // _WIN32

}  // namespace

}  // namespace nimbrel
