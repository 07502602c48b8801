// The demo meter read as a common mode C client reads it: after the option select the client
// rests, then drops its input at the new rate; the meter's reaction time must outlast that rest.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "sim/iec_meter.h"
#include "sim/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

class ClientPort {
 public:
  explicit ClientPort(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~ClientPort() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool open() const { return fd_ >= 0; }

  void setRate(speed_t rate) {
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, rate);
    ::tcsetattr(fd_, TCSANOW, &t);
  }
  void dropInput() { ::tcflush(fd_, TCIFLUSH); }
  void send(const std::string& s) { ASSERT_EQ(::write(fd_, s.data(), s.size()), ssize_t(s.size())); }

  // Reads until `got` ends with `end` or the deadline passes.
  std::string readUntil(const std::string& end, Clock::duration timeout) {
    std::string got;
    const auto deadline = Clock::now() + timeout;
    while (!got.ends_with(end)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buf[256];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }

 private:
  int fd_;
};

TEST(DemoIecMeter, ReadoutOutlastsTheClientsRestAfterTheOptionSelect) {
  sim::PtyPair pty;
  sim::IecMeter meter;
  meter.setFaults({.delayMs = sim::kDemoIecReactionTimeMs});
  sim::IecMeterOnFd peer(meter, pty.master());
  ClientPort port(pty.slavePath());
  ASSERT_TRUE(port.open());

  port.setRate(B300);
  port.send("/?12345678!\r\n");
  EXPECT_EQ(port.readUntil("\r\n", std::chrono::seconds(2)), "/KAV5IECSIM\r\n");
  port.send(
      "\x06"
      "050\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(250));  // the client's rest, under test
  port.setRate(B9600);
  port.dropInput();

  const sim::IecBytes readout =
      sim::IecMeter::readoutMessage({"0.0.0(12345678)", "1.8.0(001234.5*kWh)", "32.7.0(230.1*V)"});
  const std::string expected(readout.begin(), readout.end());
  EXPECT_EQ(port.readUntil(expected.substr(expected.size() - 2), std::chrono::seconds(2)), expected);
}

}  // namespace
