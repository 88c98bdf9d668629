// The part of the path service that is the same on every system: it builds
// on the system's separator and EndsAFolder alone.
#include "platform/path.h"

#include <cstring>

namespace nimbrel {

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* at = path; *at != '\0'; ++at) {
    if (*at == '/' || *at == '\\') base = at + 1;
  }
  return base;
}

bool PathCombine(char* buffer, const char* directory, const char* name) {
  size_t directoryLength = std::strlen(directory);
  size_t nameLength = std::strlen(name);
  bool separator = directoryLength > 0 && !EndsAFolder(directory[directoryLength - 1]);
  size_t total = directoryLength + (separator ? 1 : 0) + nameLength;
  if (total >= static_cast<size_t>(kPathBufferSize)) return false;
  std::memcpy(buffer, directory, directoryLength);
  if (separator) buffer[directoryLength] = kPathSeparator;
  std::memcpy(buffer + total - nameLength, name, nameLength + 1);
  return true;
}

}  // namespace nimbrel
