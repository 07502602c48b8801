#include "profile/profile_lookup.h"

#include "profile/profile.h"

namespace zr::profile {

std::optional<std::string> findProfileString(const std::string& file, std::string_view section, std::string_view key) {
  // A value never holds a line break (lines end there), so this default cannot be read
  // from a file; reading through getProfileString keeps its decoding of the file's text.
  constexpr std::string_view kAbsent = "\n";
  std::string value = getProfileString(file, section, key, kAbsent);
  if (value == kAbsent) return std::nullopt;
  return value;
}

}  // namespace zr::profile
