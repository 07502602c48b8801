#include "sim/meter_on_fd.h"

#include <algorithm>

#include "sim/fd_write.h"

namespace sim {

MeterOnFd::MeterOnFd(Dlt645Meter& meter, int fd, Transform wrapReply, Transform unwrapRequest)
    : meter_(meter), fd_(fd), wrap_(std::move(wrapReply)), unwrap_(std::move(unwrapRequest)) {
  thread_.start([this] { run(); });
}

MeterOnFd::~MeterOnFd() { stop(); }

void MeterOnFd::stop() { thread_.stop(); }

void MeterOnFd::inject(const Bytes& bytes) { writeAllToFd(fd_, bytes.data(), bytes.size()); }

void MeterOnFd::run() {
  uint8_t buf[4096];
  while (const size_t n = thread_.receive(fd_, buf, sizeof buf)) {
    Bytes chunk(buf, buf + n);
    if (unwrap_) chunk = unwrap_(chunk);
    received_ += chunk.size();
    for (Bytes& reply : meter_.feed(chunk.data(), chunk.size())) {
      MeterFaults f = meter_.faults();
      if (!thread_.pause(f.delayMs)) return;
      if (wrap_) reply = wrap_(reply);
      if (f.chunkSize == 0) {
        writeAllToFd(fd_, reply.data(), reply.size());
      } else {
        for (size_t at = 0; at < reply.size(); at += f.chunkSize) {
          writeAllToFd(fd_, reply.data() + at, std::min(f.chunkSize, reply.size() - at));
          if (at + f.chunkSize < reply.size() && !thread_.pause(f.chunkGapMs)) return;
        }
      }
    }
  }
}

}  // namespace sim
