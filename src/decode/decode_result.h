// What became of decoding or checking one product image: kNone, or the first
// problem found, with the byte offset where it was found.
//
// Invariants: every DecodeError has a short English text (DecodeErrorText
// never returns null). `offset` counts bytes from the start of the message
// (the message header's first byte, behind the heading); when `inflated` is
// set it counts in the message as it reads once its compressed part is
// inflated (the 120 header bytes, then the inflated bytes). The texts are
// constant; nothing here allocates except DescribeDecodeResult.
#ifndef NIMBREL_DECODE_DECODE_RESULT_H_
#define NIMBREL_DECODE_DECODE_RESULT_H_

#include <cstdint>
#include <string>

namespace nimbrel {

enum class DecodeError : uint8_t {
  kNone,
  kTooShort,         // the image cannot hold a heading and the 120-byte header
  kNotProduct,       // no product description block (a status or text message)
  kTruncated,        // the message length says more bytes than the image holds
  kBadCompression,   // the compressed symbology does not inflate
  kInflatedTooLarge, // the compressed symbology inflates past kMaxInflatedSize
  kNoMemory,         // memory for the inflated symbology was refused
  kBadOffset,        // a block offset points outside the message
  kBadBlock,         // the symbology block's divider, id or length is wrong
  kBadLayer,         // a layer's divider or length is wrong
  kBadPacket,        // an image packet's fields are out of range or run past its layer
  kTooLarge,         // radials, gates, rows or columns beyond what the bytes can hold
  kNoImage,          // (CheckProductImage with an image required only)
};

struct DecodeResult {
  DecodeError error = DecodeError::kNone;
  uint32_t offset = 0;    // where the problem was found (see above)
  bool inflated = false;  // `offset` counts in the inflated layout

  bool ok() const { return error == DecodeError::kNone; }
};

// "ok", "image too short for a product header", ...
const char* DecodeErrorText(DecodeError error);

// The text with the offset, e.g. "bad image packet at message byte 4242
// (inflated)"; just the text when there is no problem or no offset.
std::string DescribeDecodeResult(const DecodeResult& result);

}  // namespace nimbrel

#endif  // NIMBREL_DECODE_DECODE_RESULT_H_
