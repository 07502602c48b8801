// Bytes as hex text: "01 AB" for {0x01, 0xAB}. The engines' own, so that a codec that
// shows frames as text needs nothing of COM.
#pragma once

#include <cstdint>
#include <string>

namespace kavlink {

// Each byte as two upper-case hex digits and a blank, the last blank dropped: n bytes give
// 3n - 1 characters, for any n. A count of 0 or less gives an empty text.
std::string bufToHexText(const uint8_t* bytes, int32_t count);

}  // namespace kavlink
