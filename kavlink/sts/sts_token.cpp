#include "sts/sts_token.h"

#include "sts/sts_sta.h"

namespace kavlink::sts {

namespace {
using U128 = unsigned __int128;
constexpr U128 kTokenLimit = U128{1} << 66;
constexpr uint64_t kBit28 = uint64_t{1} << 28;
constexpr uint64_t kBit27 = uint64_t{1} << 27;

uint16_t crcOfClassAndBlock(unsigned tokenClass, const Block& block) {
  uint8_t bytes[7] = {static_cast<uint8_t>(tokenClass), block[0], block[1], block[2], block[3], block[4], block[5]};
  return StsCrc16(bytes, sizeof bytes);
}

unsigned classBitsOf(uint64_t v) { return (v & kBit28 ? 2u : 0u) | (v & kBit27 ? 1u : 0u); }

uint64_t withClassBits(uint64_t v, unsigned bits) {
  v &= ~(kBit28 | kBit27);
  if (bits & 2) v |= kBit28;
  if (bits & 1) v |= kBit27;
  return v;
}
}  // namespace

uint16_t StsCrc16(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

void sealTokenBlock(unsigned tokenClass, Block& block) {
  uint16_t crc = crcOfClassAndBlock(tokenClass, block);
  block[6] = static_cast<uint8_t>(crc);
  block[7] = static_cast<uint8_t>(crc >> 8);
}

bool tokenBlockSealed(unsigned tokenClass, const Block& block) {
  uint16_t crc = crcOfClassAndBlock(tokenClass, block);
  return block[6] == static_cast<uint8_t>(crc) && block[7] == static_cast<uint8_t>(crc >> 8);
}

Block BuildTokenBlock(unsigned tokenClass, unsigned subclass, unsigned rnd, uint32_t tid, uint16_t valueCode) {
  Block b{};
  b[0] = static_cast<uint8_t>((subclass & 0xF) << 4 | (rnd & 0xF));
  b[1] = static_cast<uint8_t>(tid >> 16);
  b[2] = static_cast<uint8_t>(tid >> 8);
  b[3] = static_cast<uint8_t>(tid);
  b[4] = static_cast<uint8_t>(valueCode >> 8);
  b[5] = static_cast<uint8_t>(valueCode);
  sealTokenBlock(tokenClass, b);
  return b;
}

unsigned TransposeClassBits(Block& block, unsigned tokenClass) {
  uint64_t v = blockToU64(block);
  unsigned displaced = classBitsOf(v);
  block = u64ToBlock(withClassBits(v, tokenClass));
  return displaced;
}

std::string HexToDecimalText(std::string_view hex17) {
  if (hex17.size() != 17 || !isHexText(hex17)) throw StsArgumentError("token number is not 17 hexadecimal digits");
  U128 n = 0;
  for (char c : hex17) {
    unsigned d = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    n = n << 4 | d;
  }
  if (n >= kTokenLimit) throw StsArgumentError("token number beyond 66 bits");
  std::string text(20, '0');
  for (int i = 19; i >= 0 && n != 0; --i) {
    text[i] = static_cast<char>('0' + static_cast<unsigned>(n % 10));
    n /= 10;
  }
  return text;
}

unsigned DecodeTokenDigits(std::string_view token, Block& block) {
  if (token.size() < 20) throw StsArgumentError("token text shorter than 20 digits");
  std::string_view digits = token.substr(0, 20);
  if (!isDecimalText(digits)) throw StsArgumentError("token text is not decimal");
  U128 n = 0;
  for (char c : digits) n = n * 10 + static_cast<unsigned>(c - '0');
  if (n >= kTokenLimit) throw StsArgumentError("token number beyond 66 bits");
  uint64_t v = static_cast<uint64_t>(n);
  unsigned tokenClass = classBitsOf(v);
  block = u64ToBlock(withClassBits(v, static_cast<unsigned>(n >> 64) & 3));
  return tokenClass;
}

TokenText encryptToken(const Block& plain, unsigned tokenClass, const Block& decoderKey) {
  Block block = u64ToBlock(staEncrypt64(blockToU64(plain), blockToU64(StaPrepareKey(decoderKey))));
  unsigned displaced = TransposeClassBits(block, tokenClass);
  TokenText t;
  t.encrypted = blockHex17(displaced, block);
  t.digits = HexToDecimalText(t.encrypted);
  return t;
}

std::optional<std::string> decryptToken(std::string_view token, const Block& decoderKey) {
  Block block;
  unsigned tokenClass = DecodeTokenDigits(token, block);
  StaDecrypt(block, decoderKey);
  if (!tokenBlockSealed(tokenClass, block)) return std::nullopt;
  return blockHex17(tokenClass, block);
}

KeyChangeBlocks keyChangeBlocks(const Block& newKey, unsigned kt, unsigned ti, unsigned krn, bool ro, bool res,
                                uint8_t ken) {
  KeyChangeBlocks out{};
  out.first = {static_cast<uint8_t>(kKeyChangeFirstSubclass << 4 | ken >> 4),
               static_cast<uint8_t>((krn & 0xF) << 4 | (ro ? 8 : 0) | (res ? 4 : 0) | (kt & 3)),
               newKey[0],
               newKey[1],
               newKey[2],
               newKey[3],
               0,
               0};
  sealTokenBlock(kManagementClass, out.first);
  out.second = {static_cast<uint8_t>(kKeyChangeSecondSubclass << 4 | (ken & 0xF)),
                static_cast<uint8_t>(ti),
                newKey[4],
                newKey[5],
                newKey[6],
                newKey[7],
                0,
                0};
  sealTokenBlock(kManagementClass, out.second);
  return out;
}

}  // namespace kavlink::sts
