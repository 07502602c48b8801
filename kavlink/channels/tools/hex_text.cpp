#include "channels/tools/hex_text.h"

#include "text/ansi.h"

namespace kavlink {

BSTR BufToHexBstr(const uint8_t* bytes, int32_t count) {
  if (count <= 0 || !bytes) return nullptr;
  return zr::com::narrowBstr(bufToHexText(bytes, count));
}

}  // namespace kavlink
