// A plain, literal decoder of `compress` (.Z) data held in memory, kept as the
// oracle for LzwStream: one code at a time, each string built in reverse in
// an 8192-byte stack by walking its prefix chain, a 32-bit bit reservoir
// filled one byte at a time. It has the same Read contract as a ByteStream.
//
// Clear codes skip to the next multiple of 8 x width bits counted from where
// the current width began; a flags byte naming more than 16 bits fails the
// stream at once. Entries that were never written read as prefix 0, suffix 0.
#ifndef NIMBREL_TESTS_SUPPORT_LZW_REFERENCE_H_
#define NIMBREL_TESTS_SUPPORT_LZW_REFERENCE_H_

#include <cstddef>
#include <cstdint>

namespace nimbrel {

class LzwReference {
 public:
  // `file` is a whole .Z file, kept by the caller while this decoder lives;
  // its first two bytes (the magic) are skipped.
  LzwReference(const uint8_t* file, size_t size);
  LzwReference(const LzwReference&) = delete;
  LzwReference& operator=(const LzwReference&) = delete;

  int32_t Read(uint8_t* buffer, int32_t length);

  // What the decoder met so far, for tests that must exercise a feature.
  int32_t clearCodes = 0;
  int32_t widestCode = 0;
  bool failed = false;

 private:
  int32_t NextByte();
  void FillReservoir();
  int32_t TakeCode();
  bool DecodeNextCode();
  int32_t ExpandCode(int32_t at, uint32_t c);
  void HandleClearCode();
  void ResetWidth();

  static constexpr int32_t kStackSize = 8192;
  static constexpr size_t kTableSize = 69001;

  const uint8_t* input;
  size_t inputSize;
  size_t inPos = 2;

  int32_t maxBits = 0;
  uint32_t codeLimit = 0;
  int32_t codeWidth = 9;
  uint32_t codeMask = 511;
  uint32_t widthLimit = 511;
  bool inputEnded = false;
  int32_t bitCount = 0;
  uint32_t bitReservoir = 0;
  uint32_t bitsAtWidth = 0;  // code bits taken since the current width began
  uint32_t nextFree = 257;
  uint32_t oldCode = 0;
  uint32_t firstChar = 0;
  int32_t top = -1;  // next pending byte in decodeStack, -1 when none
  uint8_t decodeStack[kStackSize];
  uint32_t prefix[kTableSize] = {};
  uint8_t suffix[kTableSize] = {};
};

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_LZW_REFERENCE_H_
