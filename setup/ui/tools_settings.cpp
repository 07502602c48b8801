#include "ui/tools_settings.h"

#include <cstdint>
#include <limits>

#include "core/setup_error.h"
#include "profile/profile.h"

namespace zr::setup {
namespace {

int digitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

std::string readText(const std::string& file, const char* key, const std::string& defaultValue) {
  return profile::getProfileString(file, kToolsSection, key, defaultValue);
}

int readInteger(const std::string& file, const char* key, int defaultValue) {
  // Read as text: the file function would turn "abc" into 0, where the program keeps its
  // default.
  constexpr char kAbsent[] = "\x01";
  const std::string text = profile::getProfileString(file, kToolsSection, key, kAbsent);
  return text == kAbsent ? defaultValue : settingsInteger(text, defaultValue);
}

}  // namespace

int settingsInteger(std::string_view text, int defaultValue) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return defaultValue;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int d = digitValue(text[i], base);
    if (d < 0) return defaultValue;
    value = value * base + d;
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return defaultValue;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min()) return defaultValue;
  return static_cast<int>(value);
}

ToolsSettings readToolsSettings(const std::string& file) {
  const ToolsSettings defaults;
  ToolsSettings s;
  s.address = readText(file, "address", defaults.address);
  s.port = readText(file, "port", defaults.port);
  s.caption = readText(file, "caption", defaults.caption);
  s.Wtime = readInteger(file, "Wtime", defaults.Wtime);
  s.BaudRate = readInteger(file, "BaudRate", defaults.BaudRate);
  s.types = readText(file, "types", defaults.types);
  s.Lora = readText(file, "Lora", defaults.Lora);
  s.CSCS = readInteger(file, "CSCS", defaults.CSCS);
  return s;
}

void writeToolsAddressPort(const std::string& address, const std::string& port, const std::string& file) {
  const bool written = profile::writeProfileString(file, kToolsSection, "address", address) &&
                       profile::writeProfileString(file, kToolsSection, "port", port);
  if (!written) throw SetupError("Cannot write the settings to " + file);
}

}  // namespace zr::setup
