#include "platform/clock.h"

#include <time.h>

namespace nimbrel {

bool UtcCalendar(int64_t seconds, std::tm* fields) {
  if (seconds < 0) return false;
  time_t value = static_cast<time_t>(seconds);
  return gmtime_r(&value, fields) != nullptr;
}

uint32_t TickCount() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u +
                          static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(milliseconds);
}

}  // namespace nimbrel
