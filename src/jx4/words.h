// The fixed words the report and the summary use for outcomes, and short
// English descriptions. The words are part of the report's format: scripts
// match on them, so they never change once published.
#ifndef NIMBREL_JX4_WORDS_H_
#define NIMBREL_JX4_WORDS_H_

#include "output/report.h"

namespace nimbrel {

// e.g. "stored", "no-catalogue-row", "level-ii".
const char* OutcomeWord(Outcome outcome);
// e.g. "stored in its .jx4 file".
const char* OutcomeText(Outcome outcome);

// e.g. "complete", "checksum-error", "decoding-error".
const char* InputEndWord(InputEnd end);
const char* InputEndText(InputEnd end);

// e.g. "message length differs from the bytes behind the heading".
const char* HeaderTestText(HeaderTest test);

// Whether a product's outcome means the output failed (the run then exits 1).
bool IsStoreFailure(Outcome outcome);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_WORDS_H_
