// The thread a simulated peer serves its descriptor on, with a stop signal that ends every
// wait of that thread at once: a stopped peer never holds a test up for the length of a
// pause or of a blocked read.
#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <utility>

namespace sim {

class PeerThread {
 public:
  PeerThread() = default;
  ~PeerThread() {
    stop();
    ::close(stopFd_);
  }
  PeerThread(const PeerThread&) = delete;
  PeerThread& operator=(const PeerThread&) = delete;

  // The owner starts its loop once everything the loop uses is made.
  template <class F>
  void start(F&& loop) {
    thread_ = std::thread(std::forward<F>(loop));
  }
  // Ends the waits and joins the thread; again, it does nothing.
  void stop() {
    if (!thread_.joinable()) return;
    const uint64_t one = 1;
    (void)!::write(stopFd_, &one, sizeof one);
    thread_.join();
  }

  bool stopped() const { return pollStop(0); }
  // Sleeps up to ms; false when stopped meanwhile.
  bool pause(int ms) const { return ms <= 0 || !pollStop(ms); }

  // Waits until fd is readable; false when stopped or when fd failed.
  bool waitReadable(int fd) const { return waitEvents(fd) != 0; }

  // The next bytes from fd (at most size); 0 when the peer is to end: stopped, or fd closed
  // or failed. A pseudo-terminal master whose slave is closed for now is looked at again
  // shortly, since the device under test may open it again.
  size_t receive(int fd, uint8_t* buf, size_t size) const {
    for (;;) {
      const short events = waitEvents(fd);
      if (events == 0) return 0;
      if ((events & POLLHUP) && !(events & POLLIN)) {
        if (!pause(10)) return 0;
        continue;
      }
      const ssize_t n = ::read(fd, buf, size);
      if (n > 0) return static_cast<size_t>(n);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0 && errno == EIO) {
        if (!pause(10)) return 0;
        continue;
      }
      return 0;
    }
  }

 private:
  // The events of fd once it has any; 0 when stopped, or when the wait or fd failed.
  short waitEvents(int fd) const {
    for (;;) {
      pollfd p[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
      if (::poll(p, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return 0;
      }
      if (p[1].revents || (p[0].revents & (POLLERR | POLLNVAL))) return 0;
      return p[0].revents;
    }
  }

  bool pollStop(int ms) const {
    pollfd p{stopFd_, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
  }

  int stopFd_ = ::eventfd(0, EFD_CLOEXEC);
  std::thread thread_;
};

}  // namespace sim
