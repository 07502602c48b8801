// Reads a terminal's settings straight from the kernel. Include it only where the C
// library's <termios.h> is not included.
#pragma once

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace zr::test {

inline termios2 readTermios(int fd) {
  termios2 t{};
  ioctl(fd, TCGETS2, &t);
  return t;
}

inline bool exclusiveFlag(int fd) {
  int on = 0;
  ioctl(fd, TIOCGEXCL, &on);
  return on != 0;
}

}  // namespace zr::test
