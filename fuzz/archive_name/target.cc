// Feeds arbitrary bytes to the directory scanner's name handling: the input
// is "pattern NUL name" (or just a name). Checks that an ending pattern
// ("*" and text without '*') matches exactly the names with that ending,
// letters of any case, and that a joined path is the two parts and a '/'.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sources/directory_scanner.h"
#include "sources/name_index.h"
#include "platform/path.h"

using namespace nimbrel;

namespace {

bool EndsWithFolded(const std::string& name, const std::string& ending) {
  if (ending.size() > name.size()) return false;
  for (size_t i = 1; i <= ending.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(name[name.size() - i]);
    unsigned char b = static_cast<unsigned char>(ending[ending.size() - i]);
    if (a < 0x80 && b < 0x80 ? std::tolower(a) != std::tolower(b) : a != b) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find('\0');
  std::string pattern = cut == std::string::npos ? "*n0r*" : input.substr(0, cut);
  std::string name = cut == std::string::npos ? input : input.substr(cut + 1);
  name = name.substr(0, name.find('\0'));

  if (const char* station = ParseArchiveName(name.c_str())) {
    if (name.size() != kArchiveNameLength || std::strlen(station) != 4) std::abort();
  }

  bool matches = WildcardMatch(pattern.c_str(), name.c_str());
  if (!pattern.empty() && pattern[0] == '*' && pattern.find('*', 1) == std::string::npos &&
      matches != EndsWithFolded(name, pattern.substr(1))) {
    std::abort();
  }

  char joined[kPathBufferSize];
  if (PathCombine(joined, pattern.c_str(), name.c_str())) {
    std::string expected = pattern;
    if (!expected.empty() && expected.back() != '/') expected += '/';
    if (expected + name != joined) std::abort();
  }
  return 0;
}
