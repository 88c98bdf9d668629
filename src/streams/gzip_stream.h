// The gzip kind: the decompressed contents of a gzip file (RFC 1952), read
// through zlib's inflate.
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
//   - The z_stream and the input buffer live in the object. Inflate's state
//     is allocated by the constructor and its 32 KiB window by the first
//     Read that inflates, once per stream; no other Read allocates.
//     zs.next_in/avail_in always describe the unread part of `input`.
//   - End(): kEndOfData after a whole member and no further magic; kCorrupt
//     for a cut or damaged member; kNoMemory when inflate got none; or the
//     source's own read error.
//   - The source is owned. Nothing prints.
#ifndef NIMBREL_STREAMS_GZIP_STREAM_H_
#define NIMBREL_STREAMS_GZIP_STREAM_H_

#include <zlib.h>

#include <memory>

#include "streams/byte_stream.h"

namespace nimbrel {

class GzipStream : public ByteStream {
 public:
  // `source` delivers the gzip file from its first byte.
  explicit GzipStream(std::unique_ptr<ByteStream> source);
  ~GzipStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;

  static constexpr int32_t kInputSize = 128 * 1024;

 private:
  // Inflates once into zs.next_out; false (with the end recorded) when the
  // stream has ended.
  bool Step();
  // Reads from the file until at least `wanted` unread bytes are buffered;
  // false when the file ends (or fails) first, and from then on.
  bool Fill(uInt wanted);

  std::unique_ptr<ByteStream> source;
  bool ended = false;         // the stream has ended; Read returns 0
  bool inflating = false;     // inflateInit2 succeeded; inflateEnd is owed
  bool memberEnded = false;   // inflate reached a member's trailer
  bool fileEnded = false;     // a read gave the end of the file or an error
  z_stream zs{};
  uint8_t input[kInputSize];
};

}  // namespace nimbrel

#endif  // NIMBREL_STREAMS_GZIP_STREAM_H_
