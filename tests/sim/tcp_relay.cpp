#include "sim/tcp_relay.h"

#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "sim/loopback_listener.h"

namespace sim {

TcpRelay::TcpRelay(Dlt645Meter& meter) : meter_(meter) {
  listenFd_ = listenOnLoopback(4, port_);
  if (listenFd_ < 0) throw std::runtime_error("relay cannot listen");
  thread_.start([this] { acceptLoop(); });
}

TcpRelay::~TcpRelay() { stop(); }

void TcpRelay::stop() {
  thread_.stop();
  peers_.clear();
  for (int fd : clientFds_) ::close(fd);
  clientFds_.clear();
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
}

void TcpRelay::acceptLoop() {
  while (thread_.waitReadable(listenFd_)) {
    int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) continue;
    clientFds_.push_back(c);
    peers_.push_back(std::make_unique<MeterOnFd>(meter_, c));
    ++connections_;
  }
}

}  // namespace sim
