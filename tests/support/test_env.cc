#include "support/test_env.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace nimbrel {

namespace {

std::string TempRoot() {
  const char* root = std::getenv("TMPDIR");
  if (root != nullptr && *root != '\0') return root;
  std::error_code error;
  std::string system = std::filesystem::temp_directory_path(error).string();
  return error ? "." : system;
}

}  // namespace

TempDir::TempDir(bool enter) {
  std::random_device random;
  std::string root = TempRoot();
  for (int attempt = 0; path_.empty(); ++attempt) {
    if (attempt == 100) std::abort();
    std::string candidate = root + "/nimbrel-" + std::to_string(random());
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) path_ = candidate;
  }
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

// The file is opened in binary mode, and the descriptor put in place of
// standard output takes that mode along: on Windows line ends stay "\n".
StdoutCapture::StdoutCapture() {
  std::fflush(stdout);
  int fd = open(dir_.File("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_BINARY, 0600);
  if (fd < 0) std::abort();
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
  std::vector<uint8_t> bytes = ReadFileBytes(dir_.File("stdout"));
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

std::string TestdataDir() { return NIMBREL_TESTDATA_DIR; }

bool HaveTestdata() { return std::filesystem::is_directory(TestdataDir() + "/level3"); }

ProgramRun RunProgram(const std::string& program, const std::string& folder, ProgramRun run) {
  std::vector<ProgramRun> runs = {std::move(run)};
  RunPrograms(program, folder, &runs);
  return runs[0];
}

}  // namespace nimbrel
