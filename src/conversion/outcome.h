// The conversion's vocabulary: what became of each product file or archive
// member (Outcome), which consistency test a product header failed
// (HeaderTest), and how the reading of an input ended (InputEnd).
//
// Invariants: each enum ends in a kCount sentinel that is no value, so
// tables indexed by a value are sized by it and checked against it at
// compile time (conversion/words.h holds the words and meanings). Values
// are only ever added before the sentinel; a value's word never changes
// once published, since scripts match on it.
#ifndef NIMBREL_CONVERSION_OUTCOME_H_
#define NIMBREL_CONVERSION_OUTCOME_H_

#include <cstdint>

namespace nimbrel {

// What became of one product file or archive member.
enum class Outcome : uint8_t {
  kStored,               // appended to its .jx4 file
  kAlreadyPresent,       // its product id is indexed in that file already
  kIndexFull,            // that file indexes 60 products already
  kGsmSkipped,           // the name holds "GSM": a status message
  kNotProduct,           // not a product: under 48 bytes, or no codes of letters and digits
  kNoCatalogueRow,       // its category code is not catalogued
  kUnknownStation,       // its site id is not in the station table
  kHeaderInvalid,        // its header failed a consistency test
  kVolumeTimeOutOfRange, // its volume time does not fit the file format
  kTooLarge,             // over kMaxProductSize: not read
  kCouldntOpen,          // the file could not be opened (or is no regular file)
  kCouldntRead,          // the file could not be read whole
  kNoMemory,             // no memory to hold it
  kCouldntCreate,        // its .jx4 file could not be opened or created
  kCouldntWrite,         // a write failed; the .jx4 file was put back as it was
  kDamagedOutput,        // its .jx4 file holds what no store wrote; left unchanged
  kLevelTwo,             // a Level II volume, not Level III
  kTooDeep,              // an archive or compressed file nested too deep
  kNotSelected,          // it would be stored, but the run's selection leaves it out
  kCount
};
inline constexpr int kOutcomeCount = static_cast<int>(Outcome::kCount);

// Whether the outcome means the output failed: the product was to be
// stored and could not be.
constexpr bool IsStoreFailure(Outcome outcome) {
  return outcome == Outcome::kCouldntCreate || outcome == Outcome::kCouldntWrite ||
         outcome == Outcome::kDamagedOutput;
}

// The largest file or member taken for a product; real ones are under 1 MiB.
inline constexpr int32_t kMaxProductSize = 16 << 20;

// Which consistency test a product header failed.
enum class HeaderTest : uint8_t {
  kNone,
  kShortImage,       // too short to hold a whole header
  kCodes,            // message code differs from product code
  kLength,           // message length differs from the bytes behind the heading
  kGenerationDate,   // 0
  kVolumeDate,       // 0
  kMessageTime,      // over 86400
  kGenerationTime,   // over 86400
  kVolumeScanTime,   // over 86400
  kSymbologyOffset,  // beyond the message
  kGraphicOffset,
  kTabularOffset,
  kCount
};
inline constexpr int kHeaderTestCount = static_cast<int>(HeaderTest::kCount);

// How the reading of one input ended.
enum class InputEnd : uint8_t {
  kCleanEnd,           // read to its end
  kCantOpen,           // could not be opened (or the folder read)
  kTooShort,           // an archive of fewer than 32 bytes
  kChecksumUnreadable, // a tar header's checksum field holds no number
  kChecksumError,      // a tar header's checksum does not match
  kSizeOutOfRange,     // a tar header's size is negative
  kUnusableHeader,     // a tar header without name, size or time
  kMemberCutShort,     // the data ended inside a member or a header
  kDecodingError,      // the decoder met corrupt data
  kReadError,          // the system failed to read the input
  kNoMemory,           // a decoder was refused memory
  kInterrupted,        // the run was stopped before the input was read to its end
  kIsOutput,           // the output folder or a file in it: never read, the run writes there
  kCount
};
inline constexpr int kInputEndCount = static_cast<int>(InputEnd::kCount);

}  // namespace nimbrel

#endif  // NIMBREL_CONVERSION_OUTCOME_H_
