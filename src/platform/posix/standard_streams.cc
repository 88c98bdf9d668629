#include "platform/standard_streams.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace nimbrel {

bool IsTerminal(int32_t fd) { return isatty(fd) == 1; }

int32_t TerminalWidth(int32_t fd) {
  winsize size = {};
  return ioctl(fd, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void SetBinaryMode(int32_t /*fd*/) {}

}  // namespace nimbrel
