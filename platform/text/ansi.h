// The narrow ("ANSI") code page of a thread and its conversions to and from UTF-16.
//
// The component and the setup program keep their text narrow and convert at their
// interfaces. The narrow code page is UTF-8, so every character a user can type or a
// database can hold (Chinese captions, "°C") has a narrow form. Bytes that are not UTF-8
// read as U+FFFD, as a Windows conversion of bytes outside its code page does.
#pragma once

#include <string>
#include <string_view>

namespace zr::text {

// Narrow text to UTF-16 (embedded zeros kept); a byte that starts no valid UTF-8 sequence
// becomes U+FFFD.
std::u16string ansiToWide(std::string_view narrow);

// UTF-16 to narrow text; a lone surrogate becomes U+FFFD.
std::string wideToAnsi(std::u16string_view wide);

// UTF-8 <-> UTF-16 under their own names, for code that means UTF-8 whatever the narrow
// code page is (file names, Qt).
std::u16string utf8ToWide(std::string_view utf8);
std::string wideToUtf8(std::u16string_view wide);

bool isUtf8(std::string_view bytes);

// The text of a user's file as UTF-8. Files written by the system on its original platform
// are in GB18030 (the Chinese code page, of which ASCII is a part): a file that is not
// valid UTF-8 is read as GB18030, line by line (a line that is UTF-8 stays); a byte
// sequence that is not GB18030 either becomes U+FFFD.
std::string textFileToUtf8(std::string_view bytes);

}  // namespace zr::text
