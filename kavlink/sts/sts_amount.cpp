#include "sts/sts_amount.h"

#include <cmath>

#include "sts/sts_text.h"

namespace kavlink::sts {

namespace {
constexpr uint32_t kBase[4] = {0, 16384, 180224, 1818624};
constexpr uint32_t kStep[4] = {1, 10, 100, 1000};
constexpr uint32_t kMantissaMax = 16383;
}  // namespace

uint16_t EncodeTransferAmount(uint32_t v) {
  if (v > kMaxTransferAmount) throw StsArgumentError("transfer amount cannot be coded");
  unsigned e = 0;
  while (v > kMantissaMax * kStep[e] + kBase[e]) ++e;
  uint32_t m = v <= kBase[e] ? 0 : (v - kBase[e] + kStep[e] - 1) / kStep[e];
  return static_cast<uint16_t>(e << 14 | m);
}

uint32_t DecodeTransferAmount(uint16_t code) {
  unsigned e = code >> 14;
  return (code & kMantissaMax) * kStep[e] + kBase[e];
}

uint16_t encodeSignedAmount(int32_t v) {
  if (v < 0) throw StsArgumentError("negative transfer amount");
  return EncodeTransferAmount(static_cast<uint32_t>(v));
}

int32_t creditAmountValue(float amount) {
  if (!std::isfinite(amount) || amount < 0) throw StsArgumentError("credit amount out of range");
  float tenths = amount * 10.0f;
  double value = std::ceil(static_cast<double>(tenths));
  if (!(value <= kMaxTransferAmount)) throw StsArgumentError("credit amount cannot be coded");
  return static_cast<int32_t>(value);
}

}  // namespace kavlink::sts
