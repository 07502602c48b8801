// Reply frames from server 1 to client 16, for tests that feed the client's link bytes
// a meter would send.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "dlms/hdlc.h"

namespace dlmstest {

using Bytes = std::vector<uint8_t>;

inline Bytes reply(uint8_t control, const Bytes& info = {}, bool segmented = false) {
  const uint8_t address[] = {0x21, 0x03};
  Bytes out(info.size() + 16);
  if (!info.empty()) std::memcpy(out.data() + kavlink::HdlcInfoOffset(2), info.data(), info.size());
  out.resize(static_cast<size_t>(
      kavlink::BuildHdlcFrame(out.data(), address, 2, control, static_cast<int>(info.size()), segmented)));
  return out;
}

// The APDU behind the LLC header of an answer.
inline Bytes withLlc(Bytes apdu) {
  apdu.insert(apdu.begin(), {0xE6, 0xE7, 0x00});
  return apdu;
}

}  // namespace dlmstest
