// Test helpers: temporary folders, captured standard output, whole-file I/O,
// running commands and programs, and the location of the shared real-world
// test data.
#ifndef NIMBREL_TESTS_SUPPORT_TEST_ENV_H_
#define NIMBREL_TESTS_SUPPORT_TEST_ENV_H_

#include <cstdint>
#include <string>
#include <vector>

namespace nimbrel {

// A fresh folder under $TMPDIR (or the system's temporary folder), removed
// with everything in it on destruction. With `enter`, it is also the current
// directory until then.
class TempDir {
 public:
  explicit TempDir(bool enter = false);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string previous_;  // working directory to return to, when entered
};

// Redirects standard output (the descriptor, so printf and children alike)
// into a file until Finish(), which returns what was written, byte for byte.
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  std::string Finish();

 private:
  TempDir dir_;
  int saved_ = -1;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Runs a command of the POSIX shell; returns its exit status (-1 when it did
// not exit). On Windows the shell is the one the environment variable
// NIMBREL_POSIX_SHELL names (under wine the host's /bin/sh, with the host's
// tools); without it every command fails.
int RunCommand(const std::string& command);

// One run of a program: its arguments (a command line's tail: blanks
// separate, double quotes group), what its standard input delivers (the
// file `inputFile` when given, else `input` through a pipe), and once it has
// ended its exit status (-1: it did not exit) and what it wrote to standard
// output and standard error.
struct ProgramRun {
  std::string arguments;
  std::string input;
  std::string inputFile;
  int status = -1;
  std::string output;
  std::string errors;
};

// Starts `program` once for each of `runs`, all at the same time, in
// `folder`, and waits until every one has ended.
void RunPrograms(const std::string& program, const std::string& folder, std::vector<ProgramRun>* runs);

// Runs one program in `folder` and waits for it; `run` as for RunPrograms.
ProgramRun RunProgram(const std::string& program, const std::string& folder, ProgramRun run);

// Folder of the shared real-world test data, and whether it is present.
std::string TestdataDir();
bool HaveTestdata();

// Inside a test: skip, with a clear message, when the shared data is absent.
#define NIMBREL_REQUIRE_TESTDATA()                                                   \
  do {                                                                               \
    if (!HaveTestdata()) GTEST_SKIP() << "shared test data not found at " << TestdataDir(); \
  } while (0)

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_TEST_ENV_H_
