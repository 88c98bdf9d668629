// The program's console dialogue: banner, argument check, confirmation, one
// walk of a folder or an archive, and the run summary.
//
// Everything goes to stdout. The result is always 0. The final wait for a
// byte of input follows the summary and the missing-path message, never a
// usage error or a refusal; only a lower-case 'y' confirms.
#ifndef NIMBREL_DRIVER_DRIVER_H_
#define NIMBREL_DRIVER_DRIVER_H_

#include <cstdint>

namespace nimbrel {

int RunNimbrel(int argc, const char* const* argv);

// Seconds between two readings of the 32-bit millisecond tick counter, also
// when it wrapped between them.
double ElapsedSeconds(uint32_t startTick, uint32_t stopTick);

}  // namespace nimbrel

#endif  // NIMBREL_DRIVER_DRIVER_H_
