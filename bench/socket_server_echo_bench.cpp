// An echo server under 100 concurrent loopback clients: the socket object's server (its
// OnRecv handler answers with PostSend) against a plain epoll echo server written here,
// with the same number of threads, in one run. Each client keeps one 64-byte message in
// flight; the benchmarks report messages per second and the 99th percentile round trip,
// the first one for both servers in alternating rounds, with the ratios.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
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

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClients = 100;
constexpr int kClientThreads = 4;
constexpr int kServerThreads = 4;
constexpr size_t kMessage = 64;
constexpr auto kRunTime = std::chrono::seconds(1);

struct Figures {
  double messagesPerSecond = 0;
  double p99us = 0;
};

void noDelay(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

// kClients connections to the port, each with one message in flight, for kRunTime.
Figures driveClients(int port) {
  std::vector<std::vector<double>> samples(kClientThreads);
  std::atomic<long> total{0};
  std::vector<std::thread> threads;
  const auto end = Clock::now() + kRunTime;
  for (int t = 0; t < kClientThreads; ++t) {
    threads.emplace_back([&, t] {
      struct Conn {
        nettest::Fd fd;
        Clock::time_point sentAt;
        size_t got = 0;
      };
      std::vector<Conn> conns(kClients / kClientThreads);
      const int ep = ::epoll_create1(EPOLL_CLOEXEC);
      const std::string message(kMessage, 'm');
      for (size_t i = 0; i < conns.size(); ++i) {
        conns[i].fd = nettest::tcpConnect(port);
        noDelay(conns[i].fd.get());
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = i;
        ::epoll_ctl(ep, EPOLL_CTL_ADD, conns[i].fd.get(), &ev);
        conns[i].sentAt = Clock::now();
        ::send(conns[i].fd.get(), message.data(), kMessage, MSG_NOSIGNAL);
      }
      std::vector<double>& mine = samples[static_cast<size_t>(t)];
      char buf[4096];
      epoll_event events[64];
      while (Clock::now() < end) {
        int n = ::epoll_wait(ep, events, 64, 100);
        for (int i = 0; i < n; ++i) {
          Conn& c = conns[events[i].data.u64];
          ssize_t k = ::recv(c.fd.get(), buf, sizeof(buf), 0);
          if (k <= 0) continue;
          c.got += static_cast<size_t>(k);
          if (c.got < kMessage) continue;
          c.got -= kMessage;
          auto now = Clock::now();
          mine.push_back(std::chrono::duration<double, std::micro>(now - c.sentAt).count());
          c.sentAt = now;
          ::send(c.fd.get(), message.data(), kMessage, MSG_NOSIGNAL);
        }
      }
      ::close(ep);
      total += static_cast<long>(mine.size());
    });
  }
  for (std::thread& t : threads) t.join();
  std::vector<double> all;
  for (auto& s : samples) all.insert(all.end(), s.begin(), s.end());
  Figures f;
  if (all.empty()) return f;
  std::sort(all.begin(), all.end());
  f.messagesPerSecond = static_cast<double>(total.load()) / std::chrono::duration<double>(kRunTime).count();
  f.p99us = all[std::min(all.size() - 1, all.size() * 99 / 100)];
  return f;
}

void report(benchmark::State& state, const Figures& f) {
  state.counters["msgs_per_s"] = f.messagesPerSecond;
  state.counters["p99_us"] = f.p99us;
}

// ---- the plain server: one epoll set per thread, connections dealt out in turn ---------

class PlainEchoServer {
 public:
  PlainEchoServer() {
    for (int i = 0; i < kServerThreads; ++i) epolls_.push_back(::epoll_create1(EPOLL_CLOEXEC));
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = listener_.fd.get();
    ::epoll_ctl(epolls_[0], EPOLL_CTL_ADD, listener_.fd.get(), &ev);
    for (int i = 0; i < kServerThreads; ++i) threads_.emplace_back([this, i] { run(i); });
  }
  ~PlainEchoServer() {
    stop_ = true;
    for (std::thread& t : threads_) t.join();
    for (int ep : epolls_) ::close(ep);
    for (int fd : conns_) ::close(fd);
  }
  int port() const { return listener_.port; }

 private:
  void run(int index) {
    const int ep = epolls_[static_cast<size_t>(index)];
    epoll_event events[64];
    char buf[4096];
    while (!stop_) {
      int n = ::epoll_wait(ep, events, 64, 50);
      for (int i = 0; i < n; ++i) {
        const int fd = events[i].data.fd;
        if (fd == listener_.fd.get()) {
          int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
          if (c < 0) continue;
          noDelay(c);
          conns_.push_back(c);
          epoll_event ev{};
          ev.events = EPOLLIN;
          ev.data.fd = c;
          ::epoll_ctl(epolls_[next_++ % epolls_.size()], EPOLL_CTL_ADD, c, &ev);
          continue;
        }
        ssize_t k = ::recv(fd, buf, sizeof(buf), 0);
        if (k <= 0) {
          ::epoll_ctl(ep, EPOLL_CTL_DEL, fd, nullptr);
          continue;
        }
        for (ssize_t sent = 0; sent < k;) {
          ssize_t w = ::send(fd, buf + sent, static_cast<size_t>(k - sent), MSG_NOSIGNAL);
          if (w <= 0) break;
          sent += w;
        }
      }
    }
  }

  nettest::Listener listener_{256};
  std::vector<int> epolls_;
  std::vector<std::thread> threads_;
  std::vector<int> conns_;  // only the accepting thread touches it
  size_t next_ = 0;
  std::atomic<bool> stop_{false};
};

Figures runPlain() {
  PlainEchoServer server;
  return driveClients(server.port());
}

// ---- the socket object: OnRecv -> PostSend ---------------------------------------------

class EchoSink final : public IDispatch {
 public:
  explicit EchoSink(kavlink::IZrSocket* socket) : socket_(socket) {}
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
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id != kavlink::_IZrSocketEvents::kOnRecv) return S_OK;
    // (socket, ptrBuf, len), last first
    const VARIANT& handle = p->rgvarg[2];
    const VARIANT& buffer = p->rgvarg[1];
    const VARIANT& len = p->rgvarg[0];
    VARIANT_BOOL ok = 0;
    socket_->PostSend(handle.ulVal, static_cast<PTRBUF>(buffer.ullVal), len.lVal, &ok);
    if (ok != 1) ++failures;
    return S_OK;
  }
  std::atomic<long> failures{0};

 private:
  kavlink::IZrSocket* socket_;
};

// Fills failures with the PostSend calls that did not return TRUE; false when Listen failed.
bool runZrSocket(Figures& f, long& failures) {
  auto socket = zr::com::ComPtr<kavlink::IZrSocket>::attach(kavlink::CZrSocket::create());
  EchoSink sink(socket.get());
  zr::com::ComPtr<IConnectionPoint> point;
  socket.as<IConnectionPointContainer>()->FindConnectionPoint(kavlink::_IZrSocketEvents::iid, point.put());
  DWORD cookie = 0;
  point->Advise(static_cast<IDispatch*>(&sink), &cookie);
  int port = 0;
  nettest::bound(SOCK_STREAM, port);  // a port that was free a moment ago
  zr::com::Bstr host(u"127.0.0.1");
  socket->put_Host(host.get());
  socket->put_Port(port);
  socket->put_ThreadCount(kServerThreads);
  VARIANT_BOOL ok = 0;
  socket->Listen(&ok);
  if (ok != 1) return false;
  f = driveClients(port);
  socket->Close();
  point->Unadvise(cookie);
  failures += sink.failures;
  return true;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Alternating rounds of both servers, so that a busy machine weighs on both alike; the
// medians of the rounds and their ratios (socket object / plain).
void BM_EchoPlainVsZrSocket(benchmark::State& state) {
  constexpr int kRounds = 3;
  std::vector<double> plainRate, plainP99, zrRate, zrP99;
  long failures = 0;
  for (auto _ : state) {
    for (int r = 0; r < kRounds; ++r) {
      Figures p = runPlain();
      plainRate.push_back(p.messagesPerSecond);
      plainP99.push_back(p.p99us);
      Figures z;
      if (!runZrSocket(z, failures)) {
        state.SkipWithError("Listen failed");
        return;
      }
      zrRate.push_back(z.messagesPerSecond);
      zrP99.push_back(z.p99us);
    }
  }
  state.counters["plain_msgs_per_s"] = median(plainRate);
  state.counters["plain_p99_us"] = median(plainP99);
  state.counters["zr_msgs_per_s"] = median(zrRate);
  state.counters["zr_p99_us"] = median(zrP99);
  state.counters["msgs_ratio"] = median(zrRate) / median(plainRate);
  state.counters["p99_ratio"] = median(zrP99) / median(plainP99);
  state.counters["send_failures"] = static_cast<double>(failures);
}

// One side alone, for profiles and system call counts.
void BM_PlainEpollEcho(benchmark::State& state) {
  Figures f;
  for (auto _ : state) f = runPlain();
  report(state, f);
}

void BM_ZrSocketEcho(benchmark::State& state) {
  Figures f;
  long failures = 0;
  for (auto _ : state) {
    if (!runZrSocket(f, failures)) state.SkipWithError("Listen failed");
  }
  report(state, f);
  state.counters["send_failures"] = static_cast<double>(failures);
}

}  // namespace

BENCHMARK(BM_EchoPlainVsZrSocket)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainEpollEcho)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZrSocketEcho)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
