// The block stream: a 24-byte volume header followed, up to the end of the
// file, by blocks of a 4-byte big-endian length and that many bytes holding
// one complete bzip2 stream. Read delivers the header bytes unchanged, then
// each block's inflated bytes in file order.
//
// Invariants:
//   - 0 <= pos <= size <= kBlockCapacity; data[pos, size) is still to be
//     delivered from the current piece (first the header, then one block).
//   - The next block is read only once the current piece is delivered.
//   - A length word with its sign bit set stands for its magnitude; a length
//     of kBlockCapacity or more (0x80000000 included, which has no positive
//     magnitude) ends the stream, so no block buffer ever reaches 243200 bytes.
//   - A block inflating to more than kBlockCapacity bytes ends the stream.
//   - Per block: one zero-filled buffer of its compressed length, freed before
//     the block is delivered; the inflated bytes go straight into `data`.
//   - Once `failed` is set it stays set and Read returns 0. End() tells the
//     file ending at a block boundary (kEndOfData) from a cut or bad block
//     (kCorrupt) and a refused allocation (kNoMemory).
#ifndef NIMBREL_STREAMS_BZ2_BLOCK_STREAM_H_
#define NIMBREL_STREAMS_BZ2_BLOCK_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "streams/byte_stream.h"

namespace nimbrel {

inline constexpr int32_t kBlockCapacity = 243200;
inline constexpr int32_t kBlockFileHeaderSize = 24;  // the volume header in front of the blocks

class Bz2BlockStream : public ByteStream {
 public:
  // `source` delivers the file from its first byte; the volume header is
  // read into the delivery buffer at once.
  explicit Bz2BlockStream(std::unique_ptr<ByteStream> source);
  // Whether `head` (its first `size` bytes, at least 32 of them) holds 'B'
  // 'Z' at bytes 28-29, where the first block's bzip2 stream begins.
  static bool Recognises(const uint8_t* head, size_t size);
  static constexpr size_t kRecogniseSize = 32;
  ~Bz2BlockStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;

 private:
  // Reads and inflates the next block into `data`; false (and `failed` set)
  // at the end of the file or on any fault.
  bool LoadNextBlock();
  bool Fail(StreamEnd why);

  std::unique_ptr<ByteStream> source;
  bool failed = false;
  int32_t pos = 0;
  int32_t size = 0;
  uint8_t data[kBlockCapacity];
};

}  // namespace nimbrel

#endif  // NIMBREL_STREAMS_BZ2_BLOCK_STREAM_H_
