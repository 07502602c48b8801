#include "net/socket_watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <system_error>

#include "net/wsa_error.h"

namespace zr::net {

int SocketWatcher::start(int fd, bool stream, Notify notify, std::unique_ptr<SocketWatcher>& out) {
  out.reset();
  if (fd < 0) return WSAENOTSOCK;
  int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) return wsaFromErrno(errno);
  std::unique_ptr<SocketWatcher> w(new SocketWatcher(fd, stream, std::move(notify), wakeFd));
  try {
    w->thread_ = std::thread([p = w.get()] { p->run(); });
  } catch (const std::system_error&) {
    return WSAENOBUFS;  // the destructor closes wakeFd; there is no thread to join
  }
  out = std::move(w);
  return 0;
}

SocketWatcher::SocketWatcher(int fd, bool stream, Notify notify, int wakeFd)
    : fd_(fd), stream_(stream), notify_(std::move(notify)), wakeFd_(wakeFd) {}

SocketWatcher::~SocketWatcher() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake();
  if (thread_.joinable()) thread_.join();
  ::close(wakeFd_);
}

void SocketWatcher::wake() {
  uint64_t one = 1;
  // A full counter already means "wake up", so a failed write loses nothing.
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof(one));
}

void SocketWatcher::rearm() {
  bool needWake = false;
  {
    std::lock_guard lock(mutex_);
    // While a notice is outstanding the thread is not looking at the socket; the end of
    // the notice wakes it.
    needWake = !armed_ && !readPending_ && !closeGiven_;
    armed_ = true;
  }
  if (needWake) wake();
}

void SocketWatcher::noticeHandled() {
  {
    std::lock_guard lock(mutex_);
    if (!readPending_) return;
    readPending_ = false;
  }
  wake();
}

void SocketWatcher::run() {
  for (;;) {
    short events = 0;
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      if (!closeGiven_ && !readPending_) {
        // Without a pending re-arm, waiting data must not keep the thread awake; a stream
        // still watches for the close.
        if (stream_) {
          events = static_cast<short>(armed_ ? (POLLIN | POLLRDHUP) : POLLRDHUP);
        } else {
          events = armed_ ? POLLIN : 0;
        }
      }
    }
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {events != 0 ? fd_ : -1, events, 0}};
    if (::poll(fds, 2, -1) < 0) continue;  // a signal; look again
    if (fds[0].revents & POLLIN) {
      uint64_t count = 0;
      [[maybe_unused]] ssize_t n = ::read(wakeFd_, &count, sizeof(count));
    }
    const short revents = fds[1].revents;
    if (revents == 0) continue;
    if (revents & POLLNVAL) return;  // the owner closed the socket under us: nothing more to tell

    std::optional<Notice> notice;
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      if (closeGiven_ || readPending_) continue;
      bool waiting = false;
      bool gone = false;
      if (stream_) {
        // At the close a stream is readable with nothing to read, so look at the count.
        int pending = 0;
        waiting = ::ioctl(fd_, FIONREAD, &pending) == 0 && pending > 0;
        gone = (revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
      } else {
        // A pending error (an unreachable peer) is reported by the next receive.
        waiting = (revents & (POLLIN | POLLERR)) != 0;
      }
      if (waiting && armed_) {
        armed_ = false;
        readPending_ = true;
        notice = Notice::Read;
      } else if (gone) {
        closeGiven_ = true;
        notice = Notice::Close;
      }
    }
    if (notice) notify_(*notice);
  }
}

}  // namespace zr::net
