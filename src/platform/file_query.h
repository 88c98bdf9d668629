// Questions to the file system about a path, and the working directory.
#ifndef NIMBREL_PLATFORM_FILE_QUERY_H_
#define NIMBREL_PLATFORM_FILE_QUERY_H_

#include <cstdint>

namespace nimbrel {

enum class PathKind {
  kMissing,      // absent, or cannot be examined
  kDirectory,
  kRegularFile,
  kOther,        // device, pipe, socket...
};

struct PathInfo {
  PathKind kind = PathKind::kMissing;
  int64_t size = 0;  // bytes; meaningful for a regular file only
};

// What `path` names, following symbolic links.
PathInfo QueryPath(const char* path);

// Writes the zero-terminated working directory into `buffer` of `size`
// bytes. False, with `buffer` holding "", when it does not fit or cannot be
// found.
bool CurrentDirectory(char* buffer, int32_t size);

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_FILE_QUERY_H_
