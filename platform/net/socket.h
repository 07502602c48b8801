// A socket with Winsock behaviour on POSIX calls.
//
// Owns one descriptor (close-on-exec). Every call reports failure as a Winsock code; a
// send never raises SIGPIPE, it fails with WSAECONNRESET instead. A socket that does not
// exist (default-made or closed) behaves as Windows' INVALID_SOCKET: every call on it
// fails with WSAENOTSOCK.
//
// Threads: one thread at a time per socket, except that fd() may be read anywhere.
#pragma once

#include <cstddef>

#include "net/address.h"

namespace zr::net {

// How long a connect may take before it gives up: the time Windows waits for an answer to
// its connection request (the first try and two repeats), not the minutes Linux would.
constexpr int kConnectLimitMs = 21000;

// The result of one transfer: count is the number of bytes, or -1 with error set.
struct IoResult {
  long count = -1;
  int error = 0;
  bool ok() const { return count >= 0; }
};

// What Socket::open makes, as a bare descriptor with flags (SOCK_NONBLOCK) added to its
// type: a server hands its listening socket to a completion port, never to a Socket. fd
// is left alone on failure.
int openDescriptor(int wsFamily, bool stream, int flags, int& fd);

class Socket {
 public:
  Socket() = default;
  ~Socket() { close(); }
  Socket(Socket&& o) noexcept;
  Socket& operator=(Socket&& o) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Makes a socket of a Winsock family: a TCP stream when stream is set, else a UDP
  // datagram socket (as the socket object makes its client). Blocking until told else.
  static int open(int wsFamily, bool stream, Socket& out);
  // Takes over a descriptor made elsewhere (an accepted connection, a test's peer).
  static Socket adopt(int fd);

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  bool isStream() const { return stream_; }

  int setBroadcast(bool on);
  int setNonBlocking(bool on);

  // Connects to `to`, waiting at most limitMs (WSAETIMEDOUT after that). The socket's
  // blocking mode is the same afterwards as before.
  int connect(const Endpoint& to, int limitMs = kConnectLimitMs);

  IoResult send(const void* data, size_t size);
  IoResult sendTo(const void* data, size_t size, const Endpoint& to);
  IoResult recv(void* data, size_t size);
  // One datagram (or, on a stream, what is there) with its sender. A datagram longer than
  // size fails with WSAEMSGSIZE: its first size bytes are in data, the rest is gone, and
  // nothing is written beyond size.
  IoResult recvFrom(void* data, size_t size, Endpoint& from);

  // Waits at most timeoutMs (0: just looks) for the socket to be readable. Returns 1 when
  // it is, or when the look itself fails (a missing socket, an error): the following
  // receive then reports what happened. Returns 0 when it is not.
  int waitReadable(int timeoutMs) const;
  // The same for room to send.
  int waitWritable(int timeoutMs) const;

  void close();

 private:
  explicit Socket(int fd, bool stream) : fd_(fd), stream_(stream) {}
  int ioError(int err) const;

  int fd_ = -1;
  bool stream_ = true;
};

}  // namespace zr::net
