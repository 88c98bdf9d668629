// A console is recognised by GetConsoleMode rather than _isatty, which also
// says yes for the NUL device and serial ports.
#include "platform/standard_streams.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace nimbrel {

bool IsTerminal(int32_t fd) {
  DWORD mode;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

int32_t TerminalWidth(int32_t fd) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

void SetBinaryMode(int32_t fd) { _setmode(fd, _O_BINARY); }

}  // namespace nimbrel
