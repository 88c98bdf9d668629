// Test helpers: temporary folders, captured standard output, whole-file I/O
// and the location of the shared real-world test data.
#ifndef NIMBREL_TESTS_SUPPORT_TEST_ENV_H_
#define NIMBREL_TESTS_SUPPORT_TEST_ENV_H_

#include <cstdint>
#include <string>
#include <vector>

namespace nimbrel {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on
// destruction. With `enter`, it is also the current directory until then.
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
// into a file until Finish(), which returns what was written.
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  std::string Finish();

 private:
  int saved_ = -1;
  std::string file_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Runs a shell command; returns its exit status (-1 when it did not exit).
int RunCommand(const std::string& command);

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
