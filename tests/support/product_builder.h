// Builds Level III product images for tests, benchmarks, fuzz seeds and the
// bundled sample: a 30-byte heading, the 120-byte big-endian header, a body.
// Every header field can be set; messageLength follows the body unless set.
#ifndef NIMBREL_TESTS_SUPPORT_PRODUCT_BUILDER_H_
#define NIMBREL_TESTS_SUPPORT_PRODUCT_BUILDER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nimbrel {

enum class BodyStyle {
  kRuns,    // runs of a few levels, like radial run-length data: compresses well
  kRandom,  // uniform random bytes: does not compress
};

struct ProductSpec {
  bool withHeading = true;
  std::string wmoHeading = "SDUS54";  // 6 characters
  std::string issuer = "KTLX";        // 4 characters
  std::string dayTime = "031203";     // 6 characters, ddhhmm
  std::string category = "N0R";       // bytes 21-23 of the image
  std::string site = "TLX";           // bytes 24-26 of the image

  int16_t messageCode = 19;
  uint16_t messageDate = 12968;
  uint32_t messageTime = 43392;
  std::optional<uint32_t> messageLength;  // default: 120 + bodySize
  uint16_t sourceId = 0;
  uint16_t destinationId = 0;
  uint16_t blockCount = 3;
  int32_t latitude = 35333;
  int32_t longitude = -97278;
  int16_t height = 1213;
  std::optional<int16_t> productCode;  // default: messageCode
  uint16_t operationalMode = 2;
  uint16_t volumeCoveragePattern = 11;
  uint16_t sequenceNumber = 1;
  uint16_t volumeScanNumber = 1;
  uint16_t volumeScanDate = 12968;   // 2005-07-03
  uint32_t volumeScanTime = 43392;   // 12:03:12
  uint16_t generationDate = 12968;
  uint32_t generationTime = 43450;
  uint32_t symbologyOffset = 60;
  uint32_t graphicOffset = 0;
  uint32_t tabularOffset = 0;

  int32_t bodySize = 200;
  BodyStyle bodyStyle = BodyStyle::kRuns;
  uint32_t seed = 1;
};

// The heading's text: "<wmo> <issuer> <ddhhmm>\r\r\n<CAT><SIT>\r\r\n" (30 bytes).
std::string MakeHeading(const ProductSpec& fields);

std::vector<uint8_t> BuildProduct(const ProductSpec& fields);

// The default product with another category code and message (and product)
// code, e.g. ("N0Q", 94).
std::vector<uint8_t> BuildProduct(const char* category, int16_t messageCode);

// The default product of `category` with a body of `bodySize` random bytes
// drawn from `seed` (it does not compress).
std::vector<uint8_t> RandomProduct(const char* category, uint32_t seed, int32_t bodySize = 5000);

// The parts, one after another.
std::vector<uint8_t> JoinBytes(const std::vector<std::vector<uint8_t>>& parts);

// The usual archive file name, e.g. KTLX_SDUS54_N0RTLX_200507031203.
std::string ArchiveName(const ProductSpec& fields, const std::string& yyyymmddhhmm);

// The product in feed framing: SOH CR CR LF, the 3-digit sequence number and
// a blank, CR CR LF, the heading; then the message, zlib-compressed in
// `streams` back-to-back streams (none: as it is), after a 24-byte control
// block when `controlBlock`, at zlib's compression `level`; then CR CR LF
// ETX.
std::vector<uint8_t> FrameProduct(const std::vector<uint8_t>& image, int sequence, int streams = 0,
                                  bool controlBlock = true, int level = 9);

// Day number (1 = 1970-01-01) of a calendar date.
uint16_t DayNumber(int year, int month, int day);

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_PRODUCT_BUILDER_H_
