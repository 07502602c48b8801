// Runs a simulated meter on a file descriptor (the master side of a pseudo-terminal, or a
// connected socket): a thread reads requests and writes the replies, applying the
// meter's timing faults (late answers, answers in pieces).
#pragma once

#include <atomic>
#include <functional>

#include "sim/dlt645_meter.h"
#include "sim/peer_thread.h"

namespace sim {

class MeterOnFd {
 public:
  // Wraps each reply before it is written (the LoRa wrapper, for instance); identity
  // when empty. Unwraps each received chunk the same way.
  using Transform = std::function<Bytes(const Bytes&)>;

  MeterOnFd(Dlt645Meter& meter, int fd, Transform wrapReply = {}, Transform unwrapRequest = {});
  ~MeterOnFd();
  MeterOnFd(const MeterOnFd&) = delete;
  MeterOnFd& operator=(const MeterOnFd&) = delete;

  void stop();
  // Writes raw bytes to the far end, as if the meter sent them unasked.
  void inject(const Bytes& bytes);
  // Bytes received so far (after unwrapping).
  size_t bytesReceived() const { return received_.load(); }

 private:
  void run();

  Dlt645Meter& meter_;
  int fd_;
  Transform wrap_, unwrap_;
  std::atomic<size_t> received_{0};
  PeerThread thread_;
};

}  // namespace sim
