#include "dlms/hdlc.h"

#include <array>

namespace kavlink {
namespace {

constexpr std::array<uint16_t, 256> makeTable() {
  std::array<uint16_t, 256> t{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned v = b;
    for (int k = 0; k < 8; ++k) v = (v & 1) ? (v >> 1) ^ 0x8408 : v >> 1;
    t[b] = static_cast<uint16_t>(v);
  }
  return t;
}

constexpr std::array<uint16_t, 256> kFcsTable = makeTable();

// A 14-bit address in its two-byte form (the end bit is the caller's).
void put14(uint16_t v, uint8_t* out) {
  out[0] = static_cast<uint8_t>(((v >> 7) & 0x7F) * 2);
  out[1] = static_cast<uint8_t>((v & 0x7F) * 2);
}

int value14(const uint8_t* a) { return (((a[0] >> 1) * 256) + a[1]) >> 1; }

}  // namespace

uint16_t Fcs16Update(uint16_t fcs, const uint8_t* bytes, uint16_t count) {
  for (uint16_t i = 0; i < count; ++i) fcs = static_cast<uint16_t>((fcs >> 8) ^ kFcsTable[(fcs ^ bytes[i]) & 0xFF]);
  return fcs;
}

uint16_t Crc16X25(const uint8_t* bytes, uint16_t count) {
  return static_cast<uint16_t>(~Fcs16Update(0xFFFF, bytes, count));
}

HdlcFrameKind ClassifyControlByte(uint8_t c) {
  if ((c & 0x01) == 0) return hfkI;
  if ((c & 0x0F) == 0x01) return hfkRR;
  if ((c & 0x07) == 0x05) return hfkRNR;
  switch (c & static_cast<uint8_t>(~0x10)) {
    case 0x83:
      return hfkSNRM;
    case 0x43:
      return hfkDISC;
    case 0x63:
      return hfkUA;
    case 0x0F:
      return hfkDM;
    case 0x87:
      return hfkFRMR;
    case 0x03:
      return hfkUI;
    default:
      return hfkUnknown;
  }
}

int EncodeServerAddress(uint16_t physical, uint16_t logical, uint8_t* out) {
  const uint16_t pa = physical & 0x3FFF;
  const uint16_t la = logical & 0x3FFF;
  if (la == 0 && pa < 128) {
    out[0] = static_cast<uint8_t>(pa * 2 + 1);
    return 1;
  }
  if (la == 0) {
    put14(pa, out);
    out[1] |= 1;
    return 2;
  }
  if (la < 128 && pa < 128) {
    out[0] = static_cast<uint8_t>(la * 2);
    out[1] = static_cast<uint8_t>(pa * 2 + 1);
    return 2;
  }
  put14(la, out);
  put14(pa, out + 2);
  out[3] |= 1;
  return 4;
}

int MatchServerAddress(const uint8_t* a, int avail, uint16_t physical, uint16_t logical) {
  if (avail < 1) return 0;
  if (a[0] & 1) return (a[0] >> 1) == physical ? 1 : 0;
  if (avail < 2) return 0;
  if (a[1] & 1) {
    if (logical == 0) return value14(a) == physical ? 2 : 0;
    return (a[0] >> 1) == logical && (a[1] >> 1) == physical ? 2 : 0;
  }
  if (avail < 4) return 0;
  return value14(a) == logical && value14(a + 2) == physical ? 4 : 0;
}

int BuildHdlcFrame(uint8_t* out, const uint8_t* address, int addressBytes, uint8_t control, int n, bool segmented) {
  const int length = n > 0 ? addressBytes + 7 + n : addressBytes + 5;
  out[0] = kHdlcFlag;
  out[1] = static_cast<uint8_t>(0xA0 | (segmented ? kHdlcSegmentBit : 0) | ((length >> 8) & 0x07));
  out[2] = static_cast<uint8_t>(length & 0xFF);
  for (int i = 0; i < addressBytes; ++i) out[3 + i] = address[i];
  int p = 3 + addressBytes;
  out[p++] = control;
  uint16_t hcs = Crc16X25(out + 1, static_cast<uint16_t>(p - 1));
  out[p++] = static_cast<uint8_t>(hcs & 0xFF);
  out[p++] = static_cast<uint8_t>(hcs >> 8);
  if (n > 0) {
    p += n;
    uint16_t fcs = Crc16X25(out + 1, static_cast<uint16_t>(p - 1));
    out[p++] = static_cast<uint8_t>(fcs & 0xFF);
    out[p++] = static_cast<uint8_t>(fcs >> 8);
  }
  out[p++] = kHdlcFlag;
  return p;
}

HdlcGather CheckHdlcGathered(const uint8_t* r, int count) {
  if (count < 1) return HdlcGather::kIncomplete;
  if (r[0] != kHdlcFlag) return HdlcGather::kBadStart;
  if (count < 3) return HdlcGather::kIncomplete;
  if (((r[1] * 256 + r[2]) & 0x7FF) + 2 != count || r[count - 1] != kHdlcFlag) return HdlcGather::kIncomplete;
  return HdlcGather::kComplete;
}

bool HdlcCheckSumOk(const uint8_t* r, int count) {
  if (count < 5) return false;
  uint16_t crc = Crc16X25(r + 1, static_cast<uint16_t>(count - 4));
  return r[count - 3] == (crc & 0xFF) && r[count - 2] == (crc >> 8);
}

HdlcRead ReadHdlcFrame(const uint8_t* r, int count, int addressAt, uint16_t physical, uint16_t logical,
                       HdlcFrameView& out) {
  // The two address fields come in the other order in requests and replies; the
  // one-byte client address sits on the other side of the server's.
  const int serverBytes = MatchServerAddress(r + addressAt, count - 1 - addressAt, physical, logical);
  if (serverBytes == 0) return HdlcRead::kAddressMismatch;
  const int h = serverBytes + 1;
  // Flag, format, addresses, control, HCS, flag: a shorter frame has no header at all,
  // and one with information needs its FCS as well.
  if (count < h + 7) return HdlcRead::kTooShort;
  out.header = h;
  out.control = r[h + 3];
  out.kind = ClassifyControlByte(out.control);
  out.infoStart = h + 6;
  if (count == h + 7) {
    out.infoLength = 0;
  } else if (count >= h + 10) {
    out.infoLength = count - h - 9;
  } else {
    return HdlcRead::kTooShort;
  }
  out.segmented = (r[1] & kHdlcSegmentBit) != 0;
  return HdlcRead::kOk;
}

}  // namespace kavlink
