// Whether a settings file holds a key at all, for readers that fall back to another place
// when it does not (getProfileString cannot tell a missing key from one that holds the
// default).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zr::profile {

// The key's value as getProfileString reads it, or nothing when the file, the section or
// the key is missing.
std::optional<std::string> findProfileString(const std::string& file, std::string_view section, std::string_view key);

}  // namespace zr::profile
