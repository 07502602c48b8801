// DES (FIPS 46), for decoder key derivation only. Parity bits are ignored and weak keys are
// accepted: a derivation computes its DES key from its inputs and must take whatever comes.
#pragma once

#include <array>
#include <cstdint>

#include "sts/sts_text.h"

namespace kavlink::sts {

// Sixteen 48-bit round keys, round 1 first, each in the low 48 bits.
using DesRoundKeys = std::array<uint64_t, 16>;

enum DesMode : int { kDesEncrypt = 1, kDesDecrypt = 2 };

// PC-1 (dropping the parity bits), the standard left shifts, PC-2. Bit 1 of the standard is
// the top bit of byte 0.
void DesKeySchedule(const Block& key, DesRoundKeys& roundKeys);

// One block: kDesEncrypt uses round keys 1 to 16, kDesDecrypt 16 to 1.
void DesCrypt(const Block& in, Block& out, const DesRoundKeys& roundKeys, DesMode mode);

Block desEncrypt(const Block& key, const Block& in);
Block desDecrypt(const Block& key, const Block& in);

}  // namespace kavlink::sts
