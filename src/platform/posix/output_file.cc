#include "platform/output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbrel {

OutputFolder::~OutputFolder() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool OutputFolder::Open(const char* path) {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  // Only a handle to name files by: a folder that may be written but not
  // listed serves as well.
#ifdef O_PATH
  constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
  constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
  int fd;
  do {
    fd = open(path, kFolderFlags);
  } while (fd < 0 && errno == EINTR);
  handle_ = fd < 0 ? -1 : fd;
  return fd >= 0;
}

namespace {

// Opens `name` in `folder` with `flags`, never through a symbolic link; -1
// on failure.
int OpenIn(const OutputFolder& folder, const char* name, int flags) {
  if (!folder.IsOpen()) {
    errno = EBADF;
    return -1;
  }
  int fd;
  do {
    fd = openat(static_cast<int>(folder.handle()), name, flags | O_NOFOLLOW | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Makes the folders on the way to `name` in `folder` that are missing;
// false, errno set, when one cannot be made.
bool MakeFolders(const OutputFolder& folder, const char* name) {
  char path[4096];
  size_t length = std::strlen(name);
  if (length >= sizeof path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(path, name, length + 1);
  for (char* slash = std::strchr(path, '/'); slash != nullptr; slash = std::strchr(slash + 1, '/')) {
    if (slash == path) continue;
    *slash = '\0';
    int made = mkdirat(static_cast<int>(folder.handle()), path, 0755);
    *slash = '/';
    if (made != 0 && errno != EEXIST) return false;
  }
  return true;
}

// Waits for the lock `how` on `fd`; false, errno set and the descriptor
// closed, when it cannot be taken.
bool Lock(int fd, int how) {
  int locked;
  do {
    locked = flock(fd, how);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) return true;
  int error = errno;
  close(fd);
  errno = error;
  return false;
}

}  // namespace

bool OutputFile::Open(const OutputFolder& folder, const char* name) {
  Close();
  int fd = OpenIn(folder, name, O_RDWR | O_CREAT);
  if (fd < 0 && errno == ENOENT && std::strchr(name, '/') != nullptr && MakeFolders(folder, name)) {
    fd = OpenIn(folder, name, O_RDWR | O_CREAT);
  }
  return Take(fd, LOCK_EX);
}

bool OutputFile::OpenExisting(const OutputFolder& folder, const char* name) {
  Close();
  return Take(OpenIn(folder, name, O_RDWR), LOCK_EX);
}

bool OutputFile::OpenForReading(const OutputFolder& folder, const char* name) {
  Close();
  // Not blocking: a FIFO of that name is refused, not waited on.
  int fd = OpenIn(folder, name, O_RDONLY | O_NONBLOCK);
  struct stat info = {};
  if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
    close(fd);
    fd = -1;
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  }
  return Take(fd, LOCK_SH);
}

bool OutputFile::Take(int64_t fd, int how) {
  if (fd < 0 || !Lock(static_cast<int>(fd), how)) {
    error_ = errno;
    return false;
  }
  handle_ = fd;
  return true;
}

bool OutputFile::CreateNew(const OutputFolder& folder, const char* name) {
  Close();
  int fd = OpenIn(folder, name, O_WRONLY | O_CREAT | O_EXCL);
  if (fd < 0) error_ = errno;
  handle_ = fd < 0 ? -1 : fd;
  return fd >= 0;
}

bool OutputFolder::Remove(const char* name) const {
  return handle_ >= 0 && unlinkat(static_cast<int>(handle_), name, 0) == 0;
}

int32_t OutputFile::ReadAt(int64_t offset, void* buffer, int32_t length) {
  int32_t done = 0;
  while (done < length) {
    ssize_t got = pread(static_cast<int>(handle_), static_cast<char*>(buffer) + done,
                        static_cast<size_t>(length - done), static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
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

bool OutputFile::Sync() {
#if defined(__APPLE__)
  return fsync(static_cast<int>(handle_)) == 0;
#else
  return fdatasync(static_cast<int>(handle_)) == 0;
#endif
}

bool OutputFile::Close() {
  if (handle_ < 0) return true;
  int result = close(static_cast<int>(handle_));  // also releases the lock
  handle_ = -1;
  return result == 0 || errno == EINTR;  // after EINTR the descriptor is gone all the same
}

}  // namespace nimbrel
