#include <cctype>
#include <cstdio>
#include <string>

#include "com/com.h"
#include "text/ansi.h"

namespace zr::com {

bool parseGuid(std::string_view text, GUID& out) {
  if (text.size() == 38) {
    if (text.front() != '{' || text.back() != '}') return false;
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return false;
  for (size_t i = 0; i < 36; ++i) {
    char c = text[i];
    bool dash = (i == 8 || i == 13 || i == 18 || i == 23);
    if (dash != (c == '-')) return false;
    if (!dash && !std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  char buf[37];
  text.copy(buf, 36);
  buf[36] = 0;
  out = guid(buf);
  return true;
}

}  // namespace zr::com

std::string GuidToString(REFGUID g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

int StringFromGUID2(REFGUID g, LPOLESTR buffer, int cchMax) {
  std::string s = GuidToString(g);
  if (!buffer || cchMax < static_cast<int>(s.size()) + 1) return 0;
  for (size_t i = 0; i < s.size(); ++i) buffer[i] = static_cast<OLECHAR>(s[i]);
  buffer[s.size()] = 0;
  return static_cast<int>(s.size()) + 1;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* out) {
  if (!text || !out) return E_INVALIDARG;
  std::u16string_view w(text);
  if (!zr::com::parseGuid(zr::text::wideToAnsi(w), *out)) return CO_E_CLASSSTRING;
  return S_OK;
}
