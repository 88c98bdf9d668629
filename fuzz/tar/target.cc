// Runs ProcessTar over arbitrary bytes: the input is written to a file and
// walked like an archive (plain, or whatever kind its first bytes name).
// Every byte handed on is read, so that a member outside its buffer shows.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sources/tar_walker.h"
#include "support/output_dir.h"

using namespace nimbrel;

namespace {

std::string archivePath;

void TouchMember(const char* name, const uint8_t* data, int32_t size) {
  if (size < 0 || size > kMaxProductSize || std::strlen(name) > 100) std::abort();
  volatile uint8_t sum = 0;
  for (int32_t i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + data[i]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* root = std::getenv("TMPDIR");
  archivePath = std::string(root != nullptr && *root != '\0' ? root : "/tmp") +
                "/nimbrel-fuzz-tar-" + std::to_string(getpid());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(archivePath.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  Reporter silent;
  NoFolder nowhere;
  RunContext context(nowhere, silent, archivePath.c_str());
  MemberHandler touch = TouchMember;
  ProcessTar(context, archivePath.c_str(), &touch);
  std::remove(archivePath.c_str());
  return 0;
}
