// The meaning of each data level of a product, from its level mapping and the
// 16 threshold halfwords of its description block.
//
// Invariants: every one of the kLevelCount entries is written; a level the
// mapping does not give a value to is kNoData; no entry of kind kValue holds
// a NaN or an infinity (a mapping whose constants would give one marks the
// levels kNoData instead). Pure: no state, no allocation.
#ifndef NIMBREL_DECODE_LEVEL_TABLE_H_
#define NIMBREL_DECODE_LEVEL_TABLE_H_

#include <array>
#include <cstdint>

#include "decode/decoded_product.h"
#include "decode/product_table.h"

namespace nimbrel {

void BuildLevelTable(LevelMapping mapping, const std::array<uint16_t, 16>& thresholds,
                     std::array<LevelInfo, kLevelCount>* table);

// One threshold halfword of a 16-level product: the high byte holds flags
// (bit 15 a special code in the low byte: 0 blank, 1 TH, 2 ND, 3 RF, then
// classes; else bits 14, 13 and 12 scale the low byte by 1/100, 1/20 and
// 1/10, bit 11 marks "greater than", bit 10 "less than", bit 9 "plus" and
// bit 8 a negative value), the low byte the value.
LevelInfo DecodeThreshold(uint16_t halfword);

// The 16-bit floating point format of the VIL constants: sign bit, 5-bit
// exponent, 10-bit fraction; value 2^(e-16) * (1 + f/1024), or f/512 when
// the exponent is zero.
float HalfwordFloat(uint16_t halfword);

// An IEEE-754 single from two halfwords, the high one first.
float HalfwordPairFloat(uint16_t high, uint16_t low);

}  // namespace nimbrel

#endif  // NIMBREL_DECODE_LEVEL_TABLE_H_
