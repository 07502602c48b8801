// One DL/T 645 read through the master control (Comm) against the simulated meter on a
// pseudo-terminal, next to the same exchange done with plain POSIX calls, interleaved
// exchange by exchange in one loop; each side has its own terminal and meter.
//
// The *Alone benchmarks run one side by itself, for counting system calls per exchange:
//   strace -c -f bin/dlt645_comm_bench --benchmark_filter=CommAlone
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "com/com_ptr.h"
#include "dlt645/zr_comm_dlt645.h"
#include "roundtrip_stats.h"
#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"
#include "text/ansi.h"

using namespace zr::com;
using namespace kavlink;

namespace {

constexpr int kExchanges = 2000;
// A read of item 9010 from meter 000000012345, as the control builds it.
const uint8_t kRequest[] = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x01, 0x02, 0x43, 0xC3, 0x42, 0x16};
constexpr size_t kReplyLength = 18;

class ControlSide {
 public:
  ControlSide() : peer_(meter_, pty_.master()) {
    CZrCommDLT645::createInstance(nullptr, IZrCommDLT645::iid, control_.putVoid());
    control_->get_Serial(serial_.put());
    serial_->put_Port(Bstr(zr::text::ansiToWide(pty_.slavePath())).get());
    opened_ = SUCCEEDED(serial_->Open());
    control_->GetNewIFrame645(request_.put());
    request_->put_Address(Bstr(u"12345").get());
    request_->put_CtrlWord(0x01);
    request_->put_DLen(2);
    request_->put_Data(0, 0x10);
    request_->put_Data(1, 0x90);
  }
  ~ControlSide() { serial_->Close(); }
  bool opened() const { return opened_; }

  bool operator()() {
    ComPtr<IFrame645> reply;
    control_->Comm(request_.get(), reply.put());
    return static_cast<bool>(reply);
  }

 private:
  sim::PtyPair pty_;
  sim::Dlt645Meter meter_;
  sim::MeterOnFd peer_;
  ComPtr<IZrCommDLT645> control_;
  ComPtr<IZrSerial> serial_;
  ComPtr<IFrame645> request_;
  bool opened_ = false;
};

class PosixSide {
 public:
  PosixSide() : peer_(meter_, pty_.master()) {
    fd_ = ::open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
  }
  ~PosixSide() { ::close(fd_); }

  bool operator()() {
    if (::write(fd_, kRequest, sizeof kRequest) != static_cast<ssize_t>(sizeof kRequest)) return false;
    size_t got = 0;
    while (got < kReplyLength) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 1000) <= 0) return false;
      ssize_t n = ::read(fd_, buf_ + got, sizeof buf_ - got);
      if (n > 0) got += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  sim::PtyPair pty_;
  sim::Dlt645Meter meter_;
  sim::MeterOnFd peer_;
  int fd_ = -1;
  uint8_t buf_[256];
};

void BM_CommVsPosix(benchmark::State& state) {
  ControlSide control;
  PosixSide posix;
  if (!control.opened()) {
    state.SkipWithError("cannot open the pty");
    return;
  }
  bench::interleave(state, control, posix);
}
BENCHMARK(BM_CommVsPosix)->Iterations(kExchanges)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_CommAlone(benchmark::State& state) {
  ControlSide control;
  if (!control.opened()) {
    state.SkipWithError("cannot open the pty");
    return;
  }
  bench::alone(state, control);
}
BENCHMARK(BM_CommAlone)->Iterations(kExchanges)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_PosixAlone(benchmark::State& state) {
  PosixSide posix;
  bench::alone(state, posix);
}
BENCHMARK(BM_PosixAlone)->Iterations(kExchanges)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
