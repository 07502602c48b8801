#include "sim/meter_on_fd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "sim/fd_write.h"

namespace sim {
namespace {

// Sleeps up to ms, ending early when the stop descriptor fires; false when stopped.
bool pause(int stopFd, int ms) {
  if (ms <= 0) return true;
  pollfd p{stopFd, POLLIN, 0};
  return ::poll(&p, 1, ms) == 0;
}

}  // namespace

MeterOnFd::MeterOnFd(Dlt645Meter& meter, int fd, Transform wrapReply, Transform unwrapRequest)
    : meter_(meter),
      fd_(fd),
      stopFd_(::eventfd(0, EFD_CLOEXEC)),
      wrap_(std::move(wrapReply)),
      unwrap_(std::move(unwrapRequest)) {
  thread_ = std::thread([this] { run(); });
}

MeterOnFd::~MeterOnFd() {
  stop();
  ::close(stopFd_);
}

void MeterOnFd::stop() {
  if (!thread_.joinable()) return;
  uint64_t one = 1;
  (void)!::write(stopFd_, &one, sizeof one);
  thread_.join();
}

void MeterOnFd::inject(const Bytes& bytes) { writeAllToFd(fd_, bytes.data(), bytes.size()); }

void MeterOnFd::run() {
  uint8_t buf[4096];
  for (;;) {
    pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[1].revents) return;
    if (p[0].revents & (POLLERR | POLLNVAL)) return;
    if (p[0].revents & POLLHUP && !(p[0].revents & POLLIN)) {
      // The slave side is closed for now; look again shortly.
      if (!pause(stopFd_, 10)) return;
      continue;
    }
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) {
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0 && errno == EIO) {
        if (!pause(stopFd_, 10)) return;
        continue;
      }
      return;
    }
    Bytes chunk(buf, buf + n);
    if (unwrap_) chunk = unwrap_(chunk);
    received_ += chunk.size();
    for (Bytes& reply : meter_.feed(chunk.data(), chunk.size())) {
      MeterFaults f = meter_.faults();
      if (!pause(stopFd_, f.delayMs)) return;
      if (wrap_) reply = wrap_(reply);
      if (f.chunkSize == 0) {
        writeAllToFd(fd_, reply.data(), reply.size());
      } else {
        for (size_t at = 0; at < reply.size(); at += f.chunkSize) {
          writeAllToFd(fd_, reply.data() + at, std::min(f.chunkSize, reply.size() - at));
          if (at + f.chunkSize < reply.size() && !pause(stopFd_, f.chunkGapMs)) return;
        }
      }
    }
  }
}

}  // namespace sim
