// Token coding: the plain data block with its CRC, the class bits carried outside the
// encrypted block, and the 20-digit decimal token text in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sts/sts_text.h"

namespace kavlink::sts {

// Token classes, carried in the two bits outside the encrypted block.
inline constexpr unsigned kCreditClass = 0;
inline constexpr unsigned kManagementClass = 2;
inline constexpr unsigned kReservedClass = 3;

// Subclasses of the management class.
inline constexpr unsigned kMaxPowerLimitSubclass = 0;
inline constexpr unsigned kClearCreditSubclass = 1;
inline constexpr unsigned kSetTariffRateSubclass = 2;
inline constexpr unsigned kKeyChangeFirstSubclass = 3;   // the new key's first half
inline constexpr unsigned kKeyChangeSecondSubclass = 4;  // its second half
inline constexpr unsigned kClearTamperSubclass = 5;
inline constexpr unsigned kMaxPhasePowerUnbalanceSubclass = 6;

// CRC-16 with the reflected polynomial 0xA001, initial value 0xFFFF, no final exclusive-or.
uint16_t StsCrc16(const uint8_t* bytes, size_t count);

// The plain block of a token that carries a value code: subclass x 16 + RND, TID bits 23..0,
// the code, and the CRC (low byte first) over the class byte and those six bytes.
Block BuildTokenBlock(unsigned tokenClass, unsigned subclass, unsigned rnd, uint32_t tid, uint16_t valueCode);

// Fills bytes 6 and 7 of a block with the CRC over the class byte and bytes 0..5.
void sealTokenBlock(unsigned tokenClass, Block& block);
bool tokenBlockSealed(unsigned tokenClass, const Block& block);

// Puts the class into encrypted-block bits 28 and 27 and returns the two bits it displaced.
unsigned TransposeClassBits(Block& block, unsigned tokenClass);

// 17 hexadecimal digits (a 66-bit token number) to 20 decimal digits with leading zeros.
std::string HexToDecimalText(std::string_view hex17);

// The first 20 characters of a token text back to the encrypted block (class bits restored)
// and the class. Text shorter than 20 characters, with a non-digit among the first 20, or
// standing for 2^66 or more raises StsArgumentError.
unsigned DecodeTokenDigits(std::string_view token, Block& block);

// An encrypted token in its two text forms.
struct TokenText {
  std::string encrypted;  // displaced bits and the encrypted block: 17 hexadecimal digits
  std::string digits;     // the 66-bit token number: 20 decimal digits
};

// Encrypts a plain block under a decoder key and adds the class bits.
TokenText encryptToken(const Block& plain, unsigned tokenClass, const Block& decoderKey);

// Decrypts a token text under a decoder key: the class digit and the 8 plain bytes, or nothing
// when the CRC does not match.
std::optional<std::string> decryptToken(std::string_view token, const Block& decoderKey);

// The two plain blocks (the key-change subclasses of the management class) that carry a new
// decoder key. `ken` is the
// key expiry number whose nibbles fill the low digit of each block's first byte.
struct KeyChangeBlocks {
  Block first;
  Block second;
};
KeyChangeBlocks keyChangeBlocks(const Block& newKey, unsigned kt, unsigned ti, unsigned krn, bool ro, bool res,
                                uint8_t ken = 0xFF);

}  // namespace kavlink::sts
