#include "support/lzw_reference.h"

namespace nimbrel {

LzwReference::LzwReference(const uint8_t* file, size_t size) : input(file), inputSize(size) {
  for (uint32_t i = 0; i < 256; ++i) suffix[i] = static_cast<uint8_t>(i);
  int32_t flags = NextByte();
  if (flags < 0) {
    failed = true;
    return;
  }
  maxBits = flags & 0x1F;
  if (maxBits > 16) {
    failed = true;
    return;
  }
  codeLimit = 1u << maxBits;
  ResetWidth();
  FillReservoir();
  int32_t first = TakeCode();
  if (first < 0) return;
  oldCode = firstChar = static_cast<uint32_t>(first);
  decodeStack[0] = static_cast<uint8_t>(first);
  top = 0;
}

int32_t LzwReference::NextByte() { return inPos < inputSize ? input[inPos++] : -1; }

void LzwReference::FillReservoir() {
  while (!inputEnded && bitCount <= 24) {
    int32_t byte = NextByte();
    if (byte < 0) {
      inputEnded = true;
      return;
    }
    bitReservoir |= static_cast<uint32_t>(byte) << bitCount;
    bitCount += 8;
  }
}

int32_t LzwReference::TakeCode() {
  if (bitCount < codeWidth) return -1;
  int32_t code = static_cast<int32_t>(bitReservoir & codeMask);
  bitReservoir >>= codeWidth;
  bitCount -= codeWidth;
  bitsAtWidth += static_cast<uint32_t>(codeWidth);
  if (codeWidth > widestCode) widestCode = codeWidth;
  return code;
}

void LzwReference::ResetWidth() {
  codeWidth = 9;
  codeMask = 511;
  widthLimit = maxBits == 9 ? 512 : 511;
  bitsAtWidth = 0;
}

int32_t LzwReference::ExpandCode(int32_t at, uint32_t c) {
  while (c > 255) {
    if (at >= kStackSize) return -1;
    decodeStack[at++] = suffix[c];
    c = prefix[c];
  }
  if (at >= kStackSize) return -1;
  decodeStack[at] = static_cast<uint8_t>(c);
  return at;
}

void LzwReference::HandleClearCode() {
  ++clearCodes;
  uint32_t group = 8u * static_cast<uint32_t>(codeWidth);
  uint32_t skip = (group - bitsAtWidth % group) % group;
  if (skip <= static_cast<uint32_t>(bitCount)) {
    bitReservoir = skip >= 32 ? 0 : bitReservoir >> skip;
    bitCount -= static_cast<int32_t>(skip);
  } else {
    skip -= static_cast<uint32_t>(bitCount);
    bitReservoir = 0;
    bitCount = 0;
    for (uint32_t i = 0; i < skip / 8; ++i) NextByte();
  }
  for (uint32_t i = 0; i <= 256; ++i) prefix[i] = 0;
  ResetWidth();
}

bool LzwReference::DecodeNextCode() {
  if (failed) return false;
  top = -1;
  if (bitCount <= 24) FillReservoir();
  int32_t taken = TakeCode();
  if (taken < 0) return false;
  uint32_t code = static_cast<uint32_t>(taken);
  if (code == 256) {
    HandleClearCode();
    nextFree = 256;
    return true;
  }
  int32_t at;
  if (code < nextFree) {
    at = ExpandCode(0, code);
  } else if (code > nextFree) {
    failed = true;
    return false;
  } else {
    decodeStack[0] = static_cast<uint8_t>(firstChar);
    at = ExpandCode(1, oldCode);
  }
  if (at < 0) {
    failed = true;
    return false;
  }
  top = at;
  firstChar = decodeStack[static_cast<size_t>(at)];
  if (nextFree < codeLimit) {
    prefix[nextFree] = oldCode;
    suffix[nextFree] = static_cast<uint8_t>(firstChar);
    ++nextFree;
  }
  oldCode = code;
  if (nextFree > widthLimit) {
    ++codeWidth;
    codeMask = (1u << codeWidth) - 1;
    widthLimit = codeWidth == maxBits ? 1u << codeWidth : codeMask;
    bitsAtWidth = 0;
  }
  return true;
}

int32_t LzwReference::Read(uint8_t* buffer, int32_t length) {
  if (failed || length <= 0) return 0;
  int32_t delivered = 0;
  for (;;) {
    while (top >= 0) {
      buffer[delivered++] = decodeStack[static_cast<size_t>(top--)];
      if (delivered == length) return length;
    }
    if (!DecodeNextCode()) return delivered;
  }
}

}  // namespace nimbrel
