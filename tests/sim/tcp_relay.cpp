#include "sim/tcp_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace sim {

TcpRelay::TcpRelay(Dlt645Meter& meter) : meter_(meter) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 4) != 0)
    throw std::runtime_error("relay cannot listen");
  socklen_t len = sizeof a;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
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
