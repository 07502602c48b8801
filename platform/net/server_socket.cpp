#include "net/server_socket.h"

#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "net/socket.h"
#include "net/wsa_error.h"

namespace zr::net {

ServerSocket openServerSocket(int wsFamily, bool stream, const char* host, long port, int wsSocketType, int backlog) {
  ServerSocket out;
  auto fail = [&](ServerSocket::Step step, int error) {
    if (out.fd >= 0) ::close(out.fd);
    out.fd = -1;
    out.failed = step;
    out.error = error;
    return out;
  };
  if (int error = openDescriptor(wsFamily, stream, SOCK_NONBLOCK, out.fd)) {
    return fail(ServerSocket::Step::Socket, error);
  }
  if (stream) {
    // A server started again on its port binds at once, as on Windows; a port that another
    // socket listens on stays taken.
    int one = 1;
    ::setsockopt(out.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  }
  Endpoint local;
  if (int error = resolveFirst(host, port, 0, wsFamily, wsSocketType, local)) {
    return fail(ServerSocket::Step::Resolve, error);
  }
  if (::bind(out.fd, local.sa(), local.len) != 0) return fail(ServerSocket::Step::Bind, wsaFromErrno(errno));
  if (stream && ::listen(out.fd, backlog) != 0) return fail(ServerSocket::Step::Listen, wsaFromErrno(errno));
  return out;
}

int usableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof(set), &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned all = std::thread::hardware_concurrency();
  return all > 0 ? static_cast<int>(all) : 1;
}

}  // namespace zr::net
