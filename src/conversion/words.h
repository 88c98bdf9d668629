// The words the report and the summaries use for outcomes and input ends,
// each with its one-line meaning, and the texts of the header tests. One
// table holds them; `jx4 convert --help` is printed from it and a test holds
// the manual page to it. The words are part of the report's format: scripts
// match on them, so a published word never changes.
#ifndef NIMBREL_CONVERSION_WORDS_H_
#define NIMBREL_CONVERSION_WORDS_H_

#include "conversion/outcome.h"

namespace nimbrel {

// e.g. "stored", "no-catalogue-row", "level-ii".
const char* OutcomeWord(Outcome outcome);
// e.g. "stored in its .jx4 file".
const char* OutcomeMeaning(Outcome outcome);

// e.g. "complete", "checksum-error", "decoding-error".
const char* InputEndWord(InputEnd end);
const char* InputEndMeaning(InputEnd end);

// e.g. "message length differs from the bytes behind the heading"; "" for
// kNone.
const char* HeaderTestText(HeaderTest test);

}  // namespace nimbrel

#endif  // NIMBREL_CONVERSION_WORDS_H_
