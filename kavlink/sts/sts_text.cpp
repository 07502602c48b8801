#include "sts/sts_text.h"

namespace kavlink::sts {

uint64_t blockToU64(const Block& b) {
  uint64_t v = 0;
  for (uint8_t byte : b) v = (v << 8) | byte;
  return v;
}

Block u64ToBlock(uint64_t v) {
  Block b{};
  for (int i = 7; i >= 0; --i) {
    b[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
  return b;
}

std::string PadLeft(std::string& text, char pad, size_t width) {
  if (text.size() < width) {
    text.insert(0, width - text.size(), pad);
  } else if (text.size() > width) {
    text.erase(0, text.size() - width);
  }
  return text;
}

void HexToBlock(std::string_view text16, Block& out) {
  auto value = [](char c) {
    auto code = static_cast<unsigned char>(c);
    return code < ':' ? code - 48u : code - 55u;
  };
  for (size_t k = 0; k < 8; ++k) {
    char hi = 2 * k < text16.size() ? text16[2 * k] : '0';
    char lo = 2 * k + 1 < text16.size() ? text16[2 * k + 1] : '0';
    out[k] = static_cast<uint8_t>(16 * value(hi) + value(lo));
  }
}

std::string toUpper(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool isHexText(std::string_view text) {
  for (char c : text) {
    bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (!hex) return false;
  }
  return true;
}

bool isDecimalText(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string keyText16(std::string_view key) {
  if (key.empty()) throw StsArgumentError("empty key");
  return controlText16(key);
}

std::string controlText16(std::string_view control) {
  if (!isHexText(control)) throw StsArgumentError("key or control text is not hexadecimal");
  std::string s = toUpper(control);
  PadLeft(s, '0', 16);
  return s;
}

std::string decimalText(std::string_view text, size_t width) {
  if (!isDecimalText(text)) throw StsArgumentError("text is not decimal");
  std::string s(text);
  PadLeft(s, '0', width);
  return s;
}

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}

std::string blockHex17(unsigned leadDigit, const Block& b) {
  std::string s(1, kHexDigits[leadDigit & 0xF]);
  s += blockHex16(b);
  return s;
}

std::string blockHex16(const Block& b) {
  std::string s;
  s.reserve(16);
  for (uint8_t byte : b) {
    s += kHexDigits[byte >> 4];
    s += kHexDigits[byte & 0xF];
  }
  return s;
}

}  // namespace kavlink::sts
