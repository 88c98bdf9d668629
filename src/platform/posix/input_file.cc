#include "platform/input_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace nimbrel {

int32_t OpenInputFile(const char* path) {
  int fd;
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? -1 : fd;
}

int32_t ReadInputFile(int32_t fd, void* buffer, int32_t length) {
  if (length <= 0) return 0;
  ssize_t got;
  do {
    got = read(fd, buffer, static_cast<size_t>(length));
  } while (got < 0 && errno == EINTR);
  return got < 0 ? -1 : static_cast<int32_t>(got);
}

int32_t ReadInputFully(int32_t fd, void* buffer, int32_t length, bool* failed) {
  int32_t done = 0;
  while (done < length) {
    int32_t got = ReadInputFile(fd, static_cast<char*>(buffer) + done, length - done);
    if (got < 0 && failed != nullptr) *failed = true;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

void CloseInputFile(int32_t fd) {
  if (fd >= 0) close(fd);
}

}  // namespace nimbrel
