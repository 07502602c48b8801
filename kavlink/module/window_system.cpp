#include "module/window_system.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace kavlink::dialog {
namespace {

constexpr int kConnectTimeoutMs = 1000;

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Connects without blocking longer than the time-out; the socket is closed again at once.
bool connects(int family, const sockaddr* address, socklen_t length) {
  int fd = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = connect(fd, address, length) == 0;
  if (!ok && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    ok = poll(&p, 1, kConnectTimeoutMs) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
  }
  close(fd);
  return ok;
}

bool unixConnects(std::string_view path, bool abstract) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof a.sun_path) return false;
  std::memcpy(a.sun_path + offset, path.data(), path.size());
  auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
  return connects(AF_UNIX, reinterpret_cast<const sockaddr*>(&a), length);
}

bool tcpConnects(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return false;
  bool ok = false;
  for (addrinfo* a = list; a && !ok; a = a->ai_next) ok = connects(a->ai_family, a->ai_addr, a->ai_addrlen);
  freeaddrinfo(list);
  return ok;
}

// DISPLAY is [host]:number[.screen]; no host (or "unix") is the local server's socket.
bool x11Reachable() {
  const std::string display = env("DISPLAY");
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  std::string number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || number.size() > 4) return false;
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + number;
    return unixConnects(path, true) || unixConnects(path, false);
  }
  return tcpConnects(host, 6000 + std::atoi(number.c_str()));
}

bool waylandReachable() {
  const std::string name = env("WAYLAND_DISPLAY");
  if (name.empty()) return false;
  if (name[0] == '/') return unixConnects(name, false);
  const std::string dir = env("XDG_RUNTIME_DIR");
  return !dir.empty() && unixConnects(dir + "/" + name, false);
}

}  // namespace

std::optional<std::string> reachableWindowSystem() {
  // Qt takes the first of a list of platforms that loads.
  std::string named = env("QT_QPA_PLATFORM");
  named = named.substr(0, named.find(';'));
  named = named.substr(0, named.find(':'));  // plugin options follow a colon
  if (named.starts_with("xcb")) return x11Reachable() ? std::optional<std::string>("") : std::nullopt;
  if (named.starts_with("wayland")) return waylandReachable() ? std::optional<std::string>("") : std::nullopt;
  if (!named.empty()) return "";
  if (x11Reachable()) return "xcb";
  if (waylandReachable()) return "wayland";
  return std::nullopt;
}

}  // namespace kavlink::dialog
