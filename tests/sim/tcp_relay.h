// A remote server for tests: listens on 127.0.0.1 (an ephemeral port) and relays the
// frames of each connection to a simulated meter, its replies back, as the relay servers
// the setup program talks to do.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/peer_thread.h"

namespace sim {

class TcpRelay {
 public:
  explicit TcpRelay(Dlt645Meter& meter);
  ~TcpRelay();
  TcpRelay(const TcpRelay&) = delete;
  TcpRelay& operator=(const TcpRelay&) = delete;

  int port() const { return port_; }
  int connections() const { return connections_.load(); }
  void stop();

 private:
  void acceptLoop();

  Dlt645Meter& meter_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::vector<int> clientFds_;
  std::vector<std::unique_ptr<MeterOnFd>> peers_;
  PeerThread thread_;
};

}  // namespace sim
