// Feed files and feed pipes: framed products back to back (what a feed's
// file action appends to an hourly file, or its pipe action writes into a
// program), taken apart one frame at a time as the bytes arrive, whatever
// the length of the stream.
//
// A frame begins with SOH CR CR LF and a sequence line (at most 64 bytes up
// to its CR CR LF) and ends at a CR CR LF ETX that is followed, past any CR,
// LF or NUL padding, by the next frame's start, by the end of the stream, or
// (a live source) by nothing yet: a pipe that has delivered all that was
// written to it. A CR CR LF ETX followed by anything else lies inside the
// message. Each frame's content goes through a FrameUnpacker.
//
// Invariants:
//   - buffer_[start_, filled_) holds the stream's bytes from offset_ on that
//     are not yet handed on; it starts at a frame's first byte except while
//     bytes that begin no frame are passed over.
//   - Memory is bounded by the largest frame: the buffer never holds more
//     than kMaxFrameSize bytes of one frame plus one piece read (kPiece), and
//     is kept between frames; a frame that grows past kMaxFrameSize without
//     an end is reported kTooLarge and read past in bounded pieces.
//   - Damage costs only the frame it is in: a frame start (with its sequence
//     line) met before a frame's end makes that frame kNotProduct; a frame
//     that ends the data without its end framing, a broken zlib stream and
//     bytes that begin no frame likewise; then the split goes on at the next
//     frame start. Each such item says why and at which byte of the stream.
//   - A frame's end is decided without waiting for bytes a live source has
//     not delivered yet, so each product is handed on as soon as its end
//     framing has arrived.
#ifndef NIMBREL_PRODUCTS_FEED_SPLITTER_H_
#define NIMBREL_PRODUCTS_FEED_SPLITTER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "conversion/outcome.h"
#include "products/framed_product.h"
#include "streams/byte_stream.h"

namespace nimbrel {

// A frame as large as the largest product, with room for its framing and
// for zlib's overhead on a message that does not compress.
inline constexpr size_t kMaxFrameSize = static_cast<size_t>(kMaxProductSize) + (1 << 20);

// One frame taken apart, or bytes that are none.
struct FeedItem {
  std::optional<Outcome> problem;  // none: image[0, size) is a product to file
  const uint8_t* image = nullptr;  // valid until the next call on the splitter
  size_t size = 0;
  int64_t offset = 0;         // the stream byte at which the frame (or the bytes) began
  int64_t frameSize = 0;      // bytes of the frame, framing included
  const char* why = "";       // with a problem: what was wrong
  bool wholeStream = false;   // the frame is all that the stream held
};

class FeedSplitter {
 public:
  static constexpr int32_t kPiece = 256 * 1024;  // bytes read at a time at most

  // `stream` delivers framed products (it begins with a frame start, or the
  // bytes before the first one are reported); the caller keeps it alive.
  explicit FeedSplitter(ByteStream& stream);
  ~FeedSplitter();
  FeedSplitter(const FeedSplitter&) = delete;
  FeedSplitter& operator=(const FeedSplitter&) = delete;

  // The next frame; false once the stream has ended (its End() says how).
  // A frame cut off by a fault of the stream (a read error, a stop) is not
  // handed on: the stream's end tells of it.
  bool Next(FeedItem* item);

  // Whether the split ended for want of memory to hold a frame.
  bool NoMemory() const { return noMemory_; }

 private:
  // Reads the next piece behind buffer_[filled_); false when the stream
  // gave nothing (it has ended, or no memory was left: `noMemory_`).
  bool Fill();
  // Hands on buffer_[start_, start_ + length) (consumed).
  void Consume(size_t length);
  // Whether a frame start with its sequence line begins at `at`: yes, no,
  // or none (more bytes are needed to tell).
  std::optional<bool> FrameStartsAt(size_t at) const;
  // Where the frame at start_ ends (just past its end framing), whether a
  // frame start cuts it off before (`broken`), or none when more bytes are
  // needed.
  std::optional<size_t> FindFrameEnd(bool* broken, bool* wholeStream);
  // Passes over bytes until a frame start stands at start_ (searching from
  // buffer_[start_ + from]); false when the stream ends first.
  bool SkipToFrameStart(size_t from);

  ByteStream& stream_;
  FrameUnpacker unpacker_;
  std::unique_ptr<uint8_t, FreeBytes> buffer_;  // grown with realloc
  size_t capacity_ = 0;
  size_t start_ = 0;
  size_t filled_ = 0;
  int64_t offset_ = 0;        // the stream offset of buffer_[start_]
  size_t endScan_ = 0;        // no end framing begins in buffer_[start_ + 4, endScan_)
  size_t startScan_ = 0;      // no frame start begins in buffer_[start_ + 1, startScan_)
  size_t lastEnd_ = 0;        // past the last end framing of the frame taken for its message's
  bool ended_ = false;        // the stream has given its last byte
  bool noMemory_ = false;
  bool skipping_ = false;     // passing over the rest of a frame too large to hold
};

}  // namespace nimbrel

#endif  // NIMBREL_PRODUCTS_FEED_SPLITTER_H_
