// The standard transfer algorithm: two 4-bit substitution tables and a 64-bit permutation,
// 16 rounds keyed by the decoder key rotating one bit per round.
#pragma once

#include <array>
#include <cstdint>

#include "sts/sts_text.h"

namespace kavlink::sts {

// The published tables. P moves input bit i to output bit P[i].
extern const std::array<uint8_t, 16> kStaS1;
extern const std::array<uint8_t, 16> kStaS2;
extern const std::array<uint8_t, 16> kStaS1Inv;
extern const std::array<uint8_t, 16> kStaS2Inv;
extern const std::array<uint8_t, 64> kStaP;
extern const std::array<uint8_t, 64> kStaPInv;

// Rotates the 64-bit key by `count` bits: toward the most significant end when `direction`
// is non-zero (bit 63 re-enters at bit 0), toward the least significant end otherwise.
void RotateKey64(Block& key, int direction, unsigned count);

void StaPermute(Block& block);
void StaPermuteInverse(Block& block);

// 16 rounds on `block` with the prepared key; the key leaves rotated 16 bits.
void StaEncrypt(Block& block, Block& preparedKey);

// The decoder key as encryption wants it: complemented and rotated 12 bits toward the least
// significant end.
Block StaPrepareKey(const Block& decoderKey);

// Undoes StaEncrypt given the plain decoder key (no complement, no rotation by 12).
void StaDecrypt(Block& block, const Block& decoderKey);

// The same rounds on 64-bit values, for callers that stay in registers.
uint64_t staEncrypt64(uint64_t block, uint64_t preparedKey);
uint64_t staDecrypt64(uint64_t block, uint64_t decoderKey);

}  // namespace kavlink::sts
