// What a conversion tells its caller: one typed event per product file or
// archive member (what became of it), one per input (how its reading ended),
// and the run's statistics. The core never prints; a front end decides what
// to show through its Reporter.
//
// Every event's pointers are valid only during the call. Events of one
// conversion come from one thread, in the order things happen; a reporter
// shared by conversions running in several threads must guard itself.
#ifndef NIMBREL_OUTPUT_REPORT_H_
#define NIMBREL_OUTPUT_REPORT_H_

#include <cstdint>

namespace nimbrel {

// What became of one product file or archive member.
enum class Outcome : uint8_t {
  kStored,               // appended to its .jx4 file
  kAlreadyPresent,       // its product id is indexed in that file already
  kIndexFull,            // that file indexes 60 products already
  kGsmSkipped,           // the name holds "GSM": a status message
  kNotProduct,           // fewer than 48 bytes (or none)
  kNoCatalogueRow,       // its category code is not catalogued
  kUnknownStation,       // its site id is not in the station table
  kHeaderInvalid,        // its header failed a consistency test
  kVolumeTimeOutOfRange, // its volume time does not fit the file format
  kTooLarge,             // over 16 MiB (kMaxProductSize): not read
  kCouldntOpen,          // the file could not be opened (or is no regular file)
  kCouldntRead,          // the file could not be read whole
  kNoMemory,             // no memory to hold it
  kCouldntCreate,        // its .jx4 file could not be opened or created
  kCouldntWrite,         // a write failed; the .jx4 file was put back as it was
  kDamagedOutput,        // its .jx4 file's index does not fit its contents
  kLevelTwo,             // a Level II volume, not Level III
  kTooDeep,              // an archive or compressed file nested too deep
};
inline constexpr int kOutcomeCount = 18;

// The largest file or member taken for a product; real ones are under 1 MiB.
inline constexpr int32_t kMaxProductSize = 16 << 20;

// Which consistency test a header failed.
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
};

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
};

// A product file or member, and what became of it. Fields the intake did
// not get to are empty: "" for texts, 0 for numbers.
struct ProductEvent {
  const char* input = "";       // the archive or folder being converted
  const char* member = "";      // member or file name
  const char* path = nullptr;   // a folder's file: its full path; null for members
  Outcome outcome = Outcome::kNotProduct;
  HeaderTest failedTest = HeaderTest::kNone;
  int64_t size = 0;             // bytes of the file or member
  char category[4] = {};        // image bytes 21-23, as found
  char site[4] = {};            // image bytes 24-26, as found
  const char* station = "";     // from the station table
  int32_t productId = 0;
  bool hasVolumeTime = false;
  int64_t volumeTime = 0;       // seconds since 1970 UTC
  const char* volumeFile = "";  // the .jx4 file's name
};

struct InputEvent {
  const char* input = "";
  InputEnd end = InputEnd::kCleanEnd;
  const char* member = "";  // the member being read when it ended, if any
  int64_t size = 0;         // that member's size
  const char* detail = "";  // what a decoder or archive reader said, if anything
};

class Reporter {
 public:
  virtual ~Reporter() = default;
  // A file or member of 48 bytes or more, not a status message, is about to
  // be identified and stored.
  virtual void Examining(const char* /*input*/, const char* /*member*/) {}
  virtual void Product(const ProductEvent& /*event*/) {}
  virtual void InputEnded(const InputEvent& /*event*/) {}
};

// The run's statistics: whole stores, headers (re)created, and how many
// products had each outcome.
struct RunStats {
  int64_t productsStored = 0;
  int64_t filesCreated = 0;
  int64_t outcomes[kOutcomeCount] = {};

  int64_t count(Outcome outcome) const { return outcomes[static_cast<int>(outcome)]; }
  void Add(const RunStats& other);
};

class StoreFolder;

// What the walkers, the intake and the store share during one conversion.
// The folder and the reporter belong to the caller and outlive the context.
struct RunContext {
  StoreFolder* folder = nullptr;
  Reporter* reporter = nullptr;  // never null: a plain Reporter ignores everything
  const char* input = "";   // the archive or folder being converted
  bool syncStores = false;  // each image reaches the disk before its index
  bool decodeAhead = false; // decompress on a thread of its own
  RunStats stats;
};

// Counts the event's outcome in context.stats and hands the event (with the
// context's input filled in) to the reporter.
void ReportProduct(RunContext& context, ProductEvent& event);

}  // namespace nimbrel

#endif  // NIMBREL_OUTPUT_REPORT_H_
