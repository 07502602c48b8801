// The 16-bit transfer amount code: exponent e in bits 15..14, mantissa m in bits 13..0,
// standing for m x 10^e + B(e) with B = 0, 16384, 180224, 1818624.
#pragma once

#include <cstdint>

namespace kavlink::sts {

// The largest codable value (code 0xFFFF).
constexpr uint32_t kMaxTransferAmount = 18201624;

// Codes v with the smallest code that stands for at least v, so a meter never receives less
// than it was sold; the mantissa carries into the next exponent when it would pass 16383.
// Values above kMaxTransferAmount raise StsArgumentError.
uint16_t EncodeTransferAmount(uint32_t v);

// The value a code stands for.
uint32_t DecodeTransferAmount(uint16_t code);

// Same as EncodeTransferAmount for a signed request: negative values are refused.
uint16_t encodeSignedAmount(int32_t v);

// A credit amount in whole units to the coded value in tenths: Amount x 10 in single precision,
// rounded up. NaN, infinite, negative and uncodable amounts raise StsArgumentError.
int32_t creditAmountValue(float amount);

}  // namespace kavlink::sts
