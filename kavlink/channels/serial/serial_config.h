// The line settings a user edits outside program code, in the serial port's settings file
// and in its setup dialog. The port object keeps its settings in one of these.
#pragma once

#include <string>

#include "com/com.h"

namespace kavlink {

struct SerialConfig {
  std::string port = "COM1";  // narrow, as the object holds it
  LONG baudRate = 9600;
  LONG parityBits = 0;
  LONG dataBits = 8;
  LONG stopBits = 0;
  SHORT rtsControl = 0;
  SHORT dtrControl = 0;
  BOOL dsrSensitivity = 0;
  BOOL txContinueOnXoff = 0;
  BOOL outxCtsFlow = 0;
  BOOL outxDsrFlow = 0;
  BOOL xonXoffIn = 0;
  BOOL xonXoffOut = 0;
  BYTE xoffChar = 0x13;
  BYTE xonChar = 0x11;
  BOOL useErrChar = 0;
  VARIANT_BOOL discardNull = 0;
  BYTE errChar = 0;
  BYTE eofChar = 0;
  CHAR eventChar = 0;

  bool operator==(const SerialConfig&) const = default;
};

// The settings file. Saving writes every key; false when the file could not be written.
// Loading reads every key, a missing one (or a missing file) giving its default.
bool saveSerialConfig(const std::string& file, const SerialConfig& config);
void loadSerialConfig(const std::string& file, SerialConfig& config);

}  // namespace kavlink
