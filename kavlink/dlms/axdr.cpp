#include "dlms/axdr.h"

namespace kavlink {
namespace {

// Nesting deeper than this is refused rather than followed down the stack.
constexpr int kMaxDepth = 64;

int32_t elementLength(const uint8_t* p, int32_t avail, int depth) {
  if (avail < 1) return 0;
  int32_t n = 0;
  switch (p[0]) {
    case 0:
      n = 1;
      break;
    case 1:
    case 2: {
      if (avail < 2 || depth >= kMaxDepth) return 0;
      n = 2;
      for (int k = 0; k < p[1]; ++k) {
        int32_t e = elementLength(p + n, avail - n, depth + 1);
        if (e == 0) return 0;
        n += e;
      }
      break;
    }
    case 3:
    case 15:
    case 17:
    case 22:
      n = 2;
      break;
    case 4:
      if (avail < 2) return 0;
      n = p[1] / 8 + 2 + (p[1] % 8 != 0 ? 1 : 0);
      break;
    case 5:
    case 6:
    case 23:
    case 27:
      n = 5;
      break;
    case 9:
    case 10:
    case 12:
      if (avail < 2) return 0;
      n = p[1] + 2;
      break;
    case 16:
    case 18:
      n = 3;
      break;
    case 20:
    case 21:
    case 24:
      n = 9;
      break;
    case 25:
      n = 13;
      break;
    case 26:
      n = 6;
      break;
    default:
      return 0;
  }
  return n <= avail ? n : 0;
}

}  // namespace

int32_t AxdrDataLength(const uint8_t* p, int32_t avail) { return elementLength(p, avail, 0); }

}  // namespace kavlink
