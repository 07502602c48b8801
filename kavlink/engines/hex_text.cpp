#include "engines/hex_text.h"

namespace kavlink {

std::string bufToHexText(const uint8_t* bytes, int32_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  if (count <= 0 || !bytes) return out;
  out.reserve(static_cast<size_t>(count) * 3);
  for (int32_t i = 0; i < count; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 0x0F]);
    out.push_back(' ');
  }
  out.pop_back();
  return out;
}

}  // namespace kavlink
