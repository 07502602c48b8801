// One request/reply round trip over a pseudo-terminal: a 14-byte request out, the far end
// answers with 16 bytes. The serial port object (wait for input, then read) against the
// same exchange done with plain POSIX calls on the same kind of terminal.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "channels/serial/zr_serial.h"
#include "com/com_ptr.h"
#include "platform/serial/pty_pair.h"
#include "text/ansi.h"

namespace {

constexpr size_t kRequest = 14;
constexpr size_t kReply = 16;

// The meter side: answers every complete request at once.
class FarEnd {
 public:
  explicit FarEnd(int master) : master_(master), thread_([this] { run(); }) {}
  ~FarEnd() {
    stop_ = true;
    thread_.join();
  }

 private:
  void run() {
    uint8_t reply[kReply];
    for (size_t i = 0; i < kReply; ++i) reply[i] = static_cast<uint8_t>(0xA0 + i);
    size_t have = 0;
    uint8_t buf[64];
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      ssize_t r = read(master_, buf, sizeof buf);
      if (r <= 0) return;
      have += static_cast<size_t>(r);
      while (have >= kRequest) {
        have -= kRequest;
        if (write(master_, reply, kReply) != static_cast<ssize_t>(kReply)) return;
      }
    }
  }
  int master_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

const uint8_t kRequestBytes[kRequest] = {0x68, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
                                         0x68, 0x11, 0x04, 0x33, 0x33, 0x34, 0x33};

void roundTripObject(benchmark::State& state, bool autoEvent) {
  zr::test::PtyPair pty;
  FarEnd farEnd(pty.master());
  auto port = zr::com::ComPtr<kavlink::CZrSerial>::attach(kavlink::CZrSerial::create());
  zr::com::Bstr name(zr::text::ansiToWide(pty.slaveName()));
  port->put_Port(name.get());
  port->put_AutoEvent(autoEvent ? 1 : 0);
  port->put_ParityBits(kavlink::prEven);
  port->OpenPort();
  uint8_t reply[kReply];
  for (auto _ : state) {
    port->WritePort(kRequestBytes, kRequest);
    size_t got = 0;
    while (got < kReply) {
      if (port->WaitForInput(1000) == 0) {
        state.SkipWithError("no reply");
        return;
      }
      got += port->ReadPort(reply + got, static_cast<DWORD>(kReply - got));
    }
    benchmark::DoNotOptimize(reply);
  }
  port->ClosePort();
}

void BM_ZrSerialRoundTrip(benchmark::State& state) { roundTripObject(state, true); }
void BM_ZrSerialRoundTripNoEvents(benchmark::State& state) { roundTripObject(state, false); }

void BM_PosixRoundTrip(benchmark::State& state) {
  zr::test::PtyPair pty;
  FarEnd farEnd(pty.master());
  int fd = open(pty.slaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  uint8_t reply[kReply];
  for (auto _ : state) {
    if (write(fd, kRequestBytes, kRequest) != static_cast<ssize_t>(kRequest)) {
      state.SkipWithError("write");
      break;
    }
    size_t got = 0;
    while (got < kReply) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) {
        state.SkipWithError("no reply");
        break;
      }
      ssize_t r = read(fd, reply + got, kReply - got);
      if (r > 0) got += static_cast<size_t>(r);
    }
    benchmark::DoNotOptimize(reply);
  }
  close(fd);
}

BENCHMARK(BM_ZrSerialRoundTrip)->Repetitions(10)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZrSerialRoundTripNoEvents)->Repetitions(10)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PosixRoundTrip)->Repetitions(10)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
