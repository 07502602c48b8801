// How the parameter pages turn reply bytes into field texts and field texts into value
// bytes. Values travel least significant byte first; a byte is shown as two upper-case hex
// digits (BCD reads as decimal digits). Shared by every page's handler table and the load
// profile.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zr::setup {

// Two upper-case hex digits.
std::string hexByte(uint8_t b);

enum class Coding {
  kDigits,           // the bytes most significant first, a "." before the last `fraction` bytes
  kSignedRemaining,  // four bytes as kDigits with one fraction byte; bit 7 of the top byte is "-"
  kBcdDate,          // DD MM YY, checked, as yyyy-MM-dd
  kBcdTime,          // ss mm hh, checked, as HH:mm:ss
  kBcdWeekday,       // one byte 00 to 06
  kStatusBits,       // one byte shown bit by bit as grid rows (statusRows)
};

// Where a field's text comes from in a reply's value bytes (the data after the echoed
// identifier): `bytes` bytes from `offset`.
struct ValueCoding {
  Coding kind = Coding::kDigits;
  int offset = 0;
  int bytes = 1;
  int fraction = 0;
};

// The field text, or nothing when there are too few bytes or a date or time out of range.
std::optional<std::string> decodeValue(const ValueCoding& coding, std::span<const uint8_t> value);

// One bit of a status byte with the texts for set and clear.
struct StatusBit {
  int bit;
  const char* name;
  const char* whenSet;
  const char* whenClear;
};

// Name and text per listed bit, in table order.
std::vector<std::pair<std::string, std::string>> statusRows(std::span<const StatusBit> bits, uint8_t status);

// One value byte from the two characters of text at position (counted from 1) through
// HexTextToInt; position 0 takes the whole text. Characters beyond the text are missing,
// so a short text gives fewer digits.
uint8_t valueByteFromText(std::string_view text, int position);

// The date picker's yyyy-MM-dd as the two-digit yy-MM-dd the date set cuts its bytes from.
std::string shortDateText(std::string_view pickerText);

// A decimal integer as the window's number conversion reads it: leading blanks, an optional
// sign, digits. Nothing for any other text. Values beyond 64 bits saturate, so a caller's
// range check still sees them as too large.
std::optional<int64_t> parseIntegerText(std::string_view text);

// The conversion error's text for a field that holds no integer.
std::string notAnIntegerText(std::string_view text);

// Load profile record texts (pairs of hex digits, most significant first within a field).
// Characters are counted from 1 as in the record layout.
std::string profileHeadText(std::string_view record);                  // 05.17 13:45
std::string profileEnergyText(std::string_view eightDigits);           // sign rule: 80..99 first byte is "-"
std::string profileDecimalText(std::string_view four, int intDigits);  // ddd.d, dd.dd, d.ddd

}  // namespace zr::setup
