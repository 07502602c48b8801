// One DL/T 645 read through the master control against the simulated meter on a
// pseudo-terminal, next to the same exchange done with plain POSIX calls.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "com/com_ptr.h"
#include "dlt645/zr_comm_dlt645.h"
#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"
#include "text/ansi.h"

using namespace zr::com;
using namespace kavlink;

namespace {
const uint8_t kRequest[] = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x01, 0x02, 0x43, 0xC3, 0x42, 0x16};
constexpr size_t kReplyLength = 18;

void addPercentiles(benchmark::State& state, std::vector<double>& us) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  state.counters["median_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
}
}  // namespace

static void BM_CommThroughControl(benchmark::State& state) {
  sim::PtyPair pty;
  sim::Dlt645Meter meter;
  sim::MeterOnFd peer(meter, pty.master());
  ComPtr<IZrCommDLT645> control;
  CZrCommDLT645::createInstance(nullptr, IZrCommDLT645::iid, control.putVoid());
  ComPtr<IZrSerial> serial;
  control->get_Serial(serial.put());
  serial->put_Port(Bstr(zr::text::ansiToWide(pty.slavePath())).get());
  if (FAILED(serial->Open())) {
    state.SkipWithError("cannot open the pty");
    return;
  }
  ComPtr<IFrame645> request;
  control->GetNewIFrame645(request.put());
  request->put_Address(Bstr(u"12345").get());
  request->put_CtrlWord(0x01);
  request->put_DLen(2);
  request->put_Data(0, 0x10);
  request->put_Data(1, 0x90);
  std::vector<double> us;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    ComPtr<IFrame645> reply;
    control->Comm(request.get(), reply.put());
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    if (!reply) state.SkipWithError("no reply");
  }
  addPercentiles(state, us);
  serial->Close();
}
BENCHMARK(BM_CommThroughControl)->UseRealTime()->Iterations(2000);

static void BM_CommPlainPosix(benchmark::State& state) {
  sim::PtyPair pty;
  sim::Dlt645Meter meter;
  sim::MeterOnFd peer(meter, pty.master());
  int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  std::vector<double> us;
  uint8_t buf[256];
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    (void)!::write(fd, kRequest, sizeof kRequest);
    size_t got = 0;
    while (got < kReplyLength) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 1000) <= 0) break;
      ssize_t n = ::read(fd, buf + got, sizeof buf - got);
      if (n > 0) got += static_cast<size_t>(n);
    }
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  addPercentiles(state, us);
  ::close(fd);
}
BENCHMARK(BM_CommPlainPosix)->UseRealTime()->Iterations(2000);

BENCHMARK_MAIN();
