// Serial port names: what a host may write as a port, and the ports the kernel reports.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr::serial {

// Longest device path accepted, in bytes.
constexpr size_t kMaxPortName = 255;

// The device path of a port name: an absolute path as it is, "COMn" (any case) as
// /dev/ttyS<n-1>, anything else as a name under /dev. Empty and over-long names have none.
std::optional<std::string> devicePath(std::string_view name);

// The serial ports of the machine as names under /dev ("ttyS0", "ttyUSB0"), in natural
// order: the ttys with a device behind them, ttyS only where a UART answers. The
// environment variable ZR_SERIAL_PORT_DIR names a directory to read instead of
// /sys/class/tty.
std::vector<std::string> listPorts();

// The order listPorts uses: by the name's letters, then by its number as a number.
bool portNameLess(std::string_view a, std::string_view b);

}  // namespace zr::serial
