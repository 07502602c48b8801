// Writes every byte to a non-blocking descriptor, waiting briefly while it is full; gives
// up silently when the far end has gone (a simulated peer has nobody to report to).
#pragma once

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace sim {

inline void writeAllToFd(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd pf{fd, POLLOUT, 0};
        ::poll(&pf, 1, 50);
        continue;
      }
      return;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
}

}  // namespace sim
