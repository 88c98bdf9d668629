#include "platform/input_file.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
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

bool WaitForInput(int32_t fd, int32_t milliseconds) {
  pollfd wanted = {fd, POLLIN, 0};
  int ready = poll(&wanted, 1, milliseconds);
  if (ready < 0 && errno == EINTR) return false;  // a signal: the caller looks again
  return ready != 0;  // another error is for the read to report
}

int32_t ReadInputAt(int32_t fd, int64_t offset, void* buffer, int32_t length) {
  int32_t done = 0;
  while (done < length) {
    ssize_t got = pread(fd, static_cast<char*>(buffer) + done, static_cast<size_t>(length - done),
                        static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<int32_t>(got);
  }
  return done;
}

int64_t InputFileSize(int32_t fd) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<int64_t>(info.st_size);
}

void CloseInputFile(int32_t fd) {
  if (fd >= 0) close(fd);
}

}  // namespace nimbrel
