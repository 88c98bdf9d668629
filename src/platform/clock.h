// Time services: the UTC calendar and a millisecond tick counter.
#ifndef NIMBREL_PLATFORM_CLOCK_H_
#define NIMBREL_PLATFORM_CLOCK_H_

#include <cstdint>
#include <ctime>

namespace nimbrel {

// Breaks `seconds` since 1970-01-01 UTC into calendar fields; false when the
// system cannot (for example a time before 1970).
bool UtcCalendar(int64_t seconds, std::tm* fields);

// Milliseconds from a monotonic clock, truncated to 32 bits (wraps).
uint32_t TickCount();

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_CLOCK_H_
