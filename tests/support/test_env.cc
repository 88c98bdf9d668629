#include "support/test_env.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace nimbrel {

namespace {

std::string TempRoot() {
  const char* root = std::getenv("TMPDIR");
  return root != nullptr && *root != '\0' ? root : "/tmp";
}

}  // namespace

TempDir::TempDir(bool enter) {
  std::string pattern = TempRoot() + "/nimbrel-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) std::abort();
  path_ = buffer.data();
  if (enter) {
    previous_ = std::filesystem::current_path().string();
    std::filesystem::current_path(path_);
  }
}

TempDir::~TempDir() {
  std::error_code error;
  if (!previous_.empty()) std::filesystem::current_path(previous_, error);
  // Undo permission changes made by tests so that everything can be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, error);
  std::filesystem::remove_all(path_, error);
}

StdoutCapture::StdoutCapture() {
  std::fflush(stdout);
  std::string pattern = TempRoot() + "/nimbrel-out-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = mkstemp(buffer.data());
  if (fd < 0) std::abort();
  file_ = buffer.data();
  saved_ = dup(1);
  dup2(fd, 1);
  close(fd);
}

StdoutCapture::~StdoutCapture() { Finish(); }

std::string StdoutCapture::Finish() {
  if (saved_ < 0) return {};
  std::fflush(stdout);
  dup2(saved_, 1);
  close(saved_);
  saved_ = -1;
  std::vector<uint8_t> bytes = ReadFileBytes(file_);
  std::remove(file_.c_str());
  return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  return WriteFileBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

int RunCommand(const std::string& command) {
  std::fflush(stdout);
  int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string TestdataDir() { return NIMBREL_TESTDATA_DIR; }

bool HaveTestdata() { return std::filesystem::is_directory(TestdataDir() + "/level3"); }

}  // namespace nimbrel
