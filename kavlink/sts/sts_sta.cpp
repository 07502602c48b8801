#include "sts/sts_sta.h"

#include <bit>

namespace kavlink::sts {

const std::array<uint8_t, 16> kStaS1{14, 10, 7, 9, 12, 3, 2, 5, 13, 0, 15, 1, 4, 8, 6, 11};
const std::array<uint8_t, 16> kStaS2{12, 8, 2, 13, 7, 6, 1, 3, 11, 5, 9, 15, 0, 4, 10, 14};
const std::array<uint8_t, 16> kStaS1Inv{9, 11, 6, 5, 12, 7, 14, 2, 13, 3, 1, 15, 4, 8, 0, 10};
const std::array<uint8_t, 16> kStaS2Inv{12, 6, 2, 7, 13, 9, 5, 4, 1, 10, 14, 8, 0, 3, 15, 11};
const std::array<uint8_t, 64> kStaP{55, 42, 10, 18, 24, 21, 44, 35, 2,  22, 56, 43, 27, 58, 9,  50,
                                    6,  36, 12, 61, 37, 38, 53, 16, 62, 3,  7,  4,  32, 20, 63, 25,
                                    51, 52, 54, 33, 49, 19, 46, 29, 48, 31, 23, 30, 41, 28, 13, 5,
                                    40, 60, 39, 11, 15, 17, 1,  0,  57, 34, 59, 8,  47, 14, 45, 26};
const std::array<uint8_t, 64> kStaPInv{55, 54, 8,  25, 27, 47, 16, 26, 59, 14, 2,  51, 18, 46, 61, 52,
                                       23, 53, 3,  37, 29, 5,  9,  42, 4,  31, 63, 12, 45, 39, 43, 41,
                                       28, 35, 57, 7,  17, 20, 21, 50, 48, 44, 1,  11, 6,  62, 38, 60,
                                       40, 36, 15, 32, 33, 22, 34, 0,  10, 56, 13, 58, 49, 19, 24, 30};

namespace {

// A bit permutation split by input byte: the output is the OR of eight table entries, one per
// input byte, so a round costs eight look-ups instead of 64 bit moves.
struct ByteSpread {
  std::array<std::array<uint64_t, 256>, 8> t{};
  explicit ByteSpread(const std::array<uint8_t, 64>& to) {
    for (int byte = 0; byte < 8; ++byte) {
      int lowBit = 8 * (7 - byte);
      for (int v = 0; v < 256; ++v) {
        uint64_t out = 0;
        for (int b = 0; b < 8; ++b)
          if (v & (1 << b)) out |= uint64_t{1} << to[lowBit + b];
        t[byte][v] = out;
      }
    }
  }
  uint64_t apply(uint64_t x) const {
    uint64_t out = 0;
    for (int byte = 0; byte < 8; ++byte) out |= t[byte][(x >> (8 * (7 - byte))) & 0xFF];
    return out;
  }
};

const ByteSpread& forward() {
  static const ByteSpread s(kStaP);
  return s;
}
const ByteSpread& backward() {
  static const ByteSpread s(kStaPInv);
  return s;
}

// Substitutes every nibble through `a` where the selector nibble's chosen bit is 0 and through
// `b` where it is 1.
uint64_t substitute(uint64_t x, uint64_t selector, int selectBit, const std::array<uint8_t, 16>& a,
                    const std::array<uint8_t, 16>& b) {
  uint64_t out = 0;
  for (int shift = 0; shift < 64; shift += 4) {
    unsigned nib = (x >> shift) & 0xF;
    bool useB = (selector >> (shift + selectBit)) & 1;
    out |= uint64_t{useB ? b[nib] : a[nib]} << shift;
  }
  return out;
}

}  // namespace

void RotateKey64(Block& key, int direction, unsigned count) {
  uint64_t v = blockToU64(key);
  int n = static_cast<int>(count % 64);
  key = u64ToBlock(direction ? std::rotl(v, n) : std::rotr(v, n));
}

void StaPermute(Block& block) { block = u64ToBlock(forward().apply(blockToU64(block))); }

void StaPermuteInverse(Block& block) { block = u64ToBlock(backward().apply(blockToU64(block))); }

uint64_t staEncrypt64(uint64_t block, uint64_t key) {
  const ByteSpread& p = forward();
  for (int round = 0; round < 16; ++round) {
    block = p.apply(substitute(block, key, 3, kStaS1, kStaS2));
    key = std::rotl(key, 1);
  }
  return block;
}

uint64_t staDecrypt64(uint64_t block, uint64_t key) {
  const ByteSpread& p = backward();
  for (int round = 0; round < 16; ++round) {
    block = substitute(p.apply(block), key, 0, kStaS2Inv, kStaS1Inv);
    key = std::rotr(key, 1);
  }
  return block;
}

void StaEncrypt(Block& block, Block& preparedKey) {
  block = u64ToBlock(staEncrypt64(blockToU64(block), blockToU64(preparedKey)));
  RotateKey64(preparedKey, 1, 16);
}

Block StaPrepareKey(const Block& decoderKey) { return u64ToBlock(std::rotr(~blockToU64(decoderKey), 12)); }

void StaDecrypt(Block& block, const Block& decoderKey) {
  block = u64ToBlock(staDecrypt64(blockToU64(block), blockToU64(decoderKey)));
}

}  // namespace kavlink::sts
