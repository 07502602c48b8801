// Blanks off both ends of a text. Each caller names its own blanks where they differ from
// isspace's: the profile files drop only spaces and tabs.
#pragma once

#include <string_view>

namespace zr::text {

// The blanks of isspace in the C locale.
inline constexpr std::string_view kSpaces = " \t\n\v\f\r";

// The part of s between its leading and trailing blanks. An all-blank s gives the empty view
// at its end, so a caller may still take the result's offset within s.
constexpr std::string_view trim(std::string_view s, std::string_view blanks = kSpaces) {
  const size_t first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return s.substr(s.size());
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

}  // namespace zr::text
