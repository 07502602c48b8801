// HDLC frames built from their information field, for feeding either side of the DLMS link
// the bytes its far end would send.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "dlms/hdlc.h"

namespace dlmstest {

using Bytes = std::vector<uint8_t>;

inline Bytes hdlcFrame(const Bytes& address, uint8_t control, const Bytes& info = {}, bool segmented = false) {
  const int addressBytes = static_cast<int>(address.size());
  Bytes out(info.size() + address.size() + 16);
  if (!info.empty()) std::memcpy(out.data() + kavlink::HdlcInfoOffset(addressBytes), info.data(), info.size());
  out.resize(static_cast<size_t>(kavlink::BuildHdlcFrame(out.data(), address.data(), addressBytes, control,
                                                         static_cast<int>(info.size()), segmented)));
  return out;
}

// From server 1 to client 16.
inline Bytes reply(uint8_t control, const Bytes& info = {}, bool segmented = false) {
  return hdlcFrame({0x21, 0x03}, control, info, segmented);
}

// From client 16 to server 1.
inline Bytes command(uint8_t control, const Bytes& info = {}) { return hdlcFrame({0x03, 0x21}, control, info); }

// The APDU behind the LLC header of an answer.
inline Bytes withLlc(Bytes apdu) {
  apdu.insert(apdu.begin(), {0xE6, 0xE7, 0x00});
  return apdu;
}

// The APDU behind the LLC header of a request.
inline Bytes withRequestLlc(Bytes apdu) {
  apdu.insert(apdu.begin(), {0xE6, 0xE6, 0x00});
  return apdu;
}

}  // namespace dlmstest
