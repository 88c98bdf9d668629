// Product intake: the one door through which every candidate product passes.
//
// A product image is one Level III product file exactly as read: normally a
// 30-byte WMO/AWIPS heading followed by the message, whose first 120 bytes
// (message header block and product description block) are big-endian. When
// the image's first byte is zero there is no heading and the message starts
// at byte 0. The category code is always read from image bytes 21-23 and the
// site id from bytes 24-26. Nothing here allocates, keeps the image or keeps
// state between calls.
#ifndef NIMBREL_PRODUCTS_PRODUCT_INTAKE_H_
#define NIMBREL_PRODUCTS_PRODUCT_INTAKE_H_

#include <bit>
#include <cstdint>

#include "conversion/run_context.h"

static_assert(std::endian::native == std::endian::little,
              "header conversion and the output format assume a little-endian host");

namespace nimbrel {

inline constexpr int32_t kHeadingSize = 30;
inline constexpr int32_t kProductHeaderSize = 120;
// Bytes an image needs to carry its category code and site id.
inline constexpr int32_t kProductCodesSize = 27;

#pragma pack(push, 1)
// The 120 bytes at the start of a product message, held in host order after
// SwapProductHeader. Packed: the 32-bit fields at 42 and 48 are unaligned.
struct ProductHeader {
  int16_t messageCode;            // 0
  uint16_t messageDate;           // 2
  uint32_t messageTime;           // 4, seconds after midnight
  uint32_t messageLength;         // 8, bytes of the whole message
  uint16_t sourceId;              // 12
  uint16_t destinationId;         // 14
  uint16_t blockCount;            // 16
  int16_t blockDivider;           // 18
  int32_t latitude;               // 20
  int32_t longitude;              // 24
  int16_t height;                 // 28
  int16_t productCode;            // 30
  uint16_t operationalMode;       // 32
  uint16_t volumeCoveragePattern; // 34
  uint16_t sequenceNumber;        // 36
  uint16_t volumeScanNumber;      // 38
  uint16_t volumeScanDate;        // 40, day 1 = 1970-01-01
  uint32_t volumeScanTime;        // 42, seconds after midnight
  uint16_t generationDate;        // 46
  uint32_t generationTime;        // 48
  uint16_t parameters1And2[2];    // 52
  uint16_t elevationNumber;       // 56
  uint16_t parameter3;            // 58
  uint16_t thresholds[16];        // 60
  uint16_t parameters4To10[7];    // 92
  uint16_t versionAndSpotBlank;   // 106
  uint32_t symbologyOffset;       // 108, halfwords
  uint32_t graphicOffset;         // 112, halfwords
  uint32_t tabularOffset;         // 116, halfwords
};
#pragma pack(pop)
static_assert(sizeof(ProductHeader) == kProductHeaderSize);

// Copies the category code (image bytes 21-23) and the site id (24-26) of
// an image of at least kProductCodesSize bytes, each zero-terminated.
void ReadProductCodes(const uint8_t* image, char category[4], char site[4]);

// Identifies (by the run's catalogue), validates, dates, selects (by the
// run's selection) and stores one product, and reports what became of it
// (one ProductEvent; before identifying a file of 48 bytes or more that is
// not a status message, also Examining). `path`, for a folder's file, is
// its full path. Returns the outcome.
Outcome ProcessProduct(RunContext& context, const char* name, const uint8_t* image,
                       int32_t imageLength, const char* path = nullptr);

// Copies the header out of the image (behind the heading when byte 0 is not
// zero), converts it and runs the consistency tests: the first test that
// fails, or kNone. kShortImage, with `header` untouched, when the image
// cannot hold a whole header.
HeaderTest DecodeAndCheckProductHeader(const uint8_t* image, int32_t imageLength,
                                       ProductHeader* header);

// Whether the header decodes, passes every test and dates the product
// within the file format's time range.
bool DecodeProductHeader(const uint8_t* image, int32_t imageLength, ProductHeader* header);

// Converts the 120 header bytes in place from big-endian to host order.
void SwapProductHeader(uint8_t* bytes);

// The consistency tests, in order; `length` is the length behind the
// heading. The first that fails, or kNone.
HeaderTest CheckProductHeader(const ProductHeader& header, int32_t length);

// All tests pass and the volume time fits the file format (up to
// 2038-01-19 03:14:07 UTC).
bool ValidateProductHeader(const ProductHeader& header, int32_t length);

// Whether the header's volume date and time give a time the file format
// can hold (signed 32-bit seconds since 1970).
bool VolumeTimeFits(const ProductHeader& header);

// Seconds since 1970-01-01 UTC of a day number (day 1 = 1970-01-01; only the
// low 16 bits count) and seconds after midnight, in 32-bit arithmetic.
int32_t VolumeTime(uint32_t date, uint32_t seconds);

}  // namespace nimbrel

#endif  // NIMBREL_PRODUCTS_PRODUCT_INTAKE_H_
