// Products as they travel on the data feeds: framed (SOH CR CR LF, a
// sequence number, CR CR LF before the WMO heading; CR CR LF ETX at the
// end), sometimes with the message zlib-compressed behind the heading, and
// often many framed products back to back in one file.
//
// UnframeProducts takes such a file apart into the products as they sit in
// a day archive: the heading and the message, without the framing, the
// message inflated. Inflated data that begins with a communications control
// block before the heading loses the block. The compressed part is one or
// more zlib streams; bytes between the last stream and the end framing
// belong to the product. A product that would inflate past kMaxProductSize
// is given up (kTooLarge), never held.
#ifndef NIMBREL_PRODUCTS_FRAMED_PRODUCT_H_
#define NIMBREL_PRODUCTS_FRAMED_PRODUCT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/report.h"

namespace nimbrel {

// Whether `data` starts like a framed product: SOH CR CR LF.
bool LooksFramed(const uint8_t* data, size_t size);

struct UnframedProduct {
  std::vector<uint8_t> image;          // heading and message, as filed
  Outcome problem = Outcome::kStored;  // kStored: `image` is good; else kTooLarge,
                                       // kNoMemory or kNotProduct (a bad frame)
};

// The products in a file that LooksFramed, in order. A frame that cannot be
// taken apart (no end framing, a broken zlib stream) yields one entry with
// kNotProduct; what follows it is not read.
std::vector<UnframedProduct> UnframeProducts(const uint8_t* data, size_t size);

}  // namespace nimbrel

#endif  // NIMBREL_PRODUCTS_FRAMED_PRODUCT_H_
