// Decoder key derivation: published keys and the range and text rules of its fields.
#include "sts/sts_keys.h"

#include <gtest/gtest.h>

#include "kavlink/sts/sts_vectors.h"

namespace kavlink::sts {
namespace {

using test::hexBlock;

constexpr const char* kVk = "ABABABABABABABAB";
constexpr const char* kMeter0 = "00000000000";

std::string keyOf(const KeyRequest& r) { return blockHex16(MakeMeterKey(r).key); }

TEST(StsKeys, PublishedDecoderKeys) {
  struct Case {
    const char* vk;
    const char* sgc;
    int32_t ti;
    int32_t krn;
    const char* x;
    const char* key;
  } cases[] = {
      {kVk, "123456", 1, 1, "2151356011FFFFFF", test::kKeyA},
      {kVk, "123456", 2, 1, "2151356021FFFFFF", test::kKeyB},
      {kVk, "123456", 1, 2, "2151356012FFFFFF", test::kKeyE},
      {"9494949494949494", "888888", 1, 1, "28FAF88011FFFFFF", test::kKeyF},
  };
  for (const Case& c : cases) {
    DerivedKey d = MakeMeterKey({c.sgc, c.vk, "", kMeter0, 2, 2, c.ti, c.krn});
    EXPECT_EQ(blockHex16(d.x), c.x);
    EXPECT_EQ(blockHex16(d.key), c.key);
  }
  // Keys C and D come from a PAN outside the 600727 range, so only the derivation applies.
  EXPECT_EQ(blockHex16(KeyGenDkga02(hexBlock("2123556011FFFFF7"), hexBlock(kVk))), test::kKeyC);
  EXPECT_EQ(blockHex16(KeyGenDkga02(hexBlock("2123556021FFFFF7"), hexBlock(kVk))), test::kKeyD);
}

TEST(StsKeys, DerivationSelector) {
  const std::string dkga2 = keyOf({"123456", kVk, "", kMeter0, 2});
  const std::string dkga1 = keyOf({"123456", kVk, "", kMeter0, 1});
  // Triple DES with VK2 = VK1 collapses to one encryption: the DKGA 2 key without the VK term.
  const std::string collapsed = blockHex16(u64ToBlock(blockToU64(hexBlock(dkga2)) ^ blockToU64(hexBlock(kVk))));
  for (int32_t dkga : {0, 3, 5, -1}) EXPECT_EQ(keyOf({"123456", kVk, kVk, kMeter0, dkga}), collapsed) << dkga;
  EXPECT_NE(keyOf({"123456", kVk, "1111111111111111", kMeter0, 3}), collapsed);
  // DKGA 1 and 2 ignore VK2, whatever it holds.
  EXPECT_EQ(keyOf({"123456", kVk, "not a key", kMeter0, 2}), dkga2);
  EXPECT_EQ(keyOf({"123456", kVk, "0123", kMeter0, 1}), dkga1);
  EXPECT_NE(dkga1, dkga2);
  EXPECT_THROW(MakeMeterKey({"123456", kVk, kVk, kMeter0, kDkgaHmac}), StsArgumentError);
}

TEST(StsKeys, FieldRulesGiveTheSameKey) {
  struct Case {
    KeyRequest given;
    KeyRequest same;
  } cases[] = {
      {{"123456", kVk, "", kMeter0, 2, 7}, {"123456", kVk, "", kMeter0, 2, 2}},    // KT above 3
      {{"123456", kVk, "", kMeter0, 2, 258}, {"123456", kVk, "", kMeter0, 2, 2}},  // KT low byte
      {{"123456", kVk, "", kMeter0, 2, 2, 100}, {"123456", kVk, "", kMeter0, 2, 2, 1}},
      {{"123456", kVk, "", kMeter0, 2, 2, 1, 0}, {"123456", kVk, "", kMeter0, 2, 2, 1, 1}},
      {{"123456", kVk, "", kMeter0, 2, 2, 1, 10}, {"123456", kVk, "", kMeter0, 2, 2, 1, 1}},
      {{"12345", kVk, "", kMeter0, 2}, {"012345", kVk, "", kMeter0, 2}},
      {{"123456", kVk, "", "912345678901", 2}, {"123456", kVk, "", "12345678901", 2}},
      {{"123456", "abababababababab", "", kMeter0, 2}, {"123456", kVk, "", kMeter0, 2}},
      {{"123456", "BABABABABABAB", "", kMeter0, 2}, {"123456", "000BABABABABABAB", "", kMeter0, 2}},
      {{"123456", kVk, "", "12345678901", 2, 3}, {"123456", kVk, "", "98765432109", 2, 3}},  // KT 3: no meter
  };
  for (const Case& c : cases) EXPECT_EQ(keyOf(c.given), keyOf(c.same)) << c.given.sgc << " " << c.given.kt;
}

TEST(StsKeys, DerivationInputLayout) {
  DerivedKey d = MakeMeterKey({"654321", kVk, "", "12345678901", 2, 1, 42, 7});
  std::string x = blockHex16(d.x);
  EXPECT_EQ(x[0], '1');  // KT
  // Digits 11 to 16 are 15 minus meter-number digits 6 to 11 ("678901").
  EXPECT_EQ(x.substr(10), "9876FE");
}

TEST(StsKeys, MalformedFieldsAreRefused) {
  const KeyRequest refused[] = {
      {"12345A", kVk, "", kMeter0, 2},        // SGC not decimal
      {"123456", kVk, "", "0000000000x", 2},  // meter number not decimal
      {"123456", kVk, "", "-1", 2},
      {"123456", "", "", kMeter0, 2},  // empty vending key
      {"123456", "ABABABABABABABAG", "", kMeter0, 2},
      {"123456", kVk, "", kMeter0, 3},  // triple DES needs VK2
      {"123456", kVk, "XYZ", kMeter0, 0},
  };
  for (const KeyRequest& r : refused) EXPECT_THROW(MakeMeterKey(r), StsArgumentError) << r.sgc << " " << r.vk1;
}

}  // namespace
}  // namespace kavlink::sts
