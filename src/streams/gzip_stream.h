// The gzip kind: the decompressed contents of a gzip file (RFC 1952). The
// inflater is chosen when the project is configured: ISA-L's igzip where it
// was found (NIMBREL_ISAL), zlib otherwise; both behave as described here.
//
// Invariants:
//   - Members written one after another (what `cat a.gz b.gz` or a parallel
//     compressor makes) read as one stream, member after member.
//   - After a member's trailer the stream ends normally unless the next two
//     bytes are the gzip magic 1F 8B: trailing zero padding (tapes) or other
//     trailing bytes are ignored, as the usual decompressor does.
//   - Bytes are delivered as they are inflated. A truncated member or a
//     decoding error (bad header, bad deflate data, CRC or length mismatch in
//     a trailer) ends the stream after the bytes inflated before the fault:
//     the call that meets it returns a short count, every later call 0. Bytes
//     of a member delivered before its trailer is checked are not retracted.
//   - On intact files both inflaters deliver the same bytes. On a damaged or
//     cut member the count before the end may differ: igzip accepts some
//     Huffman code sets zlib refuses (so it may go on further, and end
//     cleanly if the trailer then matches), writes the bytes of a bad
//     back-reference (up to 258) before reporting it, and may stop a few
//     bytes short of a cut, having decoded literals in pairs or triples.
//   - The inflater inflates into `output`, never into the caller's buffer,
//     and always with all of `output` free (it is refilled only once it has
//     been delivered): so what is inflated, and where a fault is met, does
//     not depend on the sizes of the requests. output[outPos, outEnd) waits
//     for delivery; input[inPos, inEnd) is read but not yet inflated.
//   - The inflater's state is allocated by the constructor, once per stream
//     (zlib's 32 KiB window by the first inflation); no Read allocates.
//   - End(): kEndOfData after a whole member and no further magic; kCorrupt
//     for a cut or damaged member; kNoMemory when the inflater got none; or
//     the source's own read error. It is set when the last byte has been
//     delivered, not while inflated bytes still wait.
//   - The source is owned. Nothing prints.
#ifndef NIMBREL_STREAMS_GZIP_STREAM_H_
#define NIMBREL_STREAMS_GZIP_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "streams/byte_stream.h"

namespace nimbrel {

class GzipStream : public ByteStream {
 public:
  // `source` delivers the gzip file from its first byte.
  explicit GzipStream(std::unique_ptr<ByteStream> source);
  // Whether `head` (its first `size` bytes) begins with the magic 1F 8B.
  static bool Recognises(const uint8_t* head, size_t size);
  ~GzipStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;

  // The inflater this build uses: "isa-l" or "zlib".
  static const char* InflaterName();

  static constexpr int32_t kInputSize = 128 * 1024;
  static constexpr int32_t kOutputSize = 256 * 1024;

 private:
  struct Inflater;  // the configured back end's state

  // Inflates into `output` until it holds bytes; false when the stream has
  // nothing more to deliver (`stop` then says why).
  bool Refill();
  // Reads from the file until at least `wanted` unread bytes are buffered;
  // false when the file ends (or fails) first, and from then on.
  bool Fill(int32_t wanted);

  std::unique_ptr<ByteStream> source;
  std::unique_ptr<Inflater> inflater;  // null when no memory was left for it
  StreamEnd stop = StreamEnd::kOpen;   // why inflation stopped, once it has
  bool ended = false;        // every byte was delivered; Read returns 0
  bool memberStarts = true;  // the current member's flags byte is unchecked
  bool memberEnded = false;  // the inflater reached a member's trailer
  bool fileEnded = false;    // a read gave the end of the file or an error
  int32_t inPos = 0;
  int32_t inEnd = 0;
  int32_t outPos = 0;
  int32_t outEnd = 0;
  uint8_t input[kInputSize];
  uint8_t output[kOutputSize];
};

}  // namespace nimbrel

#endif  // NIMBREL_STREAMS_GZIP_STREAM_H_
