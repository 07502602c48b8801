// Peers on 127.0.0.1 for socket tests, made with plain POSIX calls so that they do not
// depend on the code under test. Ports are ephemeral: every test gets its own.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>

namespace nettest {

using namespace std::chrono_literals;

constexpr auto kDeadline = 5s;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  Fd& operator=(Fd&& o) noexcept {
    std::swap(fd_, o.fd_);
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_ = -1;
};

inline sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

inline int localPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof(a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A socket of the given type bound to 127.0.0.1 on an ephemeral port.
inline Fd bound(int type, int& port) {
  Fd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
  sockaddr_in a = loopback(0);
  ::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a));
  port = localPort(fd.get());
  return fd;
}

struct Listener {
  Fd fd;
  int port = 0;

  explicit Listener(int backlog = 8) {
    fd = bound(SOCK_STREAM, port);
    ::listen(fd.get(), backlog);
  }
  // The next connection, or an empty Fd when none comes before the deadline.
  Fd accept() const {
    pollfd p{fd.get(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kDeadline).count())) != 1) return Fd();
    return Fd(::accept4(fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
  }
};

// A port on 127.0.0.1 where nothing listens (bound, so nobody else takes it meanwhile).
struct ClosedPort {
  Fd fd;
  int port = 0;
  ClosedPort() { fd = bound(SOCK_STREAM, port); }
};

inline Fd tcpConnect(int port) {
  Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = loopback(port);
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) fd.reset();
  return fd;
}

// Closes with a reset instead of an orderly close.
inline void resetClose(Fd& fd) {
  linger l{1, 0};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &l, sizeof(l));
  fd.reset();
}

inline bool sendAll(int fd, const std::string& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Reads until `size` bytes came, the peer closed, or `limit` passed.
inline std::string recvSome(int fd, size_t size, std::chrono::milliseconds limit = kDeadline) {
  std::string out;
  auto end = std::chrono::steady_clock::now() + limit;
  while (out.size() < size && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) != 1) continue;
    char buf[4096];
    ssize_t n = ::recv(fd, buf, std::min(sizeof(buf), size - out.size()), 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

}  // namespace nettest
