// The cipher, the token coding and the text helpers, against the published vectors.
#include <gtest/gtest.h>

#include <cstring>

#include "kavlink/sts/sts_vectors.h"
#include "sts/sts_des.h"
#include "sts/sts_digits.h"
#include "sts/sts_sta.h"
#include "sts/sts_token.h"

namespace kavlink::sts {
namespace {

using test::hexBlock;

TEST(StsCipher, DesKnownAnswers) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher;
  } cases[] = {
      {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
      {"0123456789ABCDEF", "68652074696D6520", "6A271787AB8883F9"},
      {"0123456789ABCDEF", "666F7220616C6C20", "893D51EC4B563B53"},
      {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plain);
    EXPECT_EQ(blockHex16(desEncrypt(hexBlock(c.key), hexBlock(c.plain))), c.cipher);
    EXPECT_EQ(blockHex16(desDecrypt(hexBlock(c.key), hexBlock(c.cipher))), c.plain);
  }
  // Parity bits take no part: flipping the low bit of every key byte changes nothing.
  EXPECT_EQ(blockHex16(desEncrypt(hexBlock("0022446688AACCEE"), hexBlock("4E6F772069732074"))),
            blockHex16(desEncrypt(hexBlock("0123456789ABCDEF"), hexBlock("4E6F772069732074"))));
}

TEST(StsCipher, TripleDesEncryptDecryptEncrypt) {
  const Block k1 = hexBlock("0123456789ABCDEF"), k2 = hexBlock("23456789ABCDEF01"), k3 = hexBlock("456789ABCDEF0123");
  const char* cases[][2] = {{"5468652071756663", "A826FD8CE53B855F"},
                            {"6B2062726F776E20", "CCE21C8112256FE6"},
                            {"666F78206A756D70", "68D5C05DD9B6B900"}};
  for (auto& c : cases) {
    EXPECT_EQ(blockHex16(desEncrypt(k3, desDecrypt(k2, desEncrypt(k1, hexBlock(c[0]))))), c[1]);
  }
}

TEST(StsCipher, KeyPreparationAndRotation) {
  EXPECT_EQ(blockHex16(StaPrepareKey(hexBlock("0ABC12DEF3456789"))), "876F543ED210CBA9");
  struct Case {
    int direction;
    unsigned count;
    const char* out;
  } cases[] = {{0, 19, "197530EDEA87DA42"}, {1, 31, "690865D4C3B7AA1F"}, {1, 0, "876F543ED210CBA9"},
               {1, 64, "876F543ED210CBA9"}, {1, 4, "76F543ED210CBA98"},  {0, 4, "9876F543ED210CBA"}};
  for (const Case& c : cases) {
    Block k = hexBlock("876F543ED210CBA9");
    RotateKey64(k, c.direction, c.count);
    EXPECT_EQ(blockHex16(k), c.out) << c.direction << " " << c.count;
  }
}

TEST(StsToken, Crc) {
  const char* text = "123456789";
  EXPECT_EQ(StsCrc16(reinterpret_cast<const uint8_t*>(text), 9), 0x4B37);
  EXPECT_EQ(blockHex16(BuildTokenBlock(0, 0, 11, 0x19EB23, 0x0100)), "0B19EB230100C207");
}

// Every published token: block, encryption with class bits, decimal text, and back.
TEST(StsToken, PublishedTokensBothWays) {
  for (const test::TokenVector& v : test::kTokenVectors) {
    SCOPED_TRACE(v.token);
    Block plain = BuildTokenBlock(v.tokenClass, v.subclass, 5, v.tid, v.code);
    EXPECT_EQ(blockHex16(plain), v.plain);
    TokenText t = encryptToken(plain, v.tokenClass, hexBlock(v.key));
    EXPECT_EQ(t.encrypted, v.number66);
    EXPECT_EQ(t.digits, v.token);
    EXPECT_EQ(decryptToken(v.token, hexBlock(v.key)).value_or("null"), std::to_string(v.tokenClass) + v.plain);
    // Under another key the CRC fails (these vectors do not collide).
    const char* other = std::strcmp(v.key, test::kKeyA) == 0 ? test::kKeyC : test::kKeyA;
    EXPECT_FALSE(decryptToken(v.token, hexBlock(other)).has_value());
  }
}

TEST(StsToken, PublishedKeyChangeTokens) {
  for (const test::KeyChangeVector& v : test::kKeyChangeVectors) {
    SCOPED_TRACE(v.token1);
    KeyChangeBlocks b = keyChangeBlocks(hexBlock(v.next), 2, v.ti, v.krn, false, false, v.ken);
    EXPECT_EQ(blockHex16(b.first), v.plain1);
    EXPECT_EQ(blockHex16(b.second), v.plain2);
    EXPECT_EQ(encryptToken(b.first, 2, hexBlock(v.current)).digits, v.token1);
    EXPECT_EQ(encryptToken(b.second, 2, hexBlock(v.current)).digits, v.token2);
  }
}

TEST(StsToken, DecimalTextRoundTrip) {
  struct Case {
    const char* hex17;
    const char* digits;
    unsigned tokenClass;
    const char* block;
  } cases[] = {
      {"3FFFFFFFFFFFFFFFF", "73786976294838206463", 3, "FFFFFFFFFFFFFFFF"},
      {"00000000000000000", "00000000000000000", 0, "0000000000000000"},
      {"1492083C0A67CE455", "23716100501183194197", 0, "492083C0AE7CE455"},
      {"20000000018000000", "36893488147821756416", 3, "0000000010000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex17);
    std::string text = HexToDecimalText(c.hex17);
    EXPECT_EQ(text, std::string(20 - std::strlen(c.digits), '0') + c.digits);
    Block b;
    EXPECT_EQ(DecodeTokenDigits(text, b), c.tokenClass);
    EXPECT_EQ(blockHex16(b), c.block);
  }
}

TEST(StsDigits, CheckDigitsAndFormatting) {
  EXPECT_EQ(luhnCheckDigit("1234567890"), '3');
  EXPECT_EQ(luhnCheckDigit("43135625623"), '7');
  EXPECT_EQ(luhnCheckDigit("7861754265922"), '0');
  struct Case {
    const char* in;
    const char* mid11;
    const char* pan;
  } cases[] = {{"0000000000", "00000000000", "600727000000000009"},
               {"1111111111", "11111111115", "600727111111111153"},
               {"123456789", "01234567897", "600727012345678977"}};
  for (const Case& c : cases) {
    EXPECT_EQ(meterNumberWithCheck(c.in), c.mid11);
    EXPECT_EQ(panWithCheck(c.mid11), c.pan);
  }
  EXPECT_EQ(panWithCheck("911111111115"), "600727111111111153");  // rightmost 11 of 12
  for (const char* bad : {"12345678a0", "-123", "1 2"}) {
    EXPECT_THROW(meterNumberWithCheck(bad), StsArgumentError) << bad;
    EXPECT_THROW(panWithCheck(bad), StsArgumentError) << bad;
  }
  EXPECT_EQ(formatTokenText("123"), "0000 0000 0000 0000 0123");
  EXPECT_EQ(formatTokenText("123456789012345678901"), "1234 5678 9012 3456 7890");
  EXPECT_EQ(formatTokenText(std::string_view("12\0"
                                             "34",
                                             5)),
            "0000 0000 0000 0000 0012");
}

}  // namespace
}  // namespace kavlink::sts
