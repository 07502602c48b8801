// Round trip of a 16-byte request over loopback TCP to an echo peer: through the socket
// object (Send + WaitForData + Recv) and through plain POSIX calls, interleaved exchange by
// exchange in one loop; each side has its own peer. The object runs with its notices off
// (events:0), on with a host that listens to its events (events:1), and on with nobody
// listening (events:2).
//
// The *Alone benchmarks run one side by itself, for counting system calls per exchange:
//   strace -c -f bin/socket_roundtrip_bench --benchmark_filter=ZrSocketAlone/events:1
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "channels/socket/zr_socket.h"
#include "com/com_ptr.h"
#include "platform/net/loopback_peer.h"
#include "roundtrip_stats.h"
#include "text/ansi.h"

namespace {

constexpr size_t kMessage = 16;
constexpr int kExchanges = 20000;

void noDelay(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

// Echoes every 16 bytes it receives on the one connection it accepts, until it closes.
class EchoPeer {
 public:
  EchoPeer() {
    thread_ = std::thread([this] {
      nettest::Fd conn = listener_.accept();
      noDelay(conn.get());
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

class PosixSide {
 public:
  PosixSide() : fd_(nettest::tcpConnect(peer_.port())) { noDelay(fd_.get()); }

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
  EchoPeer peer_;
  nettest::Fd fd_;
  const std::string request_ = std::string(kMessage, 'q');
  char reply_[kMessage];
};

// A host's sink that counts the read notices and does nothing more.
class CountingSink final : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IUnknown::iid || riid == IDispatch::iid || riid == kavlink::_IZrSocketEvents::iid) {
      *ppv = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id == kavlink::_IZrSocketEvents::kOnRecv) ++reads;
    return S_OK;
  }
  long reads = 0;
};

class ObjectSide {
 public:
  // events: 0 off, 1 on with a sink, 2 on without one.
  explicit ObjectSide(long events) {
    s_ = zr::com::ComPtr<kavlink::IZrSocket>::attach(kavlink::CZrSocket::create());
    zr::com::Bstr host(u"127.0.0.1");
    s_->put_Host(host.get());
    s_->put_Port(peer_.port());
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
  // Closing lets the peer's thread end, so it goes before the peer.
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
  EchoPeer peer_;
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
  ObjectSide ours(state.range(0));
  PosixSide posix;
  if (!ours.connected()) {
    state.SkipWithError("connect failed");
    return;
  }
  bench::interleave(state, ours, posix);
}

// Plain POSIX against itself: the noise floor of the interleaved comparison.
void BM_PosixVsPosix(benchmark::State& state) {
  PosixSide a, b;
  bench::interleave(state, a, b);
}

void BM_ZrSocketAlone(benchmark::State& state) {
  ObjectSide ours(state.range(0));
  if (!ours.connected()) {
    state.SkipWithError("connect failed");
    return;
  }
  bench::alone(state, ours);
}

void BM_PosixAlone(benchmark::State& state) {
  PosixSide posix;
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
