// Small free-standing routines on text and integers that every handler of the setup
// program leans on. Texts are byte strings; integers are signed 32-bit and wrap.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// The machine's serial port names, as the serial port class of the component lists them
// (its GetPortCount and GetPortName). Never fails: a component that cannot be created or
// asked gives an empty list.
std::vector<std::string> GetSerialPortNames();

// Loads the component library at path, calls its DllRegisterServer and unloads it again.
// Throws SetupError with the reason when the library cannot be loaded, has no such export
// or reports a failure: a program that goes on without its component fails later with
// nothing to show why.
void RegisterComServerFile(const std::string& path);

// Drops control characters and blanks at both ends, as the window's text checks do.
std::string trimText(std::string_view text);

}  // namespace zr::setup
