#include "module/dialog_text.h"

#include <cstdint>

#include "text/ansi.h"

namespace kavlink::dialog {

Decimal readDecimal(std::string_view text) {
  size_t i = 0;
  // The blanks of isspace in the C locale.
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  Decimal d;
  uint32_t n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    n = n * 10u + static_cast<uint32_t>(text[i] - '0');
    d.digits = true;
  }
  d.value = static_cast<int>(negative ? 0u - n : n);
  return d;
}

std::string narrowToUtf8(std::string_view narrow) { return zr::text::wideToUtf8(zr::text::ansiToWide(narrow)); }

std::string utf8ToNarrow(std::string_view utf8) { return zr::text::wideToAnsi(zr::text::utf8ToWide(utf8)); }

}  // namespace kavlink::dialog
