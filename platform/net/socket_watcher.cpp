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

void SocketWatcher::rearm(bool tookData) {
  bool needWake = false;
  bool announce = false;
  {
    std::lock_guard lock(mutex_);
    // Data the owner took while it held the socket gets the notice the thread would have
    // given when it came (the owner's own pump delivers it, after this receive, as on
    // Windows when the receive comes before the notice is dispatched).
    if (tookData && ownerHolds_ && armed_ && !readPending_ && !closeGiven_) {
      readPending_ = true;
      announce = true;
    }
    // While a notice is outstanding or the owner holds the socket the thread is not
    // looking for data; the end of the notice, or the thread taking the socket back, does.
    needWake = !armed_ && !readPending_ && !closeGiven_ && !ownerHolds_;
    armed_ = true;
  }
  if (announce) notify_(Notice::Read);
  if (needWake) wake();
}

void SocketWatcher::noticeHandled() {
  bool needWake;
  {
    std::lock_guard lock(mutex_);
    if (!readPending_) return;
    readPending_ = false;
    needWake = !ownerHolds_;
  }
  if (needWake) wake();
}

void SocketWatcher::beginOwnerWait() {
  ownerWaits_.begin();
  {
    std::lock_guard lock(mutex_);
    if (ownerHolds_) return;
    ownerHolds_ = true;
  }
  // Once per run of waits: the thread must stop looking for data, and learn to take the
  // socket back later.
  wake();
}

void SocketWatcher::endOwnerWait() { ownerWaits_.end(); }

void SocketWatcher::run() {
  for (;;) {
    short events = 0;
    int timeout = -1;
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      if (ownerHolds_ && ownerWaits_.mayReclaim()) ownerHolds_ = false;
      if (ownerHolds_) timeout = kReclaimMs;
      if (!closeGiven_ && !readPending_) {
        // Without a pending re-arm, waiting data must not keep the thread awake; a stream
        // still watches for the close.
        const bool data = armed_ && !ownerHolds_;
        if (stream_) {
          events = static_cast<short>(data ? (POLLIN | POLLRDHUP) : POLLRDHUP);
        } else {
          events = data ? POLLIN : 0;
        }
      }
    }
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {events != 0 ? fd_ : -1, events, 0}};
    if (::poll(fds, 2, timeout) < 0) continue;  // a signal; look again
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
