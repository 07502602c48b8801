// Tools.ini: the program's settings, section "option" of the file in the working directory.
// Read once when the window is created; only the meter ID and the port are written back,
// when it closes. Nothing here knows widgets.
#pragma once

#include <string>
#include <string_view>

namespace zr::setup {

inline constexpr char kToolsFile[] = "./Tools.ini";
inline constexpr char kToolsSection[] = "option";
inline constexpr char kDefaultMeterId[] = "000000000001";

struct ToolsSettings {
  std::string address = kDefaultMeterId;  // start text of Edit1
  std::string port = kDefaultMeterId;     // start text of ComboBox1 (the meter ID default, as shipped)
  std::string caption = "Program";
  int Wtime = 5000;  // ms
  int BaudRate = 9600;
  std::string types = "single-phase";
  std::string Lora = "no";
  int CSCS = 3;  // attempts of an item read

  // Exactly "yes" (case counts) selects the LoRa-wrapped serial channel.
  bool loraSelected() const { return Lora == "yes"; }
  // Exactly "three-phase" selects the three-phase load-profile layout.
  bool threePhase() const { return types == "three-phase"; }
};

// The eight keys; a missing file or key gives its default, and so does an integer key
// whose text is not an integer.
ToolsSettings readToolsSettings(const std::string& file = kToolsFile);

// Writes `address` and `port` as given (untrimmed), keeping every other line of the file.
// Throws SetupError when the file cannot be written.
void writeToolsAddressPort(const std::string& address, const std::string& port, const std::string& file = kToolsFile);

// A whole text as a 32-bit integer: blanks before it, an optional sign, then decimal digits,
// or hexadecimal digits after "$" or "0x". Anything else, or a value out of range, gives
// the default.
int settingsInteger(std::string_view text, int defaultValue);

}  // namespace zr::setup
