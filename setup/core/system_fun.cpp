#include "core/system_fun.h"

#include <array>

namespace zr::setup {

int32_t IntegerPower(int32_t base, int32_t exp) {
  // Unsigned arithmetic gives the 32-bit wrap without undefined behaviour.
  uint32_t result = 1;
  for (int32_t i = 0; i < exp; ++i) result *= static_cast<uint32_t>(base);
  return static_cast<int32_t>(result);
}

int32_t HexTextToInt(std::string_view text) {
  const auto len = static_cast<int32_t>(text.size());
  uint32_t result = 0;
  for (int32_t i = 0; i < len; ++i) {
    char c = text[static_cast<size_t>(i)];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return 0;
    }
    result += digit * static_cast<uint32_t>(IntegerPower(16, len - i - 1));
  }
  return static_cast<int32_t>(result);
}

std::string ByteToBinaryText(uint8_t b) {
  static constexpr std::array<uint8_t, 8> kMasks = {1, 2, 4, 8, 16, 32, 64, 128};
  std::string bits(8, '0');
  for (size_t k = 0; k < kMasks.size(); ++k) {
    if (b & kMasks[k]) bits[7 - k] = '1';
  }
  return bits;
}

std::string FitTextToWidth(std::string_view text, char fill, int width) {
  if (width <= 0) return {};
  const auto w = static_cast<size_t>(width);
  if (text.size() < w) return std::string(w - text.size(), fill) + std::string(text);
  return std::string(text.substr(0, w));
}

std::string trimText(std::string_view text) {
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t first = 0;
  size_t last = text.size();
  while (first < last && isBlank(text[first])) ++first;
  while (last > first && isBlank(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

}  // namespace zr::setup
