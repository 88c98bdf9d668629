#include "jx4/words.h"

namespace nimbrel {

namespace {

struct Words {
  const char* word;
  const char* text;
};

Words OutcomeWords(Outcome outcome) {
  switch (outcome) {
    case Outcome::kStored: return {"stored", "stored in its .jx4 file"};
    case Outcome::kAlreadyPresent: return {"already-present", "its product id is in its .jx4 file already"};
    case Outcome::kIndexFull: return {"index-full", "its .jx4 file indexes 60 products already"};
    case Outcome::kGsmSkipped: return {"status-message", "a status message (GSM in the name), not a product"};
    case Outcome::kNotProduct: return {"not-a-product", "fewer than 48 bytes: not a product"};
    case Outcome::kNoCatalogueRow: return {"no-catalogue-row", "its category code is not catalogued"};
    case Outcome::kUnknownStation: return {"unknown-station", "its site id is not in the station table"};
    case Outcome::kHeaderInvalid: return {"bad-header", "its header failed a consistency test"};
    case Outcome::kVolumeTimeOutOfRange: return {"time-out-of-range", "its volume time is past 2038-01-19 03:14:07 UTC"};
    case Outcome::kTooLarge: return {"too-large", "over 16 MiB: not a Level III product"};
    case Outcome::kCouldntOpen: return {"cannot-open", "the file could not be opened"};
    case Outcome::kCouldntRead: return {"cannot-read", "the file could not be read whole"};
    case Outcome::kNoMemory: return {"no-memory", "no memory to hold it"};
    case Outcome::kCouldntCreate: return {"cannot-create", "its .jx4 file could not be opened or created"};
    case Outcome::kCouldntWrite: return {"cannot-write", "writing its .jx4 file failed; the file was put back"};
    case Outcome::kDamagedOutput: return {"damaged-output", "its .jx4 file is damaged and was left unchanged"};
    case Outcome::kLevelTwo: return {"level-ii", "Level II volume, not Level III"};
    case Outcome::kTooDeep: return {"too-deep", "archives or compressions nested more than 4 deep"};
  }
  return {"unknown", "unknown outcome"};
}

Words InputEndWords(InputEnd end) {
  switch (end) {
    case InputEnd::kCleanEnd: return {"complete", "read to its end"};
    case InputEnd::kCantOpen: return {"cannot-open", "could not be opened"};
    case InputEnd::kTooShort: return {"too-short", "too short to be an archive"};
    case InputEnd::kChecksumUnreadable: return {"checksum-unreadable", "a tar header's checksum is unreadable"};
    case InputEnd::kChecksumError: return {"checksum-error", "a tar header's checksum is wrong"};
    case InputEnd::kSizeOutOfRange: return {"size-out-of-range", "a tar header's size is negative"};
    case InputEnd::kUnusableHeader: return {"unusable-header", "a tar header lacks a name, size or time"};
    case InputEnd::kMemberCutShort: return {"cut-short", "the data ends inside a member: the archive is cut short"};
    case InputEnd::kDecodingError: return {"decoding-error", "damaged data: it could not be decoded"};
    case InputEnd::kReadError: return {"read-error", "the system failed to read it"};
    case InputEnd::kNoMemory: return {"no-memory", "no memory to decode it"};
  }
  return {"unknown", "unknown end"};
}

}  // namespace

const char* OutcomeWord(Outcome outcome) { return OutcomeWords(outcome).word; }
const char* OutcomeText(Outcome outcome) { return OutcomeWords(outcome).text; }
const char* InputEndWord(InputEnd end) { return InputEndWords(end).word; }
const char* InputEndText(InputEnd end) { return InputEndWords(end).text; }

const char* HeaderTestText(HeaderTest test) {
  switch (test) {
    case HeaderTest::kNone: return "";
    case HeaderTest::kShortImage: return "too short to hold a whole product header";
    case HeaderTest::kCodes: return "message code differs from product code";
    case HeaderTest::kLength: return "message length differs from the bytes behind the heading";
    case HeaderTest::kGenerationDate: return "generation date is 0";
    case HeaderTest::kVolumeDate: return "volume scan date is 0";
    case HeaderTest::kMessageTime: return "message time is over 86400 seconds";
    case HeaderTest::kGenerationTime: return "generation time is over 86400 seconds";
    case HeaderTest::kVolumeScanTime: return "volume scan time is over 86400 seconds";
    case HeaderTest::kSymbologyOffset: return "symbology block offset lies beyond the message";
    case HeaderTest::kGraphicOffset: return "graphic block offset lies beyond the message";
    case HeaderTest::kTabularOffset: return "tabular block offset lies beyond the message";
  }
  return "";
}

bool IsStoreFailure(Outcome outcome) {
  return outcome == Outcome::kCouldntCreate || outcome == Outcome::kCouldntWrite ||
         outcome == Outcome::kDamagedOutput;
}

}  // namespace nimbrel
