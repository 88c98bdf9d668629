#include "platform/standard_streams.h"

#include <unistd.h>

namespace nimbrel {

bool IsTerminal(int32_t fd) { return isatty(fd) == 1; }

void SetBinaryMode(int32_t /*fd*/) {}

}  // namespace nimbrel
