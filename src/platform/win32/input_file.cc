// Descriptors are the C runtime's (_open), in binary mode and not inherited
// by child processes. ReadInputAt reads through the descriptor's system
// handle at an explicit offset; unlike POSIX pread it leaves the
// descriptor's position behind the bytes read, which no caller relies on.
#include "platform/input_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace nimbrel {

namespace {

HANDLE SystemHandle(int32_t fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

}  // namespace

int32_t OpenInputFile(const char* path) {
  int fd = _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  return fd < 0 ? -1 : fd;
}

int32_t ReadInputFile(int32_t fd, void* buffer, int32_t length) {
  if (length <= 0) return 0;
  int got = _read(fd, buffer, static_cast<unsigned int>(length));
  return got < 0 ? -1 : got;
}

bool WaitForInput(int32_t fd, int32_t milliseconds) {
  // A pipe can be asked how much it holds; anything else is read directly.
  HANDLE file = SystemHandle(fd);
  DWORD available = 0;
  if (GetFileType(file) != FILE_TYPE_PIPE || !PeekNamedPipe(file, nullptr, 0, nullptr, &available, nullptr)) {
    return true;  // not a pipe, or a pipe that ended: the read tells
  }
  if (available > 0) return true;
  Sleep(static_cast<DWORD>(milliseconds < 20 ? milliseconds : 20));
  return false;
}

int32_t ReadInputAt(int32_t fd, int64_t offset, void* buffer, int32_t length) {
  HANDLE file = SystemHandle(fd);
  if (file == INVALID_HANDLE_VALUE) return -1;
  int32_t done = 0;
  while (done < length) {
    uint64_t at = static_cast<uint64_t>(offset + done);
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(at);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!ReadFile(file, static_cast<char*>(buffer) + done, static_cast<DWORD>(length - done), &got,
                  &position)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<int32_t>(got);
  }
  return done;
}

int64_t InputFileSize(int32_t fd) {
  HANDLE file = SystemHandle(fd);
  LARGE_INTEGER size;
  if (file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK ||
      !GetFileSizeEx(file, &size)) {
    return -1;
  }
  return size.QuadPart;
}

void CloseInputFile(int32_t fd) {
  if (fd >= 0) _close(fd);
}

}  // namespace nimbrel
