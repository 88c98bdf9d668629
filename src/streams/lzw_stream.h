// The stream kind for `compress` (.Z) files: decodes the LZW code stream as
// it is read, keeping a fixed window of output and no more.
//
// Format: after the magic 1F 9D, a flags byte whose low 5 bits name the
// largest code width (bits 5-7 are not consulted: code 256 always clears);
// then codes packed least significant bit first, 9 bits wide at first and
// after every clear, one bit wider each time the next free code passes the
// width's range, up to the largest width; first free code 257.
//
// Invariants:
//   - Read delivers exactly the bytes of the codes decoded, in order, as a
//     decoder taking one code at a time would; codes are decoded ahead in
//     batches of about 64 KB into `history`, and history[readPos, writePos)
//     waits for delivery. A short count means the stream has ended, and every
//     later call returns 0. It ends at the first of: input ending inside a
//     code, a code above the next free one, a string longer than 8192 bytes
//     (8191 plus one in the KwKwK case). A flags byte naming more than 16
//     bits, or none, fails it at once. End() is kEndOfData when the input
//     ran out (or the source's own fault), kCorrupt for the rest.
//   - A clear code skips to the next multiple of 8 x width bits counted from
//     where the current width began, dropping reservoir bits, then bytes.
//   - Nothing outside the tables (69001 entries) or the buffers is read or
//     written, whatever the input; nothing is allocated after construction.
//   - Unless `plainWalk`: every entry below nextFree holds its string (up to
//     4 bytes, zero after its end) or the offset of a copy of it in
//     history[0, writePos), or kStale once that copy has slid out of the
//     window; so a string is copied rather than built by walking its prefix
//     chain (the walk is kept for stale strings). Literals are entries of
//     length 1 and entry 256 is marked too long to be a string, so that one
//     table look-up sorts every code. This holds when the first code is a
//     byte and codes may be at least 9 bits wide; other streams (corrupt ones)
//     are decoded by the plain chain walk throughout.
//   - Unless `plainWalk`, while entries are still made: oldCode's string is
//     history[prevStart, +prevLength), and prevWord holds it when it is short
//     enough to live in an entry. Once the table is full they are not kept.
#ifndef NIMBREL_STREAMS_LZW_STREAM_H_
#define NIMBREL_STREAMS_LZW_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "streams/byte_stream.h"

namespace nimbrel {

class LzwStream : public ByteStream {
 public:
  // `source` delivers the .Z file from its first byte (the magic).
  explicit LzwStream(std::unique_ptr<ByteStream> source);
  // Whether `head` (its first `size` bytes) begins with the magic 1F 9D.
  static bool Recognises(const uint8_t* head, size_t size);
  ~LzwStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;

  static constexpr int32_t kInputChunk = 16384;  // bytes per read of the file
  static constexpr int32_t kStackSize = 8192;    // longest string
  static constexpr int32_t kTableSize = 69001;   // every code of 16-bit streams
  static constexpr uint32_t kWindow = 1u << 22;  // output kept for copying from
  static constexpr uint32_t kBatch = 1u << 16;   // output decoded per refill
  static constexpr uint32_t kSlideGap = 1u << 22;  // output between two slides
  // The window, the output decoded before it slides back, the longest string
  // three times (a batch may end three strings past its end) and the slack
  // of 16-byte copies. The object is about 9 MB.
  static constexpr uint32_t kHistorySize = kWindow + kSlideGap + 3 * kStackSize + 64;

 private:
  static constexpr uint32_t kInline = 4;  // strings this short live in the entry

  struct Entry {
    // Up to kInline bytes: the string itself, in memory order, zero after
    // its end. Longer: the offset in `history` of a copy of it, or kStale
    // once that has left.
    uint32_t where;
    uint16_t length;  // of the string, 1..8193; entry 256 holds more than any
    uint16_t prefix;  // code of the string without its last byte
  };

  // The entry for a string, `word` when short or else history[start,
  // +length), followed by `first`; `old` is the string's code.
  static Entry Extend(uint32_t old, uint32_t start, uint32_t length, uint32_t word, uint32_t first);

  int32_t NextByte();
  void FillReservoir();
  bool TakeCode(uint32_t* code);
  void HandleClearCode();
  void ResetWidth();
  void Slide();
  void DecodeBatch();
  bool DecodeCodes(uint32_t stop);
  template <bool kFull>
  bool DecodeRun(uint32_t stop, uint32_t* pending);
  bool DecodeCode(uint32_t code);
  void AddEntry(uint32_t firstByte);
  void WalkChain(uint32_t code, uint8_t* to, uint32_t length);
  bool DecodeNextCode();
  int32_t ExpandCode(int32_t at, uint32_t c);

  // Ends the stream for `why`; false, so that decoding steps can return it.
  bool Stop(StreamEnd why);

  std::unique_ptr<ByteStream> source;
  bool ended = false;      // failed or at the end: no more output will come
  StreamEnd endReason = StreamEnd::kEndOfData;  // why, told once the output is delivered
  bool plainWalk = false;  // strings are built by walking chains (see above)
  int32_t maxBits = 0;
  uint32_t codeLimit = 0;
  uint32_t codeWidth = 9;
  uint32_t codeMask = 511;
  uint32_t widthLimit = 511;
  bool inputEnded = false;
  uint32_t bitCount = 0;
  uint64_t bitReservoir = 0;
  uint32_t bitsAtWidth = 0;  // code bits taken since the current width began
  uint32_t nextFree = 257;
  uint32_t oldCode = 0;
  uint32_t firstChar = 0;  // first byte of the latest string (plain walk)
  int32_t top = -1;        // first byte of the plain walk's string, -1: none
  uint32_t prevStart = 0;  // oldCode's string: history[prevStart, +prevLength)
  uint32_t prevLength = 0;
  uint32_t prevWord = 0;
  uint32_t readPos = 0;  // history[readPos, writePos) waits for delivery
  uint32_t writePos = 0;
  bool sourceEnded = false;  // the source gave a short count: ask no more
  int32_t inPos = 0;
  int32_t inCount = 0;
  uint8_t inBuffer[kInputChunk];
  uint8_t decodeStack[kStackSize];
  Entry entries[kTableSize];
  uint8_t suffix[kTableSize];
  uint8_t history[kHistorySize];
};

}  // namespace nimbrel

#endif  // NIMBREL_STREAMS_LZW_STREAM_H_
