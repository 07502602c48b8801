// What a server needs from the system besides its completion port: the socket it listens
// (TCP) or receives (UDP) on, and how many processors its workers may run on.
#pragma once

#include "net/address.h"

namespace zr::net {

struct ServerSocket {
  // The step that failed: a server reports a failed look-up or bind differently from the
  // others.
  enum class Step { None, Socket, Resolve, Bind, Listen };
  int fd = -1;  // non-blocking, close-on-exec; the caller's
  int error = 0;
  Step failed = Step::None;
};

// A socket of a Winsock family bound to host and port, looked up with the Winsock family
// and socket type given; a stream socket also listens with the backlog. On failure
// nothing stays open.
ServerSocket openServerSocket(int wsFamily, bool stream, const char* host, long port, int wsSocketType, int backlog);

// The processors this process may run on (its affinity, as nproc counts them, which is
// what taskset and containers restrict); at least 1.
int usableProcessors();

}  // namespace zr::net
