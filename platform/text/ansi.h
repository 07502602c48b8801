// The narrow ("ANSI") code page of a thread and its conversions to and from UTF-16.
//
// The component keeps its text narrow and converts at its interfaces. The default code
// page is byte-transparent: each byte 0x00-0xFF is the character U+0000-U+00FF and back,
// so bytes taken as text and turned back into bytes are never altered. Characters above
// U+00FF have no narrow form and become '?', as a Windows conversion without a best fit.
#pragma once

#include <string>
#include <string_view>

namespace zr::text {

// Narrow bytes to UTF-16, one character per byte (embedded zeros kept).
std::u16string ansiToWide(std::string_view narrow);

// UTF-16 to narrow bytes, one byte per character; characters above U+00FF become '?'.
std::string wideToAnsi(std::u16string_view wide);

// UTF-8 <-> UTF-16, for hosts and tests that speak UTF-8 (file names, Qt).
std::u16string utf8ToWide(std::string_view utf8);
std::string wideToUtf8(std::u16string_view wide);

}  // namespace zr::text
