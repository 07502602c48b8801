// Text helpers of the dialog models: the decimal conversion their edit fields use and the
// crossing between the component's narrow text and the dialog's UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kavlink::dialog {

// The C library's reading of a decimal integer: leading blanks skipped, an optional sign,
// digits up to the first other character. Digits beyond 32 bits wrap. `digits` tells
// whether there were any (without, the value is 0).
struct Decimal {
  int value = 0;
  bool digits = false;
};
Decimal readDecimal(std::string_view text);

// The component's narrow text (its code page) for a control, and a control's text back.
std::string narrowToUtf8(std::string_view narrow);
std::string utf8ToNarrow(std::string_view utf8);

}  // namespace kavlink::dialog
