// One request/reply round trip over a pseudo-terminal: a 14-byte request out, the far end
// answers with 16 bytes. The serial port object (write, wait for input, read), with its
// comm events on and off, against the same exchange done with plain POSIX calls on the
// same kind of terminal, interleaved exchange by exchange in one loop.
//
// The *_Alone benchmarks run one side by itself, for counting system calls per exchange:
//   strace -c -f bin/serial_roundtrip_bench --benchmark_filter=Alone/events:1
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "channels/serial/zr_serial.h"
#include "com/com_ptr.h"
#include "platform/serial/pty_pair.h"
#include "roundtrip_stats.h"
#include "text/ansi.h"

namespace {

constexpr size_t kRequest = 14;
constexpr size_t kReply = 16;
constexpr int kExchanges = 2000;

const uint8_t kRequestBytes[kRequest] = {0x68, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
                                         0x68, 0x11, 0x04, 0x33, 0x33, 0x34, 0x33};

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

// The port object on its own terminal and far end.
class ObjectSide {
 public:
  explicit ObjectSide(bool autoEvent) : farEnd_(pty_.master()) {
    port_ = zr::com::ComPtr<kavlink::CZrSerial>::attach(kavlink::CZrSerial::create());
    zr::com::Bstr name(zr::text::ansiToWide(pty_.slaveName()));
    port_->put_Port(name.get());
    port_->put_AutoEvent(autoEvent ? 1 : 0);
    port_->put_ParityBits(kavlink::prEven);
    port_->OpenPort();
  }
  ~ObjectSide() { port_->ClosePort(); }

  bool operator()() {
    port_->WritePort(kRequestBytes, kRequest);
    size_t got = 0;
    while (got < kReply) {
      if (port_->WaitForInput(1000) == 0) return false;
      got += port_->ReadPort(reply_ + got, static_cast<DWORD>(kReply - got));
    }
    benchmark::DoNotOptimize(reply_);
    return true;
  }

 private:
  zr::test::PtyPair pty_;
  FarEnd farEnd_;
  zr::com::ComPtr<kavlink::CZrSerial> port_;
  uint8_t reply_[kReply];
};

// The same exchange in plain POSIX calls.
class PosixSide {
 public:
  PosixSide() : farEnd_(pty_.master()) {
    fd_ = open(pty_.slaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~PosixSide() { close(fd_); }

  bool operator()() {
    if (write(fd_, kRequestBytes, kRequest) != static_cast<ssize_t>(kRequest)) return false;
    size_t got = 0;
    while (got < kReply) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) return false;
      ssize_t r = read(fd_, reply_ + got, kReply - got);
      if (r > 0) got += static_cast<size_t>(r);
    }
    benchmark::DoNotOptimize(reply_);
    return true;
  }

 private:
  zr::test::PtyPair pty_;
  FarEnd farEnd_;
  int fd_ = -1;
  uint8_t reply_[kReply];
};

// range(0): AutoEvent of the port (1: comm events on, as by default; 0: off).
void BM_ZrSerialVsPosix(benchmark::State& state) {
  ObjectSide ours(state.range(0) != 0);
  PosixSide posix;
  bench::interleave(state, ours, posix);
}

void BM_ZrSerialAlone(benchmark::State& state) {
  ObjectSide ours(state.range(0) != 0);
  bench::alone(state, ours);
}

void BM_PosixAlone(benchmark::State& state) {
  PosixSide posix;
  bench::alone(state, posix);
}

BENCHMARK(BM_ZrSerialVsPosix)
    ->ArgName("events")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(kExchanges)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZrSerialAlone)
    ->ArgName("events")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(kExchanges)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PosixAlone)->Iterations(kExchanges)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
