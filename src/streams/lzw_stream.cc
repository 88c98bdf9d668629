#include "streams/lzw_stream.h"

#include <cstring>


namespace nimbrel {

namespace {

constexpr uint32_t kStale = 0xFFFFFFFFu;

uint64_t LoadLittle64(const uint8_t* p) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value |= static_cast<uint64_t>(p[i]) << (8 * i);
  return value;
}

uint32_t Load32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}

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

}  // namespace

LzwStream::LzwStream(std::unique_ptr<ByteStream> input)
    : ByteStream(input->Name()), source(std::move(input)) {
  for (int32_t c = 0; c < kTableSize; ++c) {
    entries[c] = Entry{kStale, 1, 0};
    suffix[c] = static_cast<uint8_t>(c < 256 ? c : 0);
  }
  int32_t magic0 = NextByte();
  int32_t magic1 = NextByte();
  int32_t flags = NextByte();
  maxBits = flags & 0x1F;
  if (magic0 != 0x1F || magic1 != 0x9D || flags < 0 || maxBits > 16) {
    Stop(StreamEnd::kCorrupt);
    return;
  }
  codeLimit = 1u << maxBits;
  ResetWidth();
  FillReservoir();
  if (bitCount < 9) {
    Stop(StreamEnd::kEndOfData);
    return;
  }
  uint32_t first = static_cast<uint32_t>(bitReservoir) & 511;
  bitReservoir >>= 9;
  bitCount -= 9;
  bitsAtWidth = 9;
  oldCode = firstChar = first;
  history[0] = decodeStack[0] = static_cast<uint8_t>(first);
  prevStart = 0;
  prevLength = 1;
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
  prevStart -= shift;
  uint32_t end = nextFree < static_cast<uint32_t>(kTableSize) ? nextFree : kTableSize;
  for (uint32_t c = 256; c < end; ++c) {
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
    more = DecodeFast(stop);
  } else {
    while (more && writePos < stop) {
      more = DecodeNextCode();
      for (int32_t i = top; more && i >= 0; --i) history[writePos++] = decodeStack[i];
    }
  }
  if (!more) Stop(StreamEnd::kEndOfData);  // unless a fault was recorded first
}

// The decoding loop for streams whose every entry's string lies in the
// output. State lives in locals here, since every store into `history` could
// otherwise alias the members.
bool LzwStream::DecodeFast(uint32_t stop) {
  uint8_t* const out = history;
  Entry* const table = entries;
  const uint32_t tableLimit = codeLimit;
  uint32_t w = writePos;
  uint64_t reservoir;
  uint32_t bits, width, mask, limit, free, taken, old, start, length;
  int32_t pos;
  auto load = [&] {
    reservoir = bitReservoir, bits = bitCount, pos = inPos;
    width = codeWidth, mask = codeMask, limit = widthLimit, free = nextFree, taken = bitsAtWidth;
    old = oldCode, start = prevStart, length = prevLength;
  };
  auto save = [&] {
    bitReservoir = reservoir, bitCount = bits, inPos = pos;
    codeWidth = width, codeMask = mask, widthLimit = limit, nextFree = free, bitsAtWidth = taken;
    oldCode = old, prevStart = start, prevLength = length;
    writePos = w;
  };
  load();
  bool more = true;
  while (w < stop) {
    if (bits < width) {
      if (inCount - pos >= 8) {
        reservoir |= LoadLittle64(inBuffer + pos) << bits;
        pos += static_cast<int32_t>((63 - bits) >> 3);
        bits |= 56;
      } else {
        save();
        FillReservoir();
        load();
        if (bits < width) {
          more = false;
          break;
        }
      }
    }
    uint32_t code = static_cast<uint32_t>(reservoir) & mask;
    reservoir >>= width;
    bits -= width;
    taken += width;

    uint32_t n;
    if (code < 256) {
      out[w] = static_cast<uint8_t>(code);
      n = 1;
    } else if (code < free && code != 256) {
      Entry& entry = table[code];
      n = entry.length;
      if (n <= kInline) {
        std::memcpy(out + w, &entry.where, 4);
      } else if (n > static_cast<uint32_t>(kStackSize)) {
        more = Stop(StreamEnd::kCorrupt);
        break;
      } else if (entry.where != kStale) {
        CopyString(out + w, out + entry.where, n);
        entry.where = w;
      } else {
        uint32_t c = code;
        for (uint32_t i = n - 1; i > 0; --i) {
          out[w + i] = suffix[c];
          c = table[c].prefix;
        }
        out[w] = static_cast<uint8_t>(c);
        entry.where = w;
      }
    } else if (code == 256) {
      save();
      HandleClearCode();
      load();
      continue;
    } else if (code == free) {
      if (length >= static_cast<uint32_t>(kStackSize)) {
        more = Stop(StreamEnd::kCorrupt);
        break;
      }
      CopyString(out + w, out + start, length);
      out[w + length] = out[start];
      n = length + 1;
    } else {
      more = Stop(StreamEnd::kCorrupt);
      break;
    }

    if (free < tableLimit) {
      uint32_t where = length + 1 <= kInline ? Load32(out + start) : start;
      table[free] = Entry{where, static_cast<uint16_t>(length + 1), static_cast<uint16_t>(old)};
      suffix[free] = out[w];
      ++free;
      if (free > limit) {
        ++width;
        mask = (1u << width) - 1;
        limit = WidthLimit(width, maxBits);
        taken = 0;
      }
    }
    old = code;
    start = w;
    length = n;
    w += n;
  }
  save();
  return more;
}

// The plain step: one code, its string built in reverse in decodeStack by
// walking the prefix chain; `top` indexes its first byte (-1: nothing).
bool LzwStream::DecodeNextCode() {
  top = -1;
  if (bitCount < codeWidth) FillReservoir();
  if (bitCount < codeWidth) return false;
  uint32_t code = static_cast<uint32_t>(bitReservoir) & codeMask;
  bitReservoir >>= codeWidth;
  bitCount -= codeWidth;
  bitsAtWidth += codeWidth;
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
    ++codeWidth;
    codeMask = (1u << codeWidth) - 1;
    widthLimit = WidthLimit(codeWidth, maxBits);
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
