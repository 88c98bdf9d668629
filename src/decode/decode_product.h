// Decoding a Level III product image: the heading and message as filed (a
// 30-byte heading, then the message; no heading when byte 0 is zero).
//
// The message header and product description block give the product's
// identity, times, elevation and thresholds; the symbology block (behind
// the header, bzip2-compressed in the digital products) gives the image.
// Image packets decoded: 0xAF1F (run-length radials), 16 (digital radials),
// 0xBA07 and 0xBA0F (run-length raster rows) and 17 (the precipitation
// array's run-length rows). Every other packet is listed by code and size.
//
// Every field read is checked against the bytes that hold it: hostile input
// gives an error, never a read outside the image, an overflow or an
// allocation that its bytes cannot justify. The compressed symbology inflates
// to at most kMaxInflatedSize bytes; an image holds at most kMaxRadials
// radials of kMaxGates gates, or kMaxRasterSide rows and columns, and never
// more levels than kLevelsPerByte times the bytes of its packet (plus a
// small allowance) could carry.
//
// ProductDecoder keeps its scratch memory (the inflated message) between
// calls; it is not safe to share one decoder between threads.
#ifndef NIMBREL_DECODE_DECODE_PRODUCT_H_
#define NIMBREL_DECODE_DECODE_PRODUCT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/decode_result.h"
#include "decode/decoded_product.h"

namespace nimbrel {

inline constexpr size_t kMaxInflatedSize = 16u << 20;
inline constexpr int32_t kMaxRadials = 3600;
inline constexpr int32_t kMaxGates = 4096;
inline constexpr int32_t kMaxRasterSide = 4096;
inline constexpr int64_t kLevelsPerByte = 32;
inline constexpr int64_t kLevelAllowance = 1 << 16;

class ProductDecoder {
 public:
  ProductDecoder() = default;
  ProductDecoder(const ProductDecoder&) = delete;
  ProductDecoder& operator=(const ProductDecoder&) = delete;

  // Decodes `image` (`size` bytes) into `out`. On an error `out` holds what
  // was decoded before it (at least the header fields once they were read)
  // and its image is kNone. A product without an image decodes with
  // out->image == kNone and out->noImageReason saying why.
  DecodeResult Decode(const uint8_t* image, size_t size, DecodedProduct* out);

  // A deeper verification: everything Decode checks, and also that the
  // graphic and tabular offsets lie inside the message and that every packet
  // of the symbology block (not only the image) fits its layer. With
  // `requireImage`, a product without an image is kNoImage. The first
  // problem found, or kNone.
  DecodeResult Check(const uint8_t* image, size_t size, bool requireImage = false);

 private:
  DecodeResult Run(const uint8_t* image, size_t size, DecodedProduct* out, bool strict);

  std::vector<uint8_t> message_;  // header and inflated symbology of a compressed product
  DecodedProduct checked_;        // Check's result, kept for its memory
};

// One-off forms of the above, with a decoder of their own.
DecodeResult DecodeProduct(const uint8_t* image, size_t size, DecodedProduct* out);
DecodeResult CheckProductImage(const uint8_t* image, size_t size, bool requireImage = false);

}  // namespace nimbrel

#endif  // NIMBREL_DECODE_DECODE_PRODUCT_H_
