#include "conversion/words.h"

#include <iterator>

namespace nimbrel {

namespace {

template <typename Value>
struct Word {
  Value value;
  const char* word;
  const char* meaning;
};

constexpr Word<Outcome> kOutcomeWords[] = {
    {Outcome::kStored, "stored", "stored in its .jx4 file"},
    {Outcome::kAlreadyPresent, "already-present", "its product id is in its .jx4 file already"},
    {Outcome::kIndexFull, "index-full", "its .jx4 file indexes 60 products already"},
    {Outcome::kGsmSkipped, "status-message", "a status message (GSM in the name), not a product"},
    {Outcome::kNotProduct, "not-a-product", "not a Level III product"},
    {Outcome::kNoCatalogueRow, "no-catalogue-row", "its category code is not catalogued"},
    {Outcome::kUnknownStation, "unknown-station", "its site id is not in the station table"},
    {Outcome::kHeaderInvalid, "bad-header", "its header failed a consistency test"},
    {Outcome::kVolumeTimeOutOfRange, "time-out-of-range",
     "its volume time is past 2038-01-19 03:14:07 UTC"},
    {Outcome::kTooLarge, "too-large", "over 16 MiB: not a Level III product"},
    {Outcome::kCouldntOpen, "cannot-open", "the file could not be opened"},
    {Outcome::kCouldntRead, "cannot-read", "the file could not be read whole"},
    {Outcome::kNoMemory, "no-memory", "no memory to hold it"},
    {Outcome::kCouldntCreate, "cannot-create", "its .jx4 file could not be opened or created"},
    {Outcome::kCouldntWrite, "cannot-write", "writing its .jx4 file failed; the file was put back"},
    {Outcome::kDamagedOutput, "damaged-output", "its .jx4 file is damaged and was left unchanged"},
    {Outcome::kLevelTwo, "level-ii", "a Level II volume, not Level III"},
    {Outcome::kTooDeep, "too-deep", "archives or compressions nested more than 4 deep"},
    {Outcome::kNotSelected, "not-selected", "left out by the selection (categories, stations, times)"},
};

constexpr Word<InputEnd> kInputEndWords[] = {
    {InputEnd::kCleanEnd, "complete", "read to its end"},
    {InputEnd::kCantOpen, "cannot-open", "could not be opened"},
    {InputEnd::kTooShort, "too-short", "too short to be an archive"},
    {InputEnd::kChecksumUnreadable, "checksum-unreadable", "a tar header's checksum is unreadable"},
    {InputEnd::kChecksumError, "checksum-error", "a tar header's checksum is wrong"},
    {InputEnd::kSizeOutOfRange, "size-out-of-range", "a tar header's size is negative"},
    {InputEnd::kUnusableHeader, "unusable-header", "a tar header lacks a name, size or time"},
    {InputEnd::kMemberCutShort, "cut-short", "the data ends inside a member: the archive is cut short"},
    {InputEnd::kDecodingError, "decoding-error", "damaged data: it could not be decoded"},
    {InputEnd::kReadError, "read-error", "the system failed to read it"},
    {InputEnd::kNoMemory, "no-memory", "no memory to decode it"},
    {InputEnd::kInterrupted, "interrupted", "the run was stopped before it was read to its end"},
    {InputEnd::kIsOutput, "is-output", "the output folder or a file in it: not read"},
};

constexpr const char* kHeaderTestTexts[] = {
    "",  // kNone
    "too short to hold a whole product header",
    "message code differs from product code",
    "message length differs from the bytes behind the heading",
    "generation date is 0",
    "volume scan date is 0",
    "message time is over 86400 seconds",
    "generation time is over 86400 seconds",
    "volume scan time is over 86400 seconds",
    "symbology block offset lies beyond the message",
    "graphic block offset lies beyond the message",
    "tabular block offset lies beyond the message",
};

// Every value has its row, at its own place.
template <typename Value, size_t kRows>
constexpr bool InOrder(const Word<Value> (&table)[kRows]) {
  for (size_t i = 0; i < kRows; ++i) {
    if (static_cast<size_t>(table[i].value) != i) return false;
  }
  return kRows == static_cast<size_t>(Value::kCount);
}
static_assert(InOrder(kOutcomeWords));
static_assert(InOrder(kInputEndWords));
static_assert(std::size(kHeaderTestTexts) == kHeaderTestCount);

template <typename Value, size_t kRows>
const Word<Value>& Row(const Word<Value> (&table)[kRows], Value value) {
  size_t at = static_cast<size_t>(value);
  return table[at < kRows ? at : 0];
}

}  // namespace

const char* OutcomeWord(Outcome outcome) { return Row(kOutcomeWords, outcome).word; }
const char* OutcomeMeaning(Outcome outcome) { return Row(kOutcomeWords, outcome).meaning; }
const char* InputEndWord(InputEnd end) { return Row(kInputEndWords, end).word; }
const char* InputEndMeaning(InputEnd end) { return Row(kInputEndWords, end).meaning; }

const char* HeaderTestText(HeaderTest test) {
  size_t at = static_cast<size_t>(test);
  return at < std::size(kHeaderTestTexts) ? kHeaderTestTexts[at] : "";
}

}  // namespace nimbrel
