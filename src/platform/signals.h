// Process-wide settings that belong to the programs' entry points, never to
// the library: what the file-size limit signal and the ending signals do.
// Built apart from the core (which holds no mutable state): the flag the
// handlers set lives here.
#ifndef NIMBREL_PLATFORM_SIGNALS_H_
#define NIMBREL_PLATFORM_SIGNALS_H_

#include <atomic>
#include <cstdint>

namespace nimbrel {

// A write past the process's file-size limit then fails (and is reported)
// instead of ending the process in the middle of a store. Nothing to do
// where the system has no such signal.
void IgnoreFileSizeLimitSignal();

// From now on the first SIGINT or SIGTERM (on Windows: Ctrl-C, Ctrl-Break,
// closing the console, logging off) sets the flag returned, which a run
// passes as its stop flag; a second one ends the process at once with the
// status 128 + the signal's number. Reads of standard input stop waiting
// when the flag is set.
const std::atomic<bool>* CatchEndingSignals();

// From now on each SIGHUP adds one to the count returned and does nothing
// else, so that a long run can reopen its report file when the count
// changes (after log rotation), as daemons do, and a closed terminal does
// not end it. Windows has no such signal: the count stays 0.
const std::atomic<uint32_t>* CatchReopenSignal();

// The exit status the first ending signal calls for: 130 for SIGINT (and
// Ctrl-C, Ctrl-Break), 143 for SIGTERM (and a console closed); 0 when none
// came.
int EndingSignalStatus();

// On Windows the system ends the process once the handler of a console
// close returns; the handler waits for this call (for a few seconds at
// most), which says that the run has ended cleanly. Nothing to do elsewhere.
void EndingSignalHandled();

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_SIGNALS_H_
