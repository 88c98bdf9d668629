// What a conversion tells its caller: one typed event per product file or
// archive member (what became of it) and one per input (how its reading
// ended). The core never prints; a front end decides what to show through
// its Reporter.
//
// Invariants: every pointer of an event is valid only during the call and
// never null (texts that do not apply are ""). Events of one conversion
// come from one thread, in the order things happen; a reporter shared by
// conversions running in several threads must guard itself.
#ifndef NIMBREL_CONVERSION_REPORTER_H_
#define NIMBREL_CONVERSION_REPORTER_H_

#include <cstdint>

#include "conversion/outcome.h"

namespace nimbrel {

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
  int32_t productCode = 0;      // the header's, when its 120 bytes could be read
  bool hasVolumeTime = false;
  int64_t volumeTime = 0;       // seconds since 1970 UTC
  const char* volumeFile = "";  // the .jx4 file's name
  const char* detail = "";      // more than the outcome says (why a store failed), if anything
  int systemError = 0;          // a failed store: the system's code (platform/system_error.h)
};

struct InputEvent {
  const char* input = "";
  InputEnd end = InputEnd::kCleanEnd;
  const char* member = "";  // the member being read when it ended, if any
  int64_t size = 0;         // that member's size
  const char* detail = "";  // what a decoder or archive reader said, if anything
};

// Every call has an empty default: a plain Reporter ignores everything.
class Reporter {
 public:
  virtual ~Reporter() = default;
  // A file or member of 48 bytes or more, not a status message, is about to
  // be identified and stored.
  virtual void Examining(const char* /*input*/, const char* /*member*/) {}
  virtual void Product(const ProductEvent& /*event*/) {}
  virtual void InputEnded(const InputEvent& /*event*/) {}
};

}  // namespace nimbrel

#endif  // NIMBREL_CONVERSION_REPORTER_H_
