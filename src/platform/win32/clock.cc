#include "platform/clock.h"

#include <windows.h>

namespace nimbrel {

bool UtcCalendar(int64_t seconds, std::tm* fields) {
  if (seconds < 0) return false;
  __time64_t value = static_cast<__time64_t>(seconds);
  return _gmtime64_s(fields, &value) == 0;
}

// GetTickCount counts milliseconds since start-up in 32 bits: it wraps
// like the POSIX counter and is never set back.
uint32_t TickCount() { return static_cast<uint32_t>(GetTickCount()); }

}  // namespace nimbrel
