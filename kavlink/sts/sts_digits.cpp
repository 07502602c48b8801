#include "sts/sts_digits.h"

#include "sts/sts_text.h"

namespace kavlink::sts {

char luhnCheckDigit(std::string_view digits) {
  unsigned sum = 0;
  bool doubled = true;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it, doubled = !doubled) {
    unsigned d = static_cast<unsigned>(*it - '0');
    if (doubled) {
      d *= 2;
      if (d > 9) d -= 9;
    }
    sum += d;
  }
  return static_cast<char>('0' + (9 * sum) % 10);
}

std::string meterNumberWithCheck(std::string_view mid10) {
  std::string s = decimalText(mid10, 10);
  s += luhnCheckDigit(s);
  return s;
}

std::string panWithCheck(std::string_view mid11) {
  std::string s = "600727" + decimalText(mid11, 11);
  s += luhnCheckDigit(s);
  return s;
}

std::string formatTokenText(std::string_view token) {
  // The text passes through a 30-byte buffer: at most 29 characters, ending at a zero.
  token = token.substr(0, 29);
  token = token.substr(0, token.find('\0'));
  std::string digits(token.substr(0, 20));
  PadLeft(digits, '0', 20);
  std::string out;
  out.reserve(24);
  for (size_t i = 0; i < 20; i += 4) {
    if (i) out += ' ';
    out.append(digits, i, 4);
  }
  return out;
}

}  // namespace kavlink::sts
