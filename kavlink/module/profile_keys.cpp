#include "module/profile_keys.h"

#include "profile/profile.h"
#include "profile/profile_lookup.h"

namespace kavlink::profile::detail {
namespace {

// The section to read a key from: the preferred one when it has a value there.
std::string_view sectionOf(const std::string& file, std::string_view section, std::string_view readFirst,
                           std::string_view key) {
  if (readFirst.empty()) return section;
  auto value = zr::profile::findProfileString(file, readFirst, key);
  return value && !value->empty() ? readFirst : section;
}

}  // namespace

bool writeNumber(const std::string& file, std::string_view section, std::string_view key, int value) {
  return zr::profile::writeProfileString(file, section, key, std::to_string(value));
}

bool writeText(const std::string& file, std::string_view section, std::string_view key, std::string_view value) {
  return zr::profile::writeProfileString(file, section, key, value);
}

int readNumber(const std::string& file, std::string_view section, std::string_view readFirst, std::string_view key,
               int byDefault) {
  return zr::profile::getProfileInt(file, sectionOf(file, section, readFirst, key), key, byDefault);
}

std::string readText(const std::string& file, std::string_view section, std::string_view readFirst,
                     std::string_view key, std::optional<std::string_view> byDefault, const std::string& current) {
  std::string_view from = sectionOf(file, section, readFirst, key);
  if (byDefault) return zr::profile::getProfileString(file, from, key, *byDefault);
  return zr::profile::findProfileString(file, from, key).value_or(current);
}

}  // namespace kavlink::profile::detail
