#include "sts/sts_keys.h"

#include "sts/sts_des.h"

namespace kavlink::sts {

namespace {
unsigned digitValue(char c) {
  auto code = static_cast<unsigned char>(c);
  return code < ':' ? code - 48u : code - 55u;
}

uint8_t pair(unsigned hi, unsigned lo) { return static_cast<uint8_t>(16 * hi + lo); }

Block xorBlocks(const Block& a, const Block& b) { return u64ToBlock(blockToU64(a) ^ blockToU64(b)); }

Block vendingKey(std::string_view text) {
  Block k;
  HexToBlock(keyText16(text), k);
  return k;
}
}  // namespace

unsigned clampKeyType(int32_t kt) {
  unsigned v = static_cast<uint32_t>(kt) & 0xFF;
  return v > 3 ? 2 : v;
}

unsigned clampTariffIndex(int32_t ti) {
  unsigned v = static_cast<uint32_t>(ti) & 0xFF;
  return v > 99 ? 1 : v;
}

unsigned clampKeyRevision(int32_t krn) {
  unsigned v = static_cast<uint32_t>(krn) & 0xFF;
  return v == 0 || v > 9 ? 1 : v;
}

Block controlBlock(std::string_view sgc6, unsigned kt, unsigned ti, unsigned krn) {
  auto s = [&](size_t i) { return digitValue(sgc6[i]); };
  return {
      pair(kt, s(0)), pair(s(1), s(2)), pair(s(3), s(4)), pair(s(5), ti / 10), pair(ti % 10, krn), 0xFF, 0xFF, 0xFF};
}

Block panBlock(std::string_view meterNo11) {
  auto m = [&](size_t i) { return digitValue(meterNo11[i]); };
  return {0x00,
          0x72,
          pair(7, m(0)),
          pair(m(1), m(2)),
          pair(m(3), m(4)),
          pair(m(5), m(6)),
          pair(m(7), m(8)),
          pair(m(9), m(10))};
}

Block KeyGenDkga01(const Block& x, const Block& vk1) { return xorBlocks(desEncrypt(x, vk1), vk1); }

Block KeyGenDkga02(const Block& x, const Block& vk1) { return xorBlocks(xorBlocks(desEncrypt(vk1, x), x), vk1); }

Block KeyGenTripleDes(const Block& x, const Block& vk1, const Block& vk2) {
  Block t = desEncrypt(vk1, desDecrypt(vk2, desEncrypt(vk1, x)));
  return xorBlocks(t, x);
}

DerivedKey MakeMeterKey(const KeyRequest& r) {
  if (r.dkga == kDkgaHmac) throw StsArgumentError("decoder key generation algorithm 4 is not supported");
  std::string sgc = decimalText(r.sgc, 6);
  std::string meterNo = decimalText(r.meterNo, 11);
  Block k1 = vendingKey(r.vk1);
  unsigned kt = clampKeyType(r.kt);
  if (kt == 3) meterNo.assign(11, '0');

  DerivedKey out;
  out.x = xorBlocks(controlBlock(sgc, kt, clampTariffIndex(r.ti), clampKeyRevision(r.krn)), panBlock(meterNo));
  switch (r.dkga) {
    case 1:
      out.key = KeyGenDkga01(out.x, k1);
      break;
    case 2:
      out.key = KeyGenDkga02(out.x, k1);
      break;
    default:
      out.key = KeyGenTripleDes(out.x, k1, vendingKey(r.vk2));
      break;
  }
  return out;
}

}  // namespace kavlink::sts
