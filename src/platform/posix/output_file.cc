#include "platform/output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbrel {

bool OutputFile::Open(const char* name) {
  // A write past the process's file-size limit then fails (and is reported)
  // instead of killing the process in the middle of a store.
  static const bool ignoreFileSizeSignal = signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  (void)ignoreFileSizeSignal;
  Close();
  int fd;
  do {
    fd = open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  int locked;
  do {
    locked = flock(fd, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

int32_t OutputFile::ReadAt(int64_t offset, void* buffer, int32_t length) {
  int32_t done = 0;
  while (done < length) {
    ssize_t got = pread(static_cast<int>(handle_), static_cast<char*>(buffer) + done,
                        static_cast<size_t>(length - done), static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<int32_t>(got);
  }
  return done;
}

bool OutputFile::WriteAt(int64_t offset, const void* buffer, int32_t length) {
  int32_t done = 0;
  while (done < length) {
    ssize_t put = pwrite(static_cast<int>(handle_), static_cast<const char*>(buffer) + done,
                         static_cast<size_t>(length - done), static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<int32_t>(put);
  }
  return true;
}

int64_t OutputFile::Size() {
  struct stat info;
  if (fstat(static_cast<int>(handle_), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool OutputFile::Truncate(int64_t length) {
  int result;
  do {
    result = ftruncate(static_cast<int>(handle_), static_cast<off_t>(length));
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

void OutputFile::Close() {
  if (handle_ >= 0) {
    close(static_cast<int>(handle_));  // also releases the lock
    handle_ = -1;
  }
}

}  // namespace nimbrel
