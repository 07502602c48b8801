// Bytes as hex text: "01 AB" for {0x01, 0xAB}, as a narrow text or a BSTR.
#pragma once

#include <cstdint>

#include "com/com.h"
#include "engines/hex_text.h"

namespace kavlink {

// The text of bufToHexText as a new BSTR; a count of 0 or less gives a null string.
BSTR BufToHexBstr(const uint8_t* bytes, int32_t count);

}  // namespace kavlink
