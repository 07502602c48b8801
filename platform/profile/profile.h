// Settings files in the INI format with the rules of the window system's private-profile
// functions, on narrow (byte) text:
// - section and key names compare without regard to ASCII case;
// - "key=value" lines; blanks around names and values are not part of them, and a value
//   enclosed in a pair of matching single or double quotes loses them on reading;
// - lines starting with ';' are comments; CRLF, LF and lone CR line ends are all read;
// - a missing file, section or key reads as the default; nothing is ever written by reading.
// A relative file name is relative to the working directory.
#pragma once

#include <string>
#include <string_view>

namespace zr::profile {

// The value of the key, or the default (trailing blanks of the default dropped, as the
// system function does) when the file, the section or the key is missing.
std::string getProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view defaultValue);

// The key's value as an integer: leading blanks, an optional sign, then decimal digits up
// to the first other character; a value without digits gives 0. A missing key, or one
// with an empty value, gives the default.
int getProfileInt(const std::string& file, std::string_view section, std::string_view key, int defaultValue);

// Sets the key. An existing key keeps its line (only the value changes) and every other
// byte of the file stays as it was; a new key goes after the last line of its section; a
// missing section is added at the end, a missing file is created. Names or values that
// would break the file's structure (line breaks, a key with '=' or starting with '[' or
// ';', a section with ']', an empty key) are refused. Returns false when nothing could be
// written. The file is replaced as a whole, so a failed write never leaves half a file.
bool writeProfileString(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace zr::profile
