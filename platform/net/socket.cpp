#include "net/socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

#include "net/wsa_error.h"

namespace zr::net {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for `events` on fd for at most timeoutMs, going on after signals. 1 ready, 0 not,
// -1 with errno when poll itself fails.
int pollFor(int fd, short events, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd p{fd, events, 0};
    int rc = ::poll(&p, 1, timeoutMs);
    if (rc >= 0) return rc > 0 ? 1 : 0;
    if (errno != EINTR) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    timeoutMs = left > 0 ? static_cast<int>(left) : 0;
  }
}

}  // namespace

Socket::Socket(Socket&& o) noexcept : fd_(std::exchange(o.fd_, -1)), stream_(o.stream_) {}

Socket& Socket::operator=(Socket&& o) noexcept {
  if (this != &o) {
    close();
    fd_ = std::exchange(o.fd_, -1);
    stream_ = o.stream_;
  }
  return *this;
}

int openDescriptor(int wsFamily, bool stream, int flags, int& fd) {
  const int family = familyFromWinsock(wsFamily);
  if (family < 0) return WSAEAFNOSUPPORT;
  const int made =
      ::socket(family, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC | flags, stream ? IPPROTO_TCP : IPPROTO_UDP);
  if (made < 0) return wsaFromErrno(errno);
  fd = made;
  return 0;
}

int Socket::open(int wsFamily, bool stream, Socket& out) {
  out.close();
  int fd = -1;
  if (int error = openDescriptor(wsFamily, stream, 0, fd)) return error;
  out = Socket(fd, stream);
  return 0;
}

Socket Socket::adopt(int fd) {
  int type = SOCK_STREAM;
  socklen_t len = sizeof(type);
  if (fd >= 0) ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len);
  return Socket(fd, type == SOCK_STREAM);
}

int Socket::setBroadcast(bool on) {
  int value = on ? 1 : 0;
  if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &value, sizeof(value)) != 0) return wsaFromErrno(errno);
  return 0;
}

int Socket::setNonBlocking(bool on) {
  int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0) return wsaFromErrno(errno);
  flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  if (::fcntl(fd_, F_SETFL, flags) != 0) return wsaFromErrno(errno);
  return 0;
}

int Socket::connect(const Endpoint& to, int limitMs) {
  int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0) return wsaFromErrno(errno);
  const bool wasBlocking = (flags & O_NONBLOCK) == 0;
  // The wait is ours, so that the limit is Windows' and not the kernel's retry schedule.
  if (wasBlocking && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) return wsaFromErrno(errno);

  int err = 0;
  if (::connect(fd_, to.sa(), to.len) != 0) {
    err = errno;
    if (err == EINPROGRESS || err == EINTR) {
      int ready = pollFor(fd_, POLLOUT, limitMs);
      if (ready < 0) {
        err = errno;
      } else if (ready == 0) {
        err = ETIMEDOUT;
      } else {
        socklen_t len = sizeof(err);
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      }
    }
  }
  if (wasBlocking) ::fcntl(fd_, F_SETFL, flags);
  return wsaFromErrno(err);
}

int Socket::ioError(int err) const {
  // A datagram socket learns of an unreachable peer port through ICMP; Windows reports that
  // as a reset connection, Linux as a refused one.
  if (!stream_ && err == ECONNREFUSED) return WSAECONNRESET;
  return wsaFromErrno(err);
}

IoResult Socket::send(const void* data, size_t size) {
  ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
  if (n < 0) return {-1, ioError(errno)};
  return {static_cast<long>(n), 0};
}

IoResult Socket::sendTo(const void* data, size_t size, const Endpoint& to) {
  ssize_t n = ::sendto(fd_, data, size, MSG_NOSIGNAL, to.sa(), to.len);
  if (n < 0) return {-1, ioError(errno)};
  return {static_cast<long>(n), 0};
}

IoResult Socket::recv(void* data, size_t size) {
  ssize_t n = ::recv(fd_, data, size, 0);
  if (n < 0) return {-1, ioError(errno)};
  return {static_cast<long>(n), 0};
}

IoResult Socket::recvFrom(void* data, size_t size, Endpoint& from) {
  from = Endpoint{};
  from.len = sizeof(from.addr);
  // On a datagram socket MSG_TRUNC makes the kernel tell the datagram's real length, which
  // is the only way to see that it did not fit. On a stream it would drop bytes instead.
  ssize_t n = ::recvfrom(fd_, data, size, stream_ ? 0 : MSG_TRUNC, from.sa(), &from.len);
  if (n < 0) return {-1, ioError(errno)};
  if (static_cast<size_t>(n) > size) return {-1, WSAEMSGSIZE};
  return {static_cast<long>(n), 0};
}

int Socket::waitReadable(int timeoutMs) const {
  if (fd_ < 0) return 1;
  int rc = pollFor(fd_, POLLIN, timeoutMs);
  return rc != 0 ? 1 : 0;
}

int Socket::waitWritable(int timeoutMs) const {
  if (fd_ < 0) return 1;
  int rc = pollFor(fd_, POLLOUT, timeoutMs);
  return rc != 0 ? 1 : 0;
}

void Socket::close() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

}  // namespace zr::net
