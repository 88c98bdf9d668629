// What the programs need of standard input, output and error beyond stdio.
// Descriptors: 0 input, 1 output, 2 error.
#ifndef NIMBREL_PLATFORM_STANDARD_STREAMS_H_
#define NIMBREL_PLATFORM_STANDARD_STREAMS_H_

#include <cstdint>

namespace nimbrel {

// Whether the descriptor is a terminal (a console), where progress may be
// rewritten in place.
bool IsTerminal(int32_t fd);

// The width in columns of the terminal the descriptor writes to; 0 when it
// is none or cannot say.
int32_t TerminalWidth(int32_t fd);

// Makes the descriptor carry bytes unchanged (no line-end translation),
// for archives read from standard input and products written to standard
// output. Nothing to do where the system never translates.
void SetBinaryMode(int32_t fd);

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_STANDARD_STREAMS_H_
