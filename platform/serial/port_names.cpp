#include "serial/port_names.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace zr::serial {

namespace {

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

bool allDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Splits "ttyUSB12" into "ttyUSB" and "12".
std::pair<std::string_view, std::string_view> splitNumber(std::string_view s) {
  size_t i = s.size();
  while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
  return {s.substr(0, i), s.substr(i)};
}

// A ttyS line exists for every possible legacy port; only a known UART type is a port.
bool uartPresent(const std::filesystem::path& entry) {
  std::ifstream in(entry / "type");
  if (!in) return true;
  long type = 0;
  in >> type;
  return !in || type != 0;
}

}  // namespace

std::optional<std::string> devicePath(std::string_view name) {
  if (startsWithNoCase(name, "\\\\.\\")) name.remove_prefix(4);
  if (name.empty() || name.size() > kMaxPortName) return std::nullopt;
  if (name.front() == '/') return std::string(name);
  if (startsWithNoCase(name, "COM") && allDigits(name.substr(3)) && name.size() <= 12) {
    unsigned long n = std::strtoul(std::string(name.substr(3)).c_str(), nullptr, 10);
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return "/dev/" + std::string(name);
}

bool portNameLess(std::string_view a, std::string_view b) {
  auto [pa, na] = splitNumber(a);
  auto [pb, nb] = splitNumber(b);
  if (pa != pb) return pa < pb;
  // Compare the numbers by length first (no leading zeros in device names), then text.
  std::string_view ta = na.substr(std::min(na.find_first_not_of('0'), na.size()));
  std::string_view tb = nb.substr(std::min(nb.find_first_not_of('0'), nb.size()));
  if (ta.size() != tb.size()) return ta.size() < tb.size();
  if (ta != tb) return ta < tb;
  return a < b;
}

std::vector<std::string> listPorts() {
  namespace fs = std::filesystem;
  const char* env = std::getenv("ZR_SERIAL_PORT_DIR");
  fs::path dir = env && *env ? fs::path(env) : fs::path("/sys/class/tty");
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return names;
  for (const fs::directory_entry& e : it) {
    std::string name = e.path().filename().string();
    std::error_code ec2;
    // Virtual consoles, ptmx and the like have no device behind them.
    if (!fs::exists(e.path() / "device", ec2)) continue;
    if (name.rfind("ttyS", 0) == 0 && !uartPresent(e.path())) continue;
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return portNameLess(a, b); });
  return names;
}

}  // namespace zr::serial
