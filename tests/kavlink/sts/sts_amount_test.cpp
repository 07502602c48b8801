// The transfer amount code at every block edge, and the amounts it refuses.
#include "sts/sts_amount.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sts/sts_text.h"

namespace kavlink::sts {
namespace {

TEST(StsAmount, CodesRoundUpAtEveryBoundary) {
  struct Case {
    uint32_t v;
    uint16_t code;
    uint32_t standsFor;
  } cases[] = {
      {0, 0x0000, 0},
      {256, 0x0100, 256},
      {16383, 0x3FFF, 16383},
      {16384, 0x4000, 16384},
      {16390, 0x4001, 16394},
      {16738, 0x4024, 16744},
      {20000, 0x416A, 20004},
      {20005, 0x416B, 20014},
      {163830, 0x7999, 163834},
      {180214, 0x7FFF, 180214},
      {180215, 0x8000, 180224},
      {180223, 0x8000, 180224},
      {180224, 0x8000, 180224},
      {180225, 0x8001, 180324},
      {188240, 0x8051, 188324},
      {802240, 0x984D, 802324},
      {1204140, 0xA800, 1204224},
      {1802240, 0xBF5D, 1802324},
      {1818524, 0xBFFF, 1818524},
      {1818525, 0xC000, 1818624},
      {1818623, 0xC000, 1818624},
      {1818624, 0xC000, 1818624},
      {1822640, 0xC005, 1823624},
      {18200625, 0xFFFF, 18201624},
      {18201624, 0xFFFF, 18201624},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeTransferAmount(c.v), c.code) << c.v;
    EXPECT_EQ(DecodeTransferAmount(c.code), c.standsFor) << c.v;
  }
}

TEST(StsAmount, EveryCodeStandsForAtLeastItsValue) {
  for (uint32_t v = 0; v <= kMaxTransferAmount; v += 7) {
    uint32_t got = DecodeTransferAmount(EncodeTransferAmount(v));
    ASSERT_GE(got, v);
    // ...and no smaller code would do.
    uint16_t code = EncodeTransferAmount(v);
    if (code != 0 && (code & 0x3FFF) != 0) {
      ASSERT_LT(DecodeTransferAmount(code - 1), v) << v;
    }
  }
}

TEST(StsAmount, UncodableValuesAreRefused) {
  for (uint32_t v : {18201625u, 18202624u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
    EXPECT_THROW(EncodeTransferAmount(v), StsArgumentError) << v;
  EXPECT_THROW(encodeSignedAmount(-1), StsArgumentError);
  EXPECT_EQ(encodeSignedAmount(1000), 0x03E8);
}

TEST(StsAmount, CreditAmountsInTenths) {
  struct Case {
    float amount;
    int32_t tenths;
  } cases[] = {{0.0f, 0},     {-0.0f, 0},       {0.1f, 1},    {12.3f, 123},
               {12.31f, 124}, {1638.4f, 16384}, {25.6f, 256}, {1820162.4f, 18201624}};
  for (const Case& c : cases) EXPECT_EQ(creditAmountValue(c.amount), c.tenths) << c.amount;

  const float refused[] = {-0.1f,
                           -1e9f,
                           1820162.75f,
                           1e30f,
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::max()};
  for (float a : refused) EXPECT_THROW(creditAmountValue(a), StsArgumentError) << a;
}

}  // namespace
}  // namespace kavlink::sts
