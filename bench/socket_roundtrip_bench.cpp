// Round trip of a 16-byte request over loopback TCP to an echo peer: through the socket
// object (Send + WaitForData + Recv) and, in the same run, through plain POSIX calls.
// Each benchmark reports the median and the 99th percentile of single round trips.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "channels/socket/zr_socket.h"
#include "com/com_ptr.h"
#include "platform/net/loopback_peer.h"
#include "text/ansi.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kMessage = 16;

// Echoes every 16 bytes it receives on the one connection it accepts, until it closes.
class EchoPeer {
 public:
  EchoPeer() {
    thread_ = std::thread([this] {
      nettest::Fd conn = listener_.accept();
      int one = 1;
      ::setsockopt(conn.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
      char buf[kMessage];
      for (;;) {
        size_t got = 0;
        while (got < kMessage) {
          ssize_t n = ::recv(conn.get(), buf + got, kMessage - got, 0);
          if (n <= 0) return;
          got += static_cast<size_t>(n);
        }
        if (::send(conn.get(), buf, kMessage, MSG_NOSIGNAL) != static_cast<ssize_t>(kMessage)) return;
      }
    });
  }
  ~EchoPeer() { thread_.join(); }
  int port() const { return listener_.port; }

 private:
  nettest::Listener listener_;
  std::thread thread_;
};

// Reports the median and 99th percentile of the samples (microseconds) as counters.
void report(benchmark::State& state, std::vector<double>& samples) {
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  state.counters["median_us"] = samples[samples.size() / 2];
  state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
}

double microsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void BM_PosixRoundTrip(benchmark::State& state) {
  EchoPeer peer;
  nettest::Fd fd = nettest::tcpConnect(peer.port());
  int one = 1;
  ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  const std::string request(kMessage, 'q');
  char reply[kMessage];
  std::vector<double> samples;
  samples.reserve(static_cast<size_t>(state.max_iterations));
  for (auto _ : state) {
    auto start = Clock::now();
    ::send(fd.get(), request.data(), kMessage, MSG_NOSIGNAL);
    size_t got = 0;
    while (got < kMessage) {
      pollfd p{fd.get(), POLLIN, 0};
      ::poll(&p, 1, 1000);
      ssize_t n = ::recv(fd.get(), reply + got, kMessage - got, 0);
      if (n <= 0) {
        state.SkipWithError("peer went away");
        break;
      }
      got += static_cast<size_t>(n);
    }
    samples.push_back(microsSince(start));
  }
  report(state, samples);
}

// range(0): AutoEvent (1: the notices run, as by default; 0: off).
void BM_ZrSocketRoundTrip(benchmark::State& state) {
  EchoPeer peer;
  kavlink::CZrSocket* obj = kavlink::CZrSocket::create();
  zr::com::ComPtr<kavlink::IZrSocket> s = zr::com::ComPtr<kavlink::IZrSocket>::attach(obj);
  zr::com::Bstr host(u"127.0.0.1");
  s->put_Host(host.get());
  s->put_Port(peer.port());
  s->put_AutoEvent(state.range(0) ? VARIANT_TRUE : VARIANT_FALSE);
  VARIANT_BOOL ok = VARIANT_FALSE;
  s->Connect(&ok);
  if (!ok) {
    state.SkipWithError("connect failed");
    return;
  }
  LONG fd = 0;
  s->get_socket(&fd);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  const std::string request(kMessage, 'q');
  std::vector<char> reply(4096);
  std::vector<double> samples;
  samples.reserve(static_cast<size_t>(state.max_iterations));
  for (auto _ : state) {
    auto start = Clock::now();
    s->Send(reinterpret_cast<PTRBUF>(request.data()), static_cast<LONG>(kMessage), &ok);
    LONG got = 0;
    while (got < static_cast<LONG>(kMessage)) {
      LONG ready = 0, n = 0;
      s->WaitForData(1000, &ready);
      s->Recv(reinterpret_cast<PTRBUF>(reply.data()), &n);
      if (n > 0) got += n;
      if (!ready || n == 0) {
        state.SkipWithError("no reply");
        break;
      }
    }
    samples.push_back(microsSince(start));
  }
  s->Close();
  report(state, samples);
}

}  // namespace

BENCHMARK(BM_PosixRoundTrip)->Iterations(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZrSocketRoundTrip)->Arg(0)->Arg(1)->Iterations(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
