// The mapping onto termios2: the only form of the terminal settings that carries any baud
// rate (BOTHER), so 128000 and 256000 need no table of predefined speeds. This file uses
// the kernel's own definitions and so must not see the C library's <termios.h>.
#include <asm/termbits.h>

#include <cstdlib>

#include "serial/line_settings.h"

namespace zr::serial {

SettingsCheck checkSettings(const LineSettings& s) {
  if (s.baudRate == 0) return SettingsCheck::Invalid;  // zero would hang the line up
  if (s.dataBits < 5 || s.dataBits > 8) return SettingsCheck::Invalid;
  if (s.parity > kParitySpace) return SettingsCheck::Invalid;
  if (s.stopBits > kStopTwo) return SettingsCheck::Invalid;
  if (s.dtrControl > kLineHandshake || s.rtsControl > kLineToggle) return SettingsCheck::Invalid;
  // A UART sends one and a half stop bits only for five data bits, and then cannot send two.
  if (s.stopBits == kStopOneAndHalf && s.dataBits != 5) return SettingsCheck::Invalid;
  if (s.stopBits == kStopTwo && s.dataBits == 5) return SettingsCheck::Invalid;
  // Linux has no DSR output flow, no DTR input handshake and no RTS toggling on send.
  if (s.dsrOutFlow || s.dtrControl == kLineHandshake || s.rtsControl == kLineToggle) return SettingsCheck::Unsupported;
  return SettingsCheck::Ok;
}

uint32_t bitsPerByte(const LineSettings& s) {
  uint32_t bits = 1 + s.dataBits + (s.parity != kParityNone ? 1 : 0);
  return bits + (s.stopBits == kStopOne ? 1 : 2);
}

void fillTermios(const LineSettings& s, termios2& t) {
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IUCLC | IXON | IXANY | IXOFF | IMAXBEL | IUTF8);
  // Marked errors let the receive queue find the bytes to replace and tell them from a
  // genuine 0xFF, which the kernel then doubles.
  if (s.parityCheck) t.c_iflag |= INPCK | PARMRK;
  if (s.xonXoffOut) t.c_iflag |= IXON;
  if (s.xonXoffIn) t.c_iflag |= IXOFF;

  t.c_oflag = 0;
  t.c_lflag = 0;

  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[s.dataBits - 5];
  // With five data bits the UART turns the second stop bit into a half one.
  if (s.stopBits != kStopOne) t.c_cflag |= CSTOPB;
  switch (s.parity) {
    case kParityOdd:
      t.c_cflag |= PARENB | PARODD;
      break;
    case kParityEven:
      t.c_cflag |= PARENB;
      break;
    case kParityMark:
      t.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case kParitySpace:
      t.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  // The kernel has one switch for both halves of the RTS/CTS handshake.
  if (s.ctsOutFlow || s.rtsControl == kLineHandshake) t.c_cflag |= CRTSCTS;
  t.c_ispeed = s.baudRate;
  t.c_ospeed = s.baudRate;

  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  t.c_cc[VSTART] = s.xonChar;
  t.c_cc[VSTOP] = s.xoffChar;
}

bool termiosHolds(const termios2& wanted, const termios2& got) {
  constexpr tcflag_t kCflags = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | CREAD | CLOCAL;
  constexpr tcflag_t kIflags = INPCK | PARMRK | IXON | IXOFF;
  if ((wanted.c_cflag & kCflags) != (got.c_cflag & kCflags)) return false;
  if ((wanted.c_iflag & kIflags) != (got.c_iflag & kIflags)) return false;
  if ((wanted.c_iflag & (IXON | IXOFF)) != 0 &&
      (wanted.c_cc[VSTART] != got.c_cc[VSTART] || wanted.c_cc[VSTOP] != got.c_cc[VSTOP]))
    return false;
  // Drivers report the rate their divisor gives; a rate more than 2% off garbles bytes.
  long want = static_cast<long>(wanted.c_ospeed);
  long diff = std::labs(want - static_cast<long>(got.c_ospeed));
  return diff * 50 <= want;
}

void stripForPseudoTerminal(termios2& t) {
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
  t.c_cflag |= CS8;
}

}  // namespace zr::serial
