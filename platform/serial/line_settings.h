// Line settings of a serial device and their mapping onto the kernel's terminal settings.
//
// The values are the ones hosts know from the device control block (parity 0-4, stop bits
// 0/1/2 for one, one and a half, two). They are kept as plain integers so that a value
// outside its range reaches the check below and is refused there, not cut on the way.
#pragma once

#include <cstdint>

struct termios2;

namespace zr::serial {

// Bits of a comm-event mask.
enum CommEvent : uint32_t {
  kEvRxChar = 0x001,   // a byte was received and queued
  kEvRxFlag = 0x002,   // the event character was received and queued
  kEvTxEmpty = 0x004,  // the last queued output byte left
  kEvCts = 0x008,      // CTS changed
  kEvDsr = 0x010,      // DSR changed
  kEvRlsd = 0x020,     // DCD changed
  kEvBreak = 0x040,    // a break was received
  kEvErr = 0x080,      // a line error (framing, overrun, parity) or a hang-up
  kEvRing = 0x100,     // the ring indicator changed
};
constexpr uint32_t kEvAll = 0x1FF;

enum Parity : uint32_t { kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4 };
enum StopBits : uint32_t { kStopOne = 0, kStopOneAndHalf = 1, kStopTwo = 2 };
enum LineControl : uint32_t { kLineOff = 0, kLineOn = 1, kLineHandshake = 2, kLineToggle = 3 };

struct LineSettings {
  uint32_t baudRate = 9600;
  uint32_t dataBits = 8;
  uint32_t parity = kParityNone;
  uint32_t stopBits = kStopOne;
  bool parityCheck = false;    // check parity and mark bytes received with errors
  bool replaceErrors = false;  // with parityCheck: bytes with errors become errorChar
  uint8_t errorChar = 0;
  bool discardNull = false;  // zero bytes received are dropped
  bool ctsOutFlow = false;   // output waits for CTS
  bool dsrOutFlow = false;   // output waits for DSR (no Linux equivalent)
  uint32_t dtrControl = kLineOff;
  uint32_t rtsControl = kLineOff;
  bool dsrSensitivity = false;  // bytes received while DSR is off are dropped
  bool xonXoffOut = false;      // output stops on XOFF, resumes on XON
  bool xonXoffIn = false;       // XOFF/XON are sent as the input queue fills and empties
  uint8_t xonChar = 0x11;
  uint8_t xoffChar = 0x13;
  uint8_t eventChar = 0;  // receiving it raises kEvRxFlag
  uint8_t eofChar = 0;    // kept for the host; raw mode has no end-of-file character
};

enum class SettingsCheck {
  Ok,
  Invalid,      // a value outside its range, or a combination no line can run
  Unsupported,  // valid, but Linux has no way to do it on real hardware
};

// Judges the settings alone, before any device is asked.
SettingsCheck checkSettings(const LineSettings& s);

// Characters per second's worth of bits: start + data + parity + stop bits of one byte.
uint32_t bitsPerByte(const LineSettings& s);

// Rewrites t (the device's current terminal settings) to raw mode with the settings. Only
// valid settings (checkSettings not Invalid) may be passed.
void fillTermios(const LineSettings& s, termios2& t);

// Whether the settings a device reports back hold what was asked: a driver that cannot
// do something drops it silently, and the read-back is the only way to know.
bool termiosHolds(const termios2& wanted, const termios2& got);

// The parts of the settings a pseudo-terminal cannot keep (the kernel forces eight data
// bits without parity there), taken out so that a retry asks only for what it can hold.
void stripForPseudoTerminal(termios2& t);

}  // namespace zr::serial
