// One product as it travels on the data feeds: framed (SOH CR CR LF, a
// sequence number, CR CR LF before the WMO heading; CR CR LF ETX at the
// end), sometimes with the message zlib-compressed behind the heading.
// products/feed_splitter.h finds the frames of a stream; this takes one
// frame's content apart into the product as it sits in a day archive: the
// heading and the message, without the framing, the message inflated.
//
// Invariants of a FrameUnpacker: its inflater (ISA-L's igzip where the
// build has it, zlib otherwise; both give the same bytes for sound streams)
// and its buffer are made once
// and kept between frames (a buffer grows to the largest product unpacked,
// never past kMaxProductSize + 1 bytes); nothing is allocated per frame
// once they are big enough. Inflated data that begins with a communications
// control block before the heading loses the block. The compressed part is
// one or more zlib streams; bytes between the last stream and the end
// framing belong to the product. A product that would inflate past
// kMaxProductSize is given up (kTooLarge), never held.
#ifndef NIMBREL_PRODUCTS_FRAMED_PRODUCT_H_
#define NIMBREL_PRODUCTS_FRAMED_PRODUCT_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "conversion/run_context.h"

namespace nimbrel {

inline constexpr uint8_t kFrameStart[] = {0x01, '\r', '\r', '\n'};  // SOH CR CR LF
inline constexpr uint8_t kFrameEnd[] = {'\r', '\r', '\n', 0x03};    // CR CR LF ETX
inline constexpr size_t kFrameMarkSize = 4;
// The sequence line and the heading's lines are short; a frame whose lines
// run longer is no frame.
inline constexpr size_t kMaxFrameLine = 64;

// Owns bytes from malloc or realloc (buffers that grow in place).
struct FreeBytes {
  void operator()(uint8_t* bytes) const { std::free(bytes); }
};

// Whether `data` starts like a framed product: SOH CR CR LF.
bool LooksFramed(const uint8_t* data, size_t size);

// The position of needle[0, length) in data[from, to), or `to`.
size_t FindBytes(const uint8_t* data, size_t from, size_t to, const uint8_t* needle, size_t length);

// The end of the line of at most kMaxFrameLine bytes that starts at
// data[from] (just past its CR CR LF), or 0 when there is none.
size_t FrameLineEnd(const uint8_t* data, size_t size, size_t from);

class FrameUnpacker {
 public:
  FrameUnpacker();
  ~FrameUnpacker();
  FrameUnpacker(const FrameUnpacker&) = delete;
  FrameUnpacker& operator=(const FrameUnpacker&) = delete;

  // Takes apart `content`, a frame's bytes from the heading up to its end
  // framing. None when it gives a product: image() for Size() bytes, valid
  // until the next call (and, for an uncompressed message, while `content`
  // is). Else kNotProduct (no heading, a broken zlib stream), kTooLarge or
  // kNoMemory, with `why` saying what was wrong.
  std::optional<Outcome> Unpack(const uint8_t* content, size_t size, const char** why);
  const uint8_t* Image() const { return image_; }
  size_t Size() const { return size_; }

 private:
  struct Inflater;  // zlib's state, made at the first compressed frame
  // Inflates back-to-back zlib streams from data[at, end) into `inflated_`;
  // the position after the last stream, or none (`why` says why).
  std::optional<size_t> InflateStreams(const uint8_t* data, size_t at, size_t end, const char** why,
                                       Outcome* problem);
  bool Reserve(size_t bytes);

  std::unique_ptr<Inflater> inflater_;
  std::unique_ptr<uint8_t, FreeBytes> inflated_;  // grown with realloc
  size_t capacity_ = 0;
  size_t inflatedSize_ = 0;
  const uint8_t* image_ = nullptr;
  size_t size_ = 0;
};

struct UnframedProduct {
  std::vector<uint8_t> image;      // heading and message, as filed; empty with a problem
  std::optional<Outcome> problem;  // none: `image` is good; else kTooLarge,
                                   // kNoMemory or kNotProduct (a bad frame)
};

// The products of the frames in data[0, size) (a whole feed file held in
// memory), in order, as the feed splitter finds them: a bad frame or bytes
// that begin no frame give one entry with their problem, and the splitting
// goes on at the next frame.
std::vector<UnframedProduct> UnframeProducts(const uint8_t* data, size_t size);

}  // namespace nimbrel

#endif  // NIMBREL_PRODUCTS_FRAMED_PRODUCT_H_
