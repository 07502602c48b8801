// Small free-standing routines on text and integers that every handler of the setup
// program leans on. Texts are byte strings; integers are signed 32-bit and wrap.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zr::setup {

// base to the power exp by repeated multiplication; exp <= 0 gives 1; wraps at 32 bits.
int32_t IntegerPower(int32_t base, int32_t exp);

// Hexadecimal digits (either case) to an integer. Any other character, a blank or a sign
// included, makes the whole result 0; so does the empty text. Wraps at 32 bits, so only the
// last eight digits of a longer text count.
int32_t HexTextToInt(std::string_view text);

// Eight characters '0'/'1', the most significant bit first.
std::string ByteToBinaryText(uint8_t b);

// Counts characters (bytes), not pixels: a shorter text is filled on the left up to width,
// a longer one loses its excess on the right. A width of 0 or below gives the empty text.
std::string FitTextToWidth(std::string_view text, char fill, int width);

// Drops control characters and blanks at both ends, as the window's text checks do.
std::string trimText(std::string_view text);

}  // namespace zr::setup
