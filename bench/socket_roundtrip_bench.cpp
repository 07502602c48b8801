// Round trip of a 16-byte request over loopback TCP to an echo peer: through the socket
// object (Send + WaitForData + Recv) and through plain POSIX calls, interleaved exchange by
// exchange in one loop, both against one peer thread. The object runs with its notices off
// (events:0), on with a host that listens to its events (events:1), and on with nobody
// listening (events:2).
//
// The *Alone benchmarks run one side by itself, for counting system calls per exchange:
//   strace -c -f bin/socket_roundtrip_bench --benchmark_filter=ZrSocketAlone/events:1
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "channels/socket/zr_socket.h"
#include "com/com_ptr.h"
#include "platform/net/loopback_peer.h"
#include "roundtrip_stats.h"
#include "support/sink_base.h"
#include "text/ansi.h"

namespace {

constexpr size_t kMessage = 16;
constexpr int kExchanges = 20000;

void noDelay(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

// Echoes every 16 bytes it receives, on every connection it accepts, all on one thread: the
// sides of a comparison meet the same far end, on the same thread and core.
class EchoPeer {
 public:
  EchoPeer() : thread_([this] { run(); }) {}
  ~EchoPeer() {
    uint64_t one = 1;
    (void)!::write(stop_, &one, sizeof one);
    thread_.join();
    ::close(stop_);
  }
  int port() const { return listener_.port; }

 private:
  struct Conn {
    nettest::Fd fd;
    size_t got = 0;
    char buf[kMessage];
  };

  void run() {
    std::vector<Conn> conns;
    for (;;) {
      std::vector<pollfd> p = {{stop_, POLLIN, 0}, {listener_.fd.get(), POLLIN, 0}};
      for (const Conn& c : conns) p.push_back({c.fd.get(), POLLIN, 0});
      if (::poll(p.data(), p.size(), -1) < 0) continue;
      if (p[0].revents) return;
      for (size_t i = 0; i < conns.size(); ++i) {
        if (!p[i + 2].revents) continue;
        Conn& c = conns[i];
        ssize_t n = ::recv(c.fd.get(), c.buf + c.got, kMessage - c.got, 0);
        if (n <= 0) {
          c.fd.reset();  // poll leaves a negative descriptor alone
          continue;
        }
        c.got += static_cast<size_t>(n);
        if (c.got < kMessage) continue;
        c.got = 0;
        if (::send(c.fd.get(), c.buf, kMessage, MSG_NOSIGNAL) != static_cast<ssize_t>(kMessage)) c.fd.reset();
      }
      if (p[1].revents) {
        nettest::Fd fd(::accept4(listener_.fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
        noDelay(fd.get());
        conns.push_back({std::move(fd)});
      }
    }
  }

  nettest::Listener listener_;
  int stop_ = ::eventfd(0, EFD_CLOEXEC);
  std::thread thread_;
};

class PosixSide {
 public:
  explicit PosixSide(const EchoPeer& peer) : fd_(nettest::tcpConnect(peer.port())) { noDelay(fd_.get()); }

  bool operator()() {
    ::send(fd_.get(), request_.data(), kMessage, MSG_NOSIGNAL);
    size_t got = 0;
    while (got < kMessage) {
      pollfd p{fd_.get(), POLLIN, 0};
      ::poll(&p, 1, 1000);
      ssize_t n = ::recv(fd_.get(), reply_ + got, kMessage - got, 0);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  nettest::Fd fd_;
  const std::string request_ = std::string(kMessage, 'q');
  char reply_[kMessage];
};

// A host's sink that counts the read notices and does nothing more.
class CountingSink final : public testhost::SinkFor<kavlink::_IZrSocketEvents> {
 public:
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id == kavlink::_IZrSocketEvents::kOnRecv) ++reads;
    return S_OK;
  }
  long reads = 0;
};

class ObjectSide {
 public:
  // events: 0 off, 1 on with a sink, 2 on without one.
  ObjectSide(const EchoPeer& peer, long events) {
    s_ = zr::com::ComPtr<kavlink::IZrSocket>::attach(kavlink::CZrSocket::create());
    zr::com::Bstr host(u"127.0.0.1");
    s_->put_Host(host.get());
    s_->put_Port(peer.port());
    s_->put_AutoEvent(events != 0 ? VARIANT_TRUE : VARIANT_FALSE);
    if (events == 1) {
      auto cpc = s_.as<IConnectionPointContainer>();
      if (cpc) cpc->FindConnectionPoint(kavlink::_IZrSocketEvents::iid, point_.put());
      if (point_) point_->Advise(&sink_, &cookie_);
    }
    VARIANT_BOOL ok = VARIANT_FALSE;
    s_->Connect(&ok);
    connected_ = ok != VARIANT_FALSE;
    LONG fd = -1;
    s_->get_socket(&fd);
    if (connected_) noDelay(fd);
  }
  ~ObjectSide() {
    if (point_) point_->Unadvise(cookie_);
    s_->Close();
  }
  bool connected() const { return connected_; }

  bool operator()() {
    VARIANT_BOOL ok = VARIANT_FALSE;
    s_->Send(reinterpret_cast<PTRBUF>(request_.data()), static_cast<LONG>(kMessage), &ok);
    LONG got = 0;
    while (got < static_cast<LONG>(kMessage)) {
      LONG ready = 0, n = 0;
      s_->WaitForData(1000, &ready);
      s_->Recv(reinterpret_cast<PTRBUF>(reply_.data()), &n);
      if (!ready || n <= 0) return false;
      got += n;
    }
    return true;
  }

 private:
  CountingSink sink_;
  zr::com::ComPtr<kavlink::IZrSocket> s_;
  zr::com::ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
  bool connected_ = false;
  const std::string request_ = std::string(kMessage, 'q');
  std::vector<char> reply_ = std::vector<char>(4096);  // room for BufferSize bytes
};

// range(0): the object's events, as ObjectSide takes them.
void BM_ZrSocketVsPosix(benchmark::State& state) {
  EchoPeer peer;
  ObjectSide ours(peer, state.range(0));
  PosixSide posix(peer);
  if (!ours.connected()) {
    state.SkipWithError("connect failed");
    return;
  }
  bench::interleave(state, ours, posix);
}

// Plain POSIX against itself: the noise floor of the interleaved comparison.
void BM_PosixVsPosix(benchmark::State& state) {
  EchoPeer peer;
  PosixSide a(peer), b(peer);
  bench::interleave(state, a, b);
}

void BM_ZrSocketAlone(benchmark::State& state) {
  EchoPeer peer;
  ObjectSide ours(peer, state.range(0));
  if (!ours.connected()) {
    state.SkipWithError("connect failed");
    return;
  }
  bench::alone(state, ours);
}

void BM_PosixAlone(benchmark::State& state) {
  EchoPeer peer;
  PosixSide posix(peer);
  bench::alone(state, posix);
}

}  // namespace

BENCHMARK(BM_ZrSocketVsPosix)
    ->ArgName("events")
    ->Arg(1)
    ->Arg(2)
    ->Arg(0)
    ->Iterations(kExchanges)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PosixVsPosix)->Iterations(kExchanges)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZrSocketAlone)
    ->ArgName("events")
    ->Arg(1)
    ->Arg(2)
    ->Arg(0)
    ->Iterations(kExchanges)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PosixAlone)->Iterations(kExchanges)->UseRealTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
