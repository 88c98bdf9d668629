#include "platform/file_query.h"

#include <sys/stat.h>
#include <unistd.h>

namespace nimbrel {

PathInfo QueryPath(const char* path) {
  PathInfo info;
  struct stat status;
  if (stat(path, &status) != 0) return info;
  if (S_ISDIR(status.st_mode)) {
    info.kind = PathKind::kDirectory;
  } else if (S_ISREG(status.st_mode)) {
    info.kind = PathKind::kRegularFile;
    info.size = static_cast<int64_t>(status.st_size);
  } else {
    info.kind = PathKind::kOther;
  }
  return info;
}

bool CurrentDirectory(char* buffer, int32_t size) {
  if (size <= 0) return false;
  if (getcwd(buffer, static_cast<size_t>(size)) != nullptr) return true;
  buffer[0] = '\0';
  return false;
}

}  // namespace nimbrel
