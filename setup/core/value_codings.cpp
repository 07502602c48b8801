#include "core/value_codings.h"

#include <cstdio>
#include <limits>

#include "core/system_fun.h"

namespace zr::setup {
namespace {

bool isBcd(uint8_t b) { return (b >> 4) <= 9 && (b & 0x0F) <= 9; }
int bcdValue(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string digits(std::span<const uint8_t> bytes, int fraction) {
  std::string out;
  for (size_t i = bytes.size(); i-- > 0;) {
    if (fraction > 0 && i + 1 == static_cast<size_t>(fraction)) out += '.';
    out += hexByte(bytes[i]);
  }
  return out;
}

// Characters from..from+count-1 (counted from 1); what lies beyond the text is missing.
std::string_view piece(std::string_view text, size_t from, size_t count) {
  if (from < 1 || from > text.size()) return {};
  return text.substr(from - 1, count);
}

}  // namespace

std::string hexByte(uint8_t b) {
  char out[3];
  std::snprintf(out, sizeof out, "%02X", b);
  return out;
}

std::optional<std::string> decodeValue(const ValueCoding& coding, std::span<const uint8_t> value) {
  if (coding.offset < 0 || coding.bytes < 1 || value.size() < static_cast<size_t>(coding.offset + coding.bytes))
    return std::nullopt;
  const std::span<const uint8_t> bytes =
      value.subspan(static_cast<size_t>(coding.offset), static_cast<size_t>(coding.bytes));
  switch (coding.kind) {
    case Coding::kDigits:
    case Coding::kStatusBits:
      return digits(bytes, coding.fraction);
    case Coding::kSignedRemaining: {
      const uint8_t top = bytes.back();
      if ((top & 0x80) == 0) return digits(bytes, coding.fraction);
      // The sign takes bit 7; the digits left in the top byte stay part of the value, so
      // 0x81 reads -1..., and 0x80 keeps its single 0.
      std::string high = hexByte(static_cast<uint8_t>(top & 0x7F));
      if (high[0] == '0') high.erase(0, 1);
      return "-" + high + digits(bytes.first(bytes.size() - 1), coding.fraction);
    }
    case Coding::kBcdDate: {
      if (bytes.size() != 3 || !isBcd(bytes[0]) || !isBcd(bytes[1]) || !isBcd(bytes[2])) return std::nullopt;
      const int day = bcdValue(bytes[0]), month = bcdValue(bytes[1]), year = 2000 + bcdValue(bytes[2]);
      if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return std::nullopt;
      char out[16];
      std::snprintf(out, sizeof out, "%04d-%02d-%02d", year, month, day);
      return out;
    }
    case Coding::kBcdTime: {
      if (bytes.size() != 3 || !isBcd(bytes[0]) || !isBcd(bytes[1]) || !isBcd(bytes[2])) return std::nullopt;
      if (bcdValue(bytes[2]) > 23 || bcdValue(bytes[1]) > 59 || bcdValue(bytes[0]) > 59) return std::nullopt;
      return hexByte(bytes[2]) + ":" + hexByte(bytes[1]) + ":" + hexByte(bytes[0]);
    }
    case Coding::kBcdWeekday:
      if (bytes[0] > 0x06) return std::nullopt;
      return hexByte(bytes[0]);
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> statusRows(std::span<const StatusBit> bits, uint8_t status) {
  const std::string binary = ByteToBinaryText(status);
  std::vector<std::pair<std::string, std::string>> rows;
  for (const StatusBit& b : bits) {
    const bool set = binary[static_cast<size_t>(7 - b.bit)] == '1';
    rows.emplace_back(b.name, set ? b.whenSet : b.whenClear);
  }
  return rows;
}

uint8_t valueByteFromText(std::string_view text, int position) {
  if (position == 0) return static_cast<uint8_t>(HexTextToInt(text));
  return static_cast<uint8_t>(HexTextToInt(piece(text, static_cast<size_t>(position), 2)));
}

std::string shortDateText(std::string_view pickerText) {
  return pickerText.size() == 10 ? std::string(pickerText.substr(2)) : std::string(pickerText);
}

std::optional<int64_t> parseIntegerText(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  constexpr int64_t kSaturated = std::numeric_limits<int64_t>::max() / 10;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v >= kSaturated ? kSaturated : v * 10 + (text[i] - '0');
  }
  return negative ? -v : v;
}

std::string notAnIntegerText(std::string_view text) {
  return "'" + std::string(text) + "' is not a valid integer value";
}

std::string profileHeadText(std::string_view record) {
  return std::string(piece(record, 1, 2)) + "." + std::string(piece(record, 3, 2)) + " " +
         std::string(piece(record, 5, 2)) + ":" + std::string(piece(record, 7, 2));
}

std::string profileEnergyText(std::string_view e) {
  const int32_t v = HexTextToInt(piece(e, 1, 2));
  if (v >= 0x80 && v <= 0x99)
    return "-" + hexByte(static_cast<uint8_t>(v & 0x7F)) + std::string(piece(e, 3, 4)) + "." +
           std::string(piece(e, 7, 2));
  return std::string(piece(e, 1, 6)) + "." + std::string(piece(e, 7, 2));
}

std::string profileDecimalText(std::string_view four, int intDigits) {
  const auto n = static_cast<size_t>(intDigits);
  return std::string(piece(four, 1, n)) + "." + std::string(piece(four, n + 1, 4 - n));
}

}  // namespace zr::setup
