// The console dialogue's two reads from standard input.
//
// Both read single bytes straight from the input descriptor (no stdio
// buffering), so whatever one leaves unread is there for the next. Nothing
// here prints except the echo of the key.
#ifndef NIMBREL_PLATFORM_CONSOLE_H_
#define NIMBREL_PLATFORM_CONSOLE_H_

#include <cstdint>

namespace nimbrel {

// Reads one key and echoes it to stdout (flushed). From a terminal the key
// counts without Enter: line editing and echo are off while waiting, and the
// terminal's settings are restored afterwards, also when a signal ends the
// process. From anything else, one byte. Returns the key 0..255, or -1 at
// end of input or on a read error (nothing is echoed then).
int32_t ReadKeyWithEcho();

// Waits for one byte of standard input; returns at once at end of input.
void WaitForInputByte();

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_CONSOLE_H_
