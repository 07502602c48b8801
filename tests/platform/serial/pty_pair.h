// A pseudo-terminal for serial tests: the test holds the master side and plays the far end;
// the code under test opens the slave by its name.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace zr::test {

using Bytes = std::vector<uint8_t>;

// Polls a condition until it holds or the deadline passes.
template <class F>
bool eventually(F&& condition, int deadlineMs = 2000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    poll(nullptr, 0, 1);
  }
  return true;
}

class PtyPair {
 public:
  PtyPair() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    char name[128];
    if (master_ < 0 || grantpt(master_) || unlockpt(master_) || ptsname_r(master_, name, sizeof name))
      throw std::runtime_error("pty");
    slaveName_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);  // keeps the pty alive; reads settings back
  }
  ~PtyPair() {
    closeMaster();
    ::close(slave_);
  }
  const std::string& slaveName() const { return slaveName_; }
  int master() const { return master_; }
  int slave() const { return slave_; }
  void closeMaster() { master_ = master_ >= 0 ? ::close(master_), -1 : -1; }
  void send(const std::string& s) const {
    if (::write(master_, s.data(), s.size()) != static_cast<ssize_t>(s.size())) throw std::runtime_error("send");
  }
  // What the device under test wrote, until `count` bytes came or no byte came for waitMs.
  Bytes receive(size_t count, int waitMs = 2000) const {
    Bytes out(count);
    size_t got = 0;
    pollfd pfd{master_, POLLIN, 0};
    while (got < count && poll(&pfd, 1, waitMs) > 0) {
      ssize_t r = ::read(master_, out.data() + got, count - got);
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
  }

 private:
  int master_;
  int slave_ = -1;
  std::string slaveName_;
};

}  // namespace zr::test
