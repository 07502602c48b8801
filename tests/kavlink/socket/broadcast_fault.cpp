#include "kavlink/socket/broadcast_fault.h"

#include <dlfcn.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>

namespace broadcastfault {
namespace {

std::atomic<int> g_failWith{0};

}  // namespace

FailBroadcast::FailBroadcast(int err) { g_failWith = err; }
FailBroadcast::~FailBroadcast() { g_failWith = 0; }

}  // namespace broadcastfault

// Everything linked into this program calls this one; the system's is reached by name.
extern "C" int setsockopt(int fd, int level, int name, const void* value, socklen_t len) noexcept {
  using Fn = int (*)(int, int, int, const void*, socklen_t);
  static const Fn system = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "setsockopt"));
  if (level == SOL_SOCKET && name == SO_BROADCAST) {
    if (int err = broadcastfault::g_failWith.load()) {
      errno = err;
      return -1;
    }
  }
  return system(fd, level, name, value, len);
}
