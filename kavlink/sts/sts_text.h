// Text and block helpers shared by the whole token engine: the 64-bit block, the
// hexadecimal and decimal text rules, and the refusal of malformed input.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kavlink::sts {

// 64 bits, byte 0 most significant: bit 63 is the top bit of byte 0, bit 0 the lowest of byte 7.
using Block = std::array<uint8_t, 8>;

// Raised for input the engine will not turn into a token or a key; the object reports it as
// E_INVALIDARG.
class StsArgumentError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

uint64_t blockToU64(const Block& b);
Block u64ToBlock(uint64_t v);

// Shorter text gains `pad` in front up to `width`; longer text keeps its rightmost `width`
// characters. Changes `text` and returns a copy of it.
std::string PadLeft(std::string& text, char pad, size_t width);

// Reads 16 characters as 8 bytes. A character below ':' counts as code - 48, any other as
// code - 55; callers upper-case and validate first.
void HexToBlock(std::string_view text16, Block& out);

std::string toUpper(std::string_view text);
bool isHexText(std::string_view text);
bool isDecimalText(std::string_view text);

// A key (decoder or vending key) ready for HexToBlock: refused when empty or not all
// hexadecimal, then padded or cut to 16 characters and upper-cased.
std::string keyText16(std::string_view key);
// Same rules for a caller-made control block, which may be empty (all zeros).
std::string controlText16(std::string_view control);
// A decimal field (meter number, supply group code): refused unless every character is a
// decimal digit, then padded or cut to `width`.
std::string decimalText(std::string_view text, size_t width);

// "%01X%02X%02X%02X%02X%02X%02X%02X%02X": one leading digit (0 to 15) and the 8 bytes.
std::string blockHex17(unsigned leadDigit, const Block& b);
// The 16 upper-case hexadecimal digits of a block.
std::string blockHex16(const Block& b);

}  // namespace kavlink::sts
