// Decoder key derivation: a control block and a PAN block make the derivation input X, which
// DES combines with the vending key (or keys) into the meter's decoder key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sts/sts_text.h"

namespace kavlink::sts {

// The range rules of the key fields, applied to the argument's low 8 bits.
unsigned clampKeyType(int32_t kt);       // above 3 gives 2
unsigned clampTariffIndex(int32_t ti);   // above 99 gives 1
unsigned clampKeyRevision(int32_t krn);  // 0 or above 9 gives 1

// KT, the 6 SGC digits, TI as two decimal digits, KRN, then FFFFFF. `sgc6` has 6 characters.
Block controlBlock(std::string_view sgc6, unsigned kt, unsigned ti, unsigned krn);
// 00727 and the 11 meter-number characters.
Block panBlock(std::string_view meterNo11);

// The three derivations, on the derivation input X.
Block KeyGenDkga01(const Block& x, const Block& vk1);                       // E(X, K1) ^ K1
Block KeyGenDkga02(const Block& x, const Block& vk1);                       // E(K1, X) ^ X ^ K1
Block KeyGenTripleDes(const Block& x, const Block& vk1, const Block& vk2);  // E(K1, D(K2, E(K1, X))) ^ X

// The HMAC-based derivation of the standard; not built, refused rather than replaced.
constexpr int32_t kDkgaHmac = 4;

struct KeyRequest {
  std::string_view sgc;
  std::string_view vk1;
  std::string_view vk2;
  std::string_view meterNo;
  int32_t dkga = 2;
  int32_t kt = 2;
  int32_t ti = 1;
  int32_t krn = 1;
};

struct DerivedKey {
  Block x;    // the derivation input
  Block key;  // the decoder key
};

// Validates, pads and clamps the request's fields and runs the derivation that DKGA selects
// (1, 2, or triple DES for any other value but 4). Raises StsArgumentError for non-decimal SGC
// or meter number, an empty or non-hexadecimal vending key that the derivation uses, and
// DKGA 4.
DerivedKey MakeMeterKey(const KeyRequest& request);

}  // namespace kavlink::sts
