#include "streams/lzw_stream.h"

#include <bit>
#include <cstring>

// The decoding loop calls its step three times and needs it inlined, which
// GCC will not do for a step this size unless told.
#if defined(__GNUC__)
#define NIMBREL_ALWAYS_INLINE __attribute__((always_inline))
#else
#define NIMBREL_ALWAYS_INLINE
#endif

namespace nimbrel {

namespace {

constexpr uint32_t kStale = 0xFFFFFFFFu;
constexpr uint16_t kNotAString = 0xFFFF;  // the length of entry 256
constexpr bool kLittle = std::endian::native == std::endian::little;

uint64_t LoadLittle64(const uint8_t* p) {
  uint64_t value = 0;
  if constexpr (kLittle) {
    std::memcpy(&value, p, 8);
  } else {
    for (int i = 0; i < 8; ++i) value |= static_cast<uint64_t>(p[i]) << (8 * i);
  }
  return value;
}

// A string of up to 4 bytes held in a word, as memcpy lays it in memory:
// `byte` placed at index `at` (0..3; only its low 2 bits are used).
uint32_t ByteAt(uint32_t byte, uint32_t at) {
  at &= 3;
  return kLittle ? byte << (8 * at) : byte << (24 - 8 * at);
}

uint32_t FirstByte(uint32_t word) { return kLittle ? word & 0xFF : word >> 24; }

void Store32(uint8_t* to, uint32_t word) { std::memcpy(to, &word, 4); }

void Copy16(uint8_t* to, const uint8_t* from) {
  uint8_t chunk[16];
  std::memcpy(chunk, from, 16);
  std::memcpy(to, chunk, 16);
}

// Copies `n` bytes that end at or before `to`, in 16-byte chunks: up to 15
// bytes past the end are read and written too, so both sides need that slack.
void CopyString(uint8_t* to, const uint8_t* from, uint32_t n) {
  Copy16(to, from);
  for (uint32_t i = 16; i < n; i += 16) Copy16(to + i, from + i);
}

// The largest next free code allowed at `width` before it grows.
uint32_t WidthLimit(uint32_t width, int32_t maxBits) {
  return static_cast<int32_t>(width) == maxBits ? 1u << width : (1u << width) - 1;
}

// One bit wider: the width, its mask and its limit.
void Widen(uint32_t* width, uint32_t* mask, uint32_t* limit, int32_t maxBits) {
  ++*width;
  *mask = (1u << *width) - 1;
  *limit = WidthLimit(*width, maxBits);
}

}  // namespace

LzwStream::Entry LzwStream::Extend(uint32_t old, uint32_t start, uint32_t length, uint32_t word,
                                   uint32_t first) {
  uint32_t where = length < kInline ? word | ByteAt(first, length) : start;
  return Entry{where, static_cast<uint16_t>(length + 1), static_cast<uint16_t>(old)};
}

bool LzwStream::Recognises(const uint8_t* head, size_t size) {
  return size >= 2 && head[0] == 0x1F && head[1] == 0x9D;
}

LzwStream::LzwStream(std::unique_ptr<ByteStream> input)
    : ByteStream(input->Name()), source(std::move(input)) {
  for (uint32_t c = 0; c < kTableSize; ++c) {
    entries[c] = c < 256 ? Entry{ByteAt(c, 0), 1, 0} : Entry{kStale, 1, 0};
    suffix[c] = static_cast<uint8_t>(c < 256 ? c : 0);
  }
  entries[256].length = kNotAString;
  int32_t magic0 = NextByte();
  int32_t magic1 = NextByte();
  int32_t flags = NextByte();
  maxBits = flags & 0x1F;
  const uint8_t magic[] = {static_cast<uint8_t>(magic0), static_cast<uint8_t>(magic1)};
  if (magic0 < 0 || magic1 < 0 || !Recognises(magic, 2) || flags < 0 || maxBits > 16) {
    Stop(StreamEnd::kCorrupt);
    return;
  }
  codeLimit = 1u << maxBits;
  ResetWidth();
  uint32_t first;
  if (!TakeCode(&first)) {
    Stop(StreamEnd::kEndOfData);
    return;
  }
  oldCode = firstChar = first;
  history[0] = decodeStack[0] = static_cast<uint8_t>(first);
  prevStart = 0;
  prevLength = 1;
  prevWord = ByteAt(first & 0xFF, 0);
  writePos = 1;
  plainWalk = first > 255 || maxBits < 9;
}

LzwStream::~LzwStream() = default;

bool LzwStream::Stop(StreamEnd why) {
  if (!ended) endReason = why == StreamEnd::kEndOfData ? SourceEnd(*source, why) : why;
  ended = true;
  return false;
}

int32_t LzwStream::NextByte() {
  if (inPos >= inCount) {
    inPos = 0;
    inCount = sourceEnded ? 0 : source->Read(inBuffer, kInputChunk);
    sourceEnded = inCount < kInputChunk;
    if (inCount <= 0) {
      inCount = 0;
      return -1;
    }
  }
  return inBuffer[inPos++];
}

// Bits above bitCount may already hold the next input bits (a whole-word
// load takes them early); they are ORed in again unchanged.
void LzwStream::FillReservoir() {
  if (inCount - inPos >= 8) {
    bitReservoir |= LoadLittle64(inBuffer + inPos) << bitCount;
    inPos += static_cast<int32_t>((63 - bitCount) >> 3);
    bitCount |= 56;
    return;
  }
  while (!inputEnded && bitCount <= 56) {
    int32_t byte = NextByte();
    if (byte < 0) {
      inputEnded = true;
      return;
    }
    bitReservoir |= static_cast<uint64_t>(byte) << bitCount;
    bitCount += 8;
  }
}

// The next code, or false when the input ends inside it.
bool LzwStream::TakeCode(uint32_t* code) {
  if (bitCount < codeWidth) FillReservoir();
  if (bitCount < codeWidth) return false;
  *code = static_cast<uint32_t>(bitReservoir) & codeMask;
  bitReservoir >>= codeWidth;
  bitCount -= codeWidth;
  bitsAtWidth += codeWidth;
  return true;
}

void LzwStream::ResetWidth() {
  codeWidth = 9;
  codeMask = 511;
  widthLimit = WidthLimit(9, maxBits);
  bitsAtWidth = 0;
}

void LzwStream::HandleClearCode() {
  uint32_t group = 8 * codeWidth;
  uint32_t skip = (group - bitsAtWidth % group) % group;
  if (skip <= bitCount) {
    bitReservoir >>= skip;
    bitCount -= skip;
  } else {
    skip -= bitCount;
    bitReservoir = 0;
    bitCount = 0;
    for (uint32_t i = 0; i < skip / 8; ++i) NextByte();
  }
  for (int32_t c = 0; c <= 256; ++c) entries[c].prefix = 0;
  ResetWidth();
  nextFree = 256;
}

void LzwStream::Slide() {
  uint32_t shift = writePos - kWindow;
  std::memmove(history, history + shift, kWindow);
  writePos -= shift;
  readPos = writePos;
  if (plainWalk) return;
  prevStart -= shift;  // wraps while the table is full, when it is not used
  uint32_t end = nextFree < static_cast<uint32_t>(kTableSize) ? nextFree : kTableSize;
  for (uint32_t c = 257; c < end; ++c) {
    uint32_t where = entries[c].where;
    if (entries[c].length > kInline)
      entries[c].where = where < shift || where == kStale ? kStale : where - shift;
  }
}

int32_t LzwStream::Read(uint8_t* buffer, int32_t length) {
  int32_t delivered = 0;
  while (delivered < length) {
    if (readPos == writePos) {
      if (ended) break;
      DecodeBatch();
      if (readPos == writePos) break;
    }
    uint32_t n = writePos - readPos;
    uint32_t wanted = static_cast<uint32_t>(length - delivered);
    if (n > wanted) n = wanted;
    std::memcpy(buffer + delivered, history + readPos, n);
    readPos += n;
    delivered += static_cast<int32_t>(n);
  }
  if (delivered < length && length > 0) SetEnd(endReason);
  return delivered;
}

void LzwStream::DecodeBatch() {
  if (writePos >= kWindow + kSlideGap - kBatch) Slide();
  uint32_t stop = writePos + kBatch;
  bool more = true;
  if (!plainWalk) {
    more = DecodeCodes(stop);
  } else {
    while (more && writePos < stop) {
      more = DecodeNextCode();
      for (int32_t i = top; more && i >= 0; --i) history[writePos++] = decodeStack[i];
    }
  }
  if (!more) Stop(StreamEnd::kEndOfData);  // unless a fault was recorded first
}

// Decodes until the output reaches `stop`; false once the stream has ended.
// The common codes go through the fast loops; DecodeCode takes the rest, the
// codes near the end of the input chunk and the first code after a clear.
bool LzwStream::DecodeCodes(uint32_t stop) {
  while (writePos < stop) {
    uint32_t code;
    bool pending = false;
    if (nextFree > 256 && inCount - inPos >= 8)
      pending = nextFree < codeLimit ? DecodeRun<false>(stop, &code) : DecodeRun<true>(stop, &code);
    if (!pending && writePos >= stop) break;
    if (!pending && !TakeCode(&code)) return false;
    if (!DecodeCode(code)) return false;
  }
  return true;
}

// The loop for the common codes: strings of up to kInline bytes and longer
// ones whose copy is in the window. Each round takes the input for three
// codes at once (56 bits or more, and a code has at most 16), and runs while
// the output is below `stop` (it may end up to three strings past it), 8
// input bytes are at hand and (unless kFull) three more entries fit. A code
// it does not decode itself is left in `pending` (and true returned) for
// DecodeCode. With kFull the table is full: no entry is made, the width
// stays, and every code is below nextFree. State lives in locals, since
// every store into `history` could otherwise alias the members.
template <bool kFull>
bool LzwStream::DecodeRun(uint32_t stop, uint32_t* pending) {
  uint8_t* const out = history;
  Entry* const table = entries;
  const uint8_t* const in = inBuffer;
  const int32_t lastPos = inCount - 8;
  uint64_t reservoir = bitReservoir;
  uint32_t bits = bitCount, width = codeWidth, mask = codeMask, limit = widthLimit, free = nextFree;
  uint32_t old = oldCode, start = prevStart, length = prevLength, word = prevWord;
  int32_t pos = inPos;
  uint32_t w = writePos;
  // The bit of inBuffer where the current width began (modulo 2^32).
  uint32_t widthStart = 8 * static_cast<uint32_t>(pos) - bits - bitsAtWidth;

  // One code from the reservoir; false when it is left for DecodeCode.
  auto decode = [&]() NIMBREL_ALWAYS_INLINE {
    uint32_t code = static_cast<uint32_t>(reservoir) & mask;
    reservoir >>= width;
    bits -= width;
    const Entry entry = table[code];
    uint32_t n = entry.length;
    uint32_t first;
    if ((kFull || code < free) && n <= kInline) [[likely]] {
      Store32(out + w, entry.where);
      first = FirstByte(entry.where);
    } else if ((kFull || code < free) && n <= static_cast<uint32_t>(kStackSize) &&
               entry.where != kStale) {
      first = out[entry.where];
      CopyString(out + w, out + entry.where, n);
      table[code].where = w;
    } else {
      *pending = code;
      return false;
    }
    if constexpr (!kFull) {
      table[free] = Extend(old, start, length, word, first);
      suffix[free] = static_cast<uint8_t>(first);
      if (++free > limit) {
        Widen(&width, &mask, &limit, maxBits);
        widthStart = 8 * static_cast<uint32_t>(pos) - bits;
      }
      old = code, start = w, length = n, word = entry.where;
    }
    w += n;
    return true;
  };

  bool left = false;
  while (w < stop && pos <= lastPos && (kFull || free + 2 < codeLimit)) {
    reservoir |= LoadLittle64(in + pos) << bits;
    pos += static_cast<int32_t>((63 - bits) >> 3);
    bits |= 56;
    if (!decode() || !decode() || !decode()) {
      left = true;
      break;
    }
  }
  bitReservoir = reservoir, bitCount = bits, inPos = pos, writePos = w;
  bitsAtWidth = 8 * static_cast<uint32_t>(pos) - bits - widthStart;
  if constexpr (!kFull) {
    codeWidth = width, codeMask = mask, widthLimit = limit, nextFree = free;
    oldCode = old, prevStart = start, prevLength = length, prevWord = word;
  }
  return left;
}

// One code, any code, with its bits already taken.
bool LzwStream::DecodeCode(uint32_t code) {
  if (code == 256) {
    HandleClearCode();
    return true;
  }
  uint8_t* const out = history + writePos;
  uint32_t n;
  uint32_t word = 0;
  if (code < nextFree) {
    Entry& entry = entries[code];
    n = entry.length;
    if (n <= kInline) {
      word = entry.where;
      Store32(out, word);
    } else if (n > static_cast<uint32_t>(kStackSize)) {
      return Stop(StreamEnd::kCorrupt);
    } else {
      if (entry.where != kStale) {
        CopyString(out, history + entry.where, n);
      } else {
        WalkChain(code, out, n);
      }
      entry.where = writePos;
    }
  } else if (code == nextFree && prevLength < static_cast<uint32_t>(kStackSize)) {
    // KwKwK: the previous string and its own first byte.
    n = prevLength + 1;
    if (n <= kInline) {
      word = prevWord | ByteAt(FirstByte(prevWord), prevLength);
      Store32(out, word);
    } else {
      CopyString(out, history + prevStart, prevLength);
      out[prevLength] = history[prevStart];
    }
  } else {
    return Stop(StreamEnd::kCorrupt);
  }
  AddEntry(out[0]);
  oldCode = code;
  prevStart = writePos;
  prevLength = n;
  prevWord = word;
  writePos += n;
  return true;
}

// Makes entry nextFree: the previous string and `firstByte`, the first byte
// of the string just written. The entry made at 256 (after a clear) is never
// used, so it keeps its mark.
void LzwStream::AddEntry(uint32_t firstByte) {
  if (nextFree >= codeLimit) return;
  if (nextFree != 256) {
    entries[nextFree] = Extend(oldCode, prevStart, prevLength, prevWord, firstByte);
    suffix[nextFree] = static_cast<uint8_t>(firstByte);
  }
  if (++nextFree > widthLimit) {
    Widen(&codeWidth, &codeMask, &widthLimit, maxBits);
    bitsAtWidth = 0;
  }
}

// Writes the `length` bytes of `code`'s string to `to` by walking its prefix
// chain from the last byte back.
void LzwStream::WalkChain(uint32_t code, uint8_t* to, uint32_t length) {
  uint32_t c = code;
  for (uint32_t i = length - 1; i > 0; --i) {
    to[i] = suffix[c];
    c = entries[c].prefix;
  }
  to[0] = static_cast<uint8_t>(c);
}

// The plain step: one code, its string built in reverse in decodeStack by
// walking the prefix chain; `top` indexes its first byte (-1: nothing).
bool LzwStream::DecodeNextCode() {
  top = -1;
  uint32_t code;
  if (!TakeCode(&code)) return false;
  if (code == 256) {
    HandleClearCode();
    return true;
  }
  int32_t at;
  if (code < nextFree) {
    at = ExpandCode(0, code);
  } else if (code > nextFree) {
    at = -1;
  } else {
    decodeStack[0] = static_cast<uint8_t>(firstChar);
    at = ExpandCode(1, oldCode);
  }
  if (at < 0) return Stop(StreamEnd::kCorrupt);
  top = at;
  firstChar = decodeStack[at];
  if (nextFree < codeLimit) {
    entries[nextFree].prefix = static_cast<uint16_t>(oldCode);
    suffix[nextFree] = static_cast<uint8_t>(firstChar);
    ++nextFree;
  }
  oldCode = code;
  if (nextFree > widthLimit) {
    Widen(&codeWidth, &codeMask, &widthLimit, maxBits);
    bitsAtWidth = 0;
  }
  return true;
}

// Writes code c's string backwards from decodeStack[at]; returns the index of
// its first byte, or -1 when it would not fit in decodeStack.
int32_t LzwStream::ExpandCode(int32_t at, uint32_t c) {
  while (c > 255) {
    if (at >= kStackSize) return -1;
    decodeStack[at++] = suffix[c];
    c = entries[c].prefix;
  }
  if (at >= kStackSize) return -1;
  decodeStack[at] = static_cast<uint8_t>(c);
  return at;
}

}  // namespace nimbrel
