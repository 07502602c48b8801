// Echo servers under loopback load: the socket object's server (its OnRecv handler answers
// with PostSend) against a plain epoll echo server written here (one thread accepts and
// deals the connections out to its workers in turn, each worker with its own epoll set,
// edge-triggered, non-blocking), both with the same number of worker threads, in
// alternating rounds of one run, driven by the same load generator. The clients of a round
// connect in a burst (one right after the other, before any message), as meters do after a
// power cut.
//
// BM_Echo/<clients>/<mode>/<threads>: mode 0 is 64-byte ping-pong (one message in flight
// per connection), mode 1 is 4 KB messages pipelined 8 deep; threads 0 is the socket
// object's default ThreadCount (load from 2 generator threads), else that many workers
// (load from 4). Counters per server (plain_*, zr_*) and their ratios
// (*_ratio, socket object over plain), medians of the rounds:
//   msgs_per_s        echoed messages per second over all connections
//   p50_us, p99_us    time from a message's send to the last byte of its echo
//   least             messages of the least served connection over the round
//   cpu_us_per_msg    the process's user + system CPU over the round, per message (the
//                     load generator included: the same for both servers)
//   srv_cpu_us_per_msg  the same without the load generator's own threads
//   busiest_share     the CPU of the server's busiest worker thread over its fair share
//                     (the workers' CPU over their number): 1 when all work alike, the
//                     thread count when one does everything; the worst of the rounds
// BM_Accept: 10,000 connections opened 64 at a time by each of two threads, each held once
// its first message has come back. accepts_per_s is connections per second up to the last
// first echo; bytes_per_idle_conn is the resident memory the process gained while holding
// them, per connection (the kernel's socket memory is not in it). Both ends of every
// connection are in this process: the connections are cut to what RLIMIT_NOFILE allows
// (raised to its hard limit), and `held` says how many there were.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "channels/socket/zr_socket.h"
#include "com/com_ptr.h"
#include "platform/net/loopback_peer.h"
#include "support/sink_base.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClientThreads = 2;
// At a given thread count: more than one server worker's worth of load, so that a worker
// left idle costs messages.
constexpr int kBurstClientThreads = 4;
constexpr int kRounds = 3;
constexpr auto kRunTime = std::chrono::seconds(1);
constexpr int kAcceptTarget = 10000;
constexpr int kConnectWindow = 64;  // per generator thread: well inside the server's backlog
constexpr int kBacklog = 200;       // the socket object's

struct Load {
  int clients;
  size_t message;
  int inFlight;
  int generators;  // load generator threads
};

Load loadOf(const benchmark::State& state) {
  const bool pipelined = state.range(1) != 0;
  return {static_cast<int>(state.range(0)), pipelined ? size_t{4096} : size_t{64}, pipelined ? 8 : 1,
          state.range(2) > 0 ? kBurstClientThreads : kClientThreads};
}

int defaultThreads();

int threadsOf(const benchmark::State& state) {
  return state.range(2) > 0 ? static_cast<int>(state.range(2)) : defaultThreads();
}

struct Figures {
  double messagesPerSecond = 0;
  double p50us = 0;
  double p99us = 0;
  double least = 0;
  double cpuPerMessageUs = 0;
  double serverCpuPerMessageUs = 0;
  double busiestShare = 0;
};

double cpuUs(int who) {
  rusage u{};
  ::getrusage(who, &u);
  auto us = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec); };
  return us(u.ru_utime) + us(u.ru_stime);
}

// The CPU time one thread of this process has run, in microseconds (0 once it has ended).
double threadCpuUs(pid_t tid) {
  unsigned long long ns = 0;
  const std::string path = "/proc/self/task/" + std::to_string(tid) + "/schedstat";
  if (FILE* f = std::fopen(path.c_str(), "r")) {
    if (std::fscanf(f, "%llu", &ns) != 1) ns = 0;
    std::fclose(f);
  }
  return static_cast<double>(ns) / 1e3;
}

std::vector<pid_t> threadsOfProcess() {
  std::vector<pid_t> tids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    tids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
  }
  std::sort(tids.begin(), tids.end());
  return tids;
}

long residentBytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * ::sysconf(_SC_PAGESIZE);
}

void noDelay(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

void addToEpoll(int ep, int fd, uint32_t events, uint64_t token) {
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = token;
  ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
}

// The socket object's default ThreadCount, which the plain server copies.
int defaultThreads() {
  auto socket = zr::com::ComPtr<kavlink::IZrSocket>::attach(kavlink::CZrSocket::create());
  LONG n = 0;
  socket->get_ThreadCount(&n);
  return std::max<LONG>(1, n);
}

// As many descriptors as the hard limit allows; the connections one process can hold
// both ends of within them.
int connectionsWithinLimit() {
  rlimit r{};
  ::getrlimit(RLIMIT_NOFILE, &r);
  if (r.rlim_cur < r.rlim_max) {
    r.rlim_cur = r.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &r);
    ::getrlimit(RLIMIT_NOFILE, &r);
  }
  constexpr rlim_t kReserve = 128;  // epoll sets, eventfds, listeners, the program's own
  const rlim_t fit = r.rlim_cur > kReserve ? (r.rlim_cur - kReserve) / 2 : 0;
  const int n = static_cast<int>(std::min<rlim_t>(kAcceptTarget, fit));
  if (n < kAcceptTarget) {
    std::fprintf(stderr, "RLIMIT_NOFILE is %llu: %d connections instead of %d\n",
                 static_cast<unsigned long long>(r.rlim_cur), n, kAcceptTarget);
  }
  return n;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double percentile(std::vector<float>& v, size_t percent) {
  if (v.empty()) return 0;
  const size_t k = std::min(v.size() - 1, v.size() * percent / 100);
  std::nth_element(v.begin(), v.begin() + static_cast<ptrdiff_t>(k), v.end());
  return v[k];
}

// ---- the load generator -------------------------------------------------------------------

// One connection of the generator: its messages in flight are timed in send order, since
// the echo is one byte stream.
struct ClientConn {
  nettest::Fd fd;
  std::deque<Clock::time_point> sentAt;
  size_t got = 0;     // bytes of the oldest message in flight already back
  size_t unsent = 0;  // bytes the socket had no room for yet
  long messages = 0;
  bool wantsOut = false;
};

// Writes `bytes` more of the endless message stream, as far as the socket takes them.
void pushOut(int ep, ClientConn& c, const std::string& pattern, size_t bytes, uint64_t token) {
  c.unsent += bytes;
  while (c.unsent > 0) {
    const ssize_t n = ::send(c.fd.get(), pattern.data(), std::min(c.unsent, pattern.size()), MSG_NOSIGNAL);
    if (n <= 0) break;
    c.unsent -= static_cast<size_t>(n);
  }
  const bool wants = c.unsent > 0;
  if (wants != c.wantsOut) {
    epoll_event ev{};
    ev.events = EPOLLIN | (wants ? EPOLLOUT : 0u);
    ev.data.u64 = token;
    ::epoll_ctl(ep, EPOLL_CTL_MOD, c.fd.get(), &ev);
    c.wantsOut = wants;
  }
}

// Connects load.clients connections, then keeps load.inFlight messages in flight on each
// for kRunTime. The connections are handed back open, so that the server ends first and
// the client ports do not linger in TIME_WAIT. workers: the server's worker threads.
Figures driveEcho(int port, const Load& load, const std::vector<pid_t>& workers, std::vector<ClientConn>& conns,
                  bool& ok) {
  conns.clear();
  conns.resize(static_cast<size_t>(load.clients));
  ok = true;
  for (ClientConn& c : conns) {
    c.fd = nettest::tcpConnect(port);
    if (c.fd.get() < 0) {
      ok = false;
      return {};
    }
    noDelay(c.fd.get());
  }
  std::vector<std::vector<float>> samples(static_cast<size_t>(load.generators));
  std::vector<double> generatorCpu(static_cast<size_t>(load.generators));
  std::vector<double> workerCpu;
  for (pid_t tid : workers) workerCpu.push_back(threadCpuUs(tid));
  const double cpuStart = cpuUs(RUSAGE_SELF);
  const auto start = Clock::now();
  const auto end = start + kRunTime;
  std::vector<std::thread> threads;
  for (int t = 0; t < load.generators; ++t) {
    threads.emplace_back([&, t] {
      const double mine0 = cpuUs(RUSAGE_THREAD);
      const std::string pattern(load.message, 'm');
      const int ep = ::epoll_create1(EPOLL_CLOEXEC);
      std::vector<float>& lat = samples[static_cast<size_t>(t)];
      lat.reserve(1 << 20);
      // A block of connections each: the servers deal theirs out in turn, and a generator
      // thread that runs late must not slow one server worker only.
      const size_t first = conns.size() * static_cast<size_t>(t) / static_cast<size_t>(load.generators);
      const size_t last = conns.size() * static_cast<size_t>(t + 1) / static_cast<size_t>(load.generators);
      for (size_t i = first; i < last; ++i) {
        ClientConn& c = conns[i];
        addToEpoll(ep, c.fd.get(), EPOLLIN, i);
        for (int k = 0; k < load.inFlight; ++k) c.sentAt.push_back(Clock::now());
        pushOut(ep, c, pattern, load.message * static_cast<size_t>(load.inFlight), i);
      }
      std::vector<char> buf(64 * 1024);
      epoll_event events[128];
      while (Clock::now() < end) {
        const int n = ::epoll_wait(ep, events, 128, 20);
        const auto now = Clock::now();
        for (int e = 0; e < n; ++e) {
          const uint64_t i = events[e].data.u64;
          ClientConn& c = conns[i];
          if (events[e].events & EPOLLOUT) pushOut(ep, c, pattern, 0, i);
          if (!(events[e].events & EPOLLIN)) continue;
          const ssize_t k = ::recv(c.fd.get(), buf.data(), buf.size(), 0);
          if (k <= 0) continue;
          c.got += static_cast<size_t>(k);
          size_t again = 0;
          while (c.got >= load.message && !c.sentAt.empty()) {
            c.got -= load.message;
            lat.push_back(std::chrono::duration<float, std::micro>(now - c.sentAt.front()).count());
            c.sentAt.pop_front();
            ++c.messages;
            if (now < end) {
              c.sentAt.push_back(now);
              ++again;
            }
          }
          if (again) pushOut(ep, c, pattern, load.message * again, i);
        }
      }
      ::close(ep);
      generatorCpu[static_cast<size_t>(t)] = cpuUs(RUSAGE_THREAD) - mine0;
    });
  }
  for (std::thread& t : threads) t.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = cpuUs(RUSAGE_SELF) - cpuStart;
  double busiest = 0, total = 0;
  for (size_t i = 0; i < workers.size(); ++i) {
    workerCpu[i] = threadCpuUs(workers[i]) - workerCpu[i];
    busiest = std::max(busiest, workerCpu[i]);
    total += workerCpu[i];
  }
  std::vector<float> all;
  for (auto& s : samples) all.insert(all.end(), s.begin(), s.end());
  Figures f;
  if (all.empty()) return f;
  const auto messages = static_cast<double>(all.size());
  f.messagesPerSecond = messages / seconds;
  f.p50us = percentile(all, 50);
  f.p99us = percentile(all, 99);
  f.least = static_cast<double>(
      std::min_element(conns.begin(), conns.end(), [](auto& a, auto& b) { return a.messages < b.messages; })->messages);
  f.cpuPerMessageUs = cpu / messages;
  double generator = 0;
  for (double g : generatorCpu) generator += g;
  f.serverCpuPerMessageUs = (cpu - generator) / messages;
  f.busiestShare = total > 0 ? busiest / (total / static_cast<double>(workers.size())) : 0;
  return f;
}

struct AcceptFigures {
  double acceptsPerSecond = 0;
  double bytesPerIdleConnection = 0;
  int held = 0;
};

// Opens `count` connections, at most kConnectWindow per thread under way, each sending one
// 64-byte message and held once its echo is back. Memory is read before the first and
// after the last: what the process gained holding them.
AcceptFigures driveAccepts(int port, int count, std::vector<nettest::Fd>& held) {
  constexpr size_t kMessage = 64;
  held.clear();
  held.reserve(static_cast<size_t>(count));
  std::mutex heldMutex;
  std::atomic<int> done{0};
  ::malloc_trim(0);  // what an earlier round freed must not be taken again unseen
  const long rss0 = residentBytes();
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::seconds(30);
  std::vector<std::thread> threads;
  for (int t = 0; t < kClientThreads; ++t) {
    const int mine = count / kClientThreads + (t < count % kClientThreads ? 1 : 0);
    threads.emplace_back([&, mine] {
      struct Pending {
        nettest::Fd fd;
        size_t got = 0;
        bool connected = false;
      };
      std::vector<Pending> slots(kConnectWindow);
      std::vector<nettest::Fd> kept;
      kept.reserve(static_cast<size_t>(mine));
      const int ep = ::epoll_create1(EPOLL_CLOEXEC);
      const std::string message(kMessage, 'a');
      const sockaddr_in to = nettest::loopback(port);
      int started = 0, finished = 0;
      auto open = [&](size_t i) {
        Pending& p = slots[i];
        p = Pending{nettest::Fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0))};
        noDelay(p.fd.get());
        ::connect(p.fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof(to));
        addToEpoll(ep, p.fd.get(), EPOLLOUT | EPOLLIN, i);
        ++started;
      };
      for (size_t i = 0; i < slots.size() && started < mine; ++i) open(i);
      epoll_event events[kConnectWindow];
      char buf[256];
      while (finished < mine && Clock::now() < deadline) {
        const int n = ::epoll_wait(ep, events, kConnectWindow, 100);
        for (int e = 0; e < n; ++e) {
          const size_t i = events[e].data.u64;
          Pending& p = slots[i];
          if (!p.connected && (events[e].events & EPOLLOUT)) {
            int err = 0;
            socklen_t len = sizeof(err);
            ::getsockopt(p.fd.get(), SOL_SOCKET, SO_ERROR, &err, &len);
            if (err != 0) {
              ::epoll_ctl(ep, EPOLL_CTL_DEL, p.fd.get(), nullptr);
              --started;
              open(i);
              continue;
            }
            p.connected = true;
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = i;
            ::epoll_ctl(ep, EPOLL_CTL_MOD, p.fd.get(), &ev);
            ::send(p.fd.get(), message.data(), message.size(), MSG_NOSIGNAL);
            continue;
          }
          const ssize_t k = ::recv(p.fd.get(), buf, sizeof(buf), 0);
          if (k > 0) p.got += static_cast<size_t>(k);
          if (k == 0 || (k < 0 && errno != EAGAIN && errno != EINTR)) {
            // Refused or reset before its echo: it does not count, another takes its place.
            ::epoll_ctl(ep, EPOLL_CTL_DEL, p.fd.get(), nullptr);
            --started;
            open(i);
            continue;
          }
          if (p.got < kMessage) continue;
          ::epoll_ctl(ep, EPOLL_CTL_DEL, p.fd.get(), nullptr);
          kept.push_back(std::move(p.fd));
          ++finished;
          if (started < mine) open(i);
        }
      }
      ::close(ep);
      done += finished;
      std::lock_guard lock(heldMutex);
      for (nettest::Fd& fd : kept) held.push_back(std::move(fd));
    });
  }
  for (std::thread& t : threads) t.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  AcceptFigures f;
  f.held = done.load();
  if (f.held == 0) return f;
  f.acceptsPerSecond = f.held / seconds;
  f.bytesPerIdleConnection = static_cast<double>(residentBytes() - rss0) / f.held;
  return f;
}

// ---- the plain server -----------------------------------------------------------------------
// One thread accepts and deals the connections out to the workers in turn; each worker has
// its own epoll set, and a connection stays with the worker it was given. What the kernel
// does not take at once waits in the connection's own backlog for EPOLLOUT.

class PlainEchoServer {
 public:
  explicit PlainEchoServer(int threads) : stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    ::fcntl(listener_.fd.get(), F_SETFL, O_NONBLOCK);
    acceptEp_ = ::epoll_create1(EPOLL_CLOEXEC);
    addToEpoll(acceptEp_, listener_.fd.get(), EPOLLIN, kListenToken);
    addToEpoll(acceptEp_, stop_, EPOLLIN, kStopToken);
    for (int i = 0; i < threads; ++i) {
      auto w = std::make_unique<Worker>();
      w->ep = ::epoll_create1(EPOLL_CLOEXEC);
      addToEpoll(w->ep, stop_, EPOLLIN, kStopToken);
      workers_.push_back(std::move(w));
    }
    for (auto& w : workers_) w->thread = std::thread([this, p = w.get()] { run(*p); });
    for (auto& w : workers_) {
      while (w->tid.load() == 0) std::this_thread::yield();
    }
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~PlainEchoServer() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stop_, &one, sizeof(one));
    acceptor_.join();
    ::close(acceptEp_);
    for (auto& w : workers_) {
      w->thread.join();
      for (auto& [fd, conn] : w->conns) ::close(fd);
      ::close(w->ep);
    }
    ::close(stop_);
  }
  int port() const { return listener_.port; }
  std::vector<pid_t> workerThreads() const {
    std::vector<pid_t> tids;
    for (const auto& w : workers_) tids.push_back(w->tid.load());
    return tids;
  }

 private:
  static constexpr uint64_t kListenToken = ~uint64_t{0};
  static constexpr uint64_t kStopToken = ~uint64_t{0} - 1;

  struct Conn {
    int fd;
    std::string backlog;
  };
  struct Worker {
    int ep = -1;
    std::mutex mutex;  // conns: the acceptor adds, the worker removes
    std::unordered_map<int, std::unique_ptr<Conn>> conns;
    std::thread thread;
    std::atomic<pid_t> tid{0};
  };

  void acceptLoop() {
    epoll_event events[2];
    size_t next = 0;
    for (;;) {
      const int n = ::epoll_wait(acceptEp_, events, 2, -1);
      for (int i = 0; i < n; ++i) {
        if (events[i].data.u64 == kStopToken) return;
        for (;;) {
          const int fd = ::accept4(listener_.fd.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
          if (fd < 0) break;
          noDelay(fd);
          Worker& w = *workers_[next++ % workers_.size()];
          Conn* c = nullptr;
          {
            std::lock_guard lock(w.mutex);
            c = w.conns.emplace(fd, std::make_unique<Conn>(Conn{fd, {}})).first->second.get();
          }
          addToEpoll(w.ep, fd, EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET, reinterpret_cast<uint64_t>(c));
        }
      }
    }
  }

  void run(Worker& w) {
    w.tid = static_cast<pid_t>(::gettid());
    epoll_event events[64];
    std::vector<char> buf(16 * 1024);
    for (;;) {
      const int n = ::epoll_wait(w.ep, events, 64, -1);
      for (int i = 0; i < n; ++i) {
        const uint64_t token = events[i].data.u64;
        if (token == kStopToken) return;
        serve(w, *reinterpret_cast<Conn*>(token), events[i].events, buf);
      }
    }
  }

  static bool flush(Conn& c, const char* data, size_t len) {
    size_t sent = 0;
    while (sent < len) {
      const ssize_t k = ::send(c.fd, data + sent, len - sent, MSG_NOSIGNAL);
      if (k > 0) {
        sent += static_cast<size_t>(k);
        continue;
      }
      if (k < 0 && errno == EINTR) continue;
      if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      return false;
    }
    c.backlog.append(data + sent, len - sent);
    return true;
  }

  void serve(Worker& w, Conn& c, uint32_t events, std::vector<char>& buf) {
    const int fd = c.fd;
    bool alive = true;
    if ((events & EPOLLOUT) && !c.backlog.empty()) {
      std::string pending = std::move(c.backlog);
      c.backlog.clear();
      alive = flush(c, pending.data(), pending.size());
    }
    while (alive) {
      const ssize_t k = ::recv(fd, buf.data(), buf.size(), 0);
      if (k > 0) {
        alive = c.backlog.empty() ? flush(c, buf.data(), static_cast<size_t>(k))
                                  : (c.backlog.append(buf.data(), static_cast<size_t>(k)), true);
        continue;
      }
      if (k < 0 && errno == EINTR) continue;
      if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      alive = false;
    }
    if (alive) return;
    ::epoll_ctl(w.ep, EPOLL_CTL_DEL, fd, nullptr);
    std::unique_ptr<Conn> gone;
    {
      // Out of the map before the descriptor is closed: the acceptor may be given its
      // number again at once.
      std::lock_guard lock(w.mutex);
      auto it = w.conns.find(fd);
      gone = std::move(it->second);
      w.conns.erase(it);
    }
    ::close(fd);
  }

  nettest::Listener listener_{kBacklog};
  const int stop_;
  int acceptEp_ = -1;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::thread acceptor_;
};

// ---- the socket object: OnRecv -> PostSend ----------------------------------------------------

// The echo host. A PostSend that is refused (its connection has all its sends in flight)
// leaves the bytes in the connection's backlog; the next OnRecv of that connection, or the
// retry thread, posts them, so that no byte is lost and order is kept. `retries` counts the
// refusals: a figure of the server's, not of the host.
class EchoSink final : public testhost::SinkFor<kavlink::_IZrSocketEvents> {
 public:
  EchoSink(kavlink::IZrSocket* socket, int connections)
      : socket_(socket), slots_(2 * static_cast<size_t>(connections) + 64), retrier_([this] { retryLoop(); }) {}
  ~EchoSink() {
    {
      std::lock_guard lock(dirtyMutex_);
      stop_ = true;
    }
    dirtyCv_.notify_all();
    retrier_.join();
  }

  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id != kavlink::_IZrSocketEvents::kOnRecv) return S_OK;
    // (socket, ptrBuf, len), last first
    const ULONG handle = p->rgvarg[2].ulVal;
    const auto* data = reinterpret_cast<const char*>(p->rgvarg[1].ullVal);
    const auto len = static_cast<size_t>(p->rgvarg[0].lVal);
    if (handle >= slots_.size()) {
      ++lost;
      return S_OK;
    }
    Slot& slot = slots_[handle];
    if (!slot.waiting.load(std::memory_order_acquire)) {
      if (post(handle, data, len)) return S_OK;
      ++retries;
    }
    std::lock_guard lock(slot.mutex);
    slot.backlog.append(data, len);
    if (!drain(handle, slot)) markDirty(handle);
    return S_OK;
  }

  std::atomic<long> retries{0};
  std::atomic<long> lost{0};

 private:
  struct Slot {
    std::atomic<bool> waiting{false};
    std::mutex mutex;
    std::string backlog;
  };

  bool post(ULONG handle, const char* data, size_t len) {
    VARIANT_BOOL ok = 0;
    socket_->PostSend(handle, reinterpret_cast<PTRBUF>(data), static_cast<LONG>(len), &ok);
    return ok == 1;
  }

  // Under slot.mutex. True when the backlog is out.
  bool drain(ULONG handle, Slot& slot) {
    if (!slot.backlog.empty() && !post(handle, slot.backlog.data(), slot.backlog.size())) {
      slot.waiting.store(true, std::memory_order_release);
      return false;
    }
    slot.backlog.clear();
    slot.waiting.store(false, std::memory_order_release);
    return true;
  }

  void markDirty(ULONG handle) {
    {
      std::lock_guard lock(dirtyMutex_);
      dirty_.push_back(handle);
    }
    dirtyCv_.notify_one();
  }

  void retryLoop() {
    std::unique_lock lock(dirtyMutex_);
    while (!stop_) {
      if (dirty_.empty()) {
        // Not woken for nothing: its CPU would count as the server's.
        dirtyCv_.wait(lock, [this] { return stop_ || !dirty_.empty(); });
      } else {
        dirtyCv_.wait_for(lock, std::chrono::microseconds(200), [this] { return stop_; });
      }
      std::vector<ULONG> batch;
      batch.swap(dirty_);
      lock.unlock();
      std::vector<ULONG> still;
      for (ULONG h : batch) {
        Slot& slot = slots_[h];
        std::lock_guard slotLock(slot.mutex);
        if (!drain(h, slot)) still.push_back(h);
      }
      lock.lock();
      dirty_.insert(dirty_.end(), still.begin(), still.end());
    }
  }

  kavlink::IZrSocket* socket_;
  std::vector<Slot> slots_;
  std::mutex dirtyMutex_;
  std::condition_variable dirtyCv_;
  std::vector<ULONG> dirty_;
  bool stop_ = false;
  std::thread retrier_;
};

// A running socket object with the echo host advised; Close and Unadvise at the end.
class ZrEchoServer {
 public:
  ZrEchoServer(int connections, int threads)
      : socket_(zr::com::ComPtr<kavlink::IZrSocket>::attach(kavlink::CZrSocket::create())),
        sink_(socket_.get(), connections) {
    socket_.as<IConnectionPointContainer>()->FindConnectionPoint(kavlink::_IZrSocketEvents::iid, point_.put());
    point_->Advise(static_cast<IDispatch*>(&sink_), &cookie_);
    nettest::bound(SOCK_STREAM, port_);  // a port that was free a moment ago
    zr::com::Bstr host(u"127.0.0.1");
    socket_->put_Host(host.get());
    socket_->put_Port(port_);
    socket_->put_ThreadCount(threads);
    // The threads Listen makes are the server's workers (the echo host's retry thread is
    // older).
    const std::vector<pid_t> before = threadsOfProcess();
    VARIANT_BOOL ok = 0;
    socket_->Listen(&ok);
    listening_ = ok == 1;
    const std::vector<pid_t> after = threadsOfProcess();
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(workers_));
    if (listening_ && workers_.size() != static_cast<size_t>(threads)) {
      std::fprintf(stderr, "Listen made %zu threads, not %d\n", workers_.size(), threads);
    }
  }
  ~ZrEchoServer() {
    socket_->Close();
    point_->Unadvise(cookie_);
  }
  bool listening() const { return listening_; }
  int port() const { return port_; }
  long retries() const { return sink_.retries; }
  long lost() const { return sink_.lost; }
  const std::vector<pid_t>& workerThreads() const { return workers_; }

 private:
  zr::com::ComPtr<kavlink::IZrSocket> socket_;
  EchoSink sink_;
  zr::com::ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
  int port_ = 0;
  bool listening_ = false;
  std::vector<pid_t> workers_;
};

// ---- the benchmarks ---------------------------------------------------------------------------

struct Side {
  std::vector<double> rate, p50, p99, least, cpu, serverCpu;
  double busiestShare = 0;
  void add(const Figures& f) {
    busiestShare = std::max(busiestShare, f.busiestShare);
    rate.push_back(f.messagesPerSecond);
    p50.push_back(f.p50us);
    p99.push_back(f.p99us);
    least.push_back(f.least);
    cpu.push_back(f.cpuPerMessageUs);
    serverCpu.push_back(f.serverCpuPerMessageUs);
  }
};

void counters(benchmark::State& state, const std::string& name, const std::vector<double>& plain,
              const std::vector<double>& zr) {
  const double p = median(plain), z = median(zr);
  state.counters["plain_" + name] = p;
  state.counters["zr_" + name] = z;
  state.counters[name + "_ratio"] = p > 0 ? z / p : 0;
}

// Alternating rounds of both servers, so that a busy machine weighs on both alike.
void BM_Echo(benchmark::State& state) {
  const Load load = loadOf(state);
  const int threads = threadsOf(state);
  Side plain, zr;
  long retries = 0, lost = 0;
  for (auto _ : state) {
    for (int r = 0; r < kRounds; ++r) {
      std::vector<ClientConn> conns;
      bool ok = false;
      {
        PlainEchoServer server(threads);
        plain.add(driveEcho(server.port(), load, server.workerThreads(), conns, ok));
      }
      conns.clear();
      if (!ok) {
        state.SkipWithError("connect to the plain server failed");
        return;
      }
      {
        ZrEchoServer server(load.clients, threads);
        if (!server.listening()) {
          state.SkipWithError("Listen failed");
          return;
        }
        zr.add(driveEcho(server.port(), load, server.workerThreads(), conns, ok));
        retries += server.retries();
        lost += server.lost();
      }
      conns.clear();
      if (!ok) {
        state.SkipWithError("connect to the socket object failed");
        return;
      }
    }
  }
  counters(state, "msgs_per_s", plain.rate, zr.rate);
  counters(state, "p50_us", plain.p50, zr.p50);
  counters(state, "p99_us", plain.p99, zr.p99);
  counters(state, "least", plain.least, zr.least);
  counters(state, "cpu_us_per_msg", plain.cpu, zr.cpu);
  counters(state, "srv_cpu_us_per_msg", plain.serverCpu, zr.serverCpu);
  state.counters["plain_busiest_share"] = plain.busiestShare;
  state.counters["zr_busiest_share"] = zr.busiestShare;
  state.counters["threads"] = threads;
  state.counters["zr_send_retries"] = static_cast<double>(retries);
  if (lost > 0) state.SkipWithError("the echo host had no slot for a connection");
}

void BM_Accept(benchmark::State& state) {
  const int count = connectionsWithinLimit();
  const int threads = defaultThreads();
  std::vector<double> plainRate, plainBytes, zrRate, zrBytes;
  int held = std::numeric_limits<int>::max();
  for (auto _ : state) {
    for (int r = 0; r < kRounds; ++r) {
      std::vector<nettest::Fd> conns;
      AcceptFigures p, z;
      {
        PlainEchoServer server(threads);
        p = driveAccepts(server.port(), count, conns);
      }
      conns.clear();
      {
        ZrEchoServer server(count, threads);
        if (!server.listening()) {
          state.SkipWithError("Listen failed");
          return;
        }
        z = driveAccepts(server.port(), count, conns);
      }
      conns.clear();
      plainRate.push_back(p.acceptsPerSecond);
      plainBytes.push_back(p.bytesPerIdleConnection);
      zrRate.push_back(z.acceptsPerSecond);
      zrBytes.push_back(z.bytesPerIdleConnection);
      held = std::min({held, p.held, z.held});
    }
  }
  counters(state, "accepts_per_s", plainRate, zrRate);
  counters(state, "bytes_per_idle_conn", plainBytes, zrBytes);
  state.counters["held"] = held;
  state.counters["threads"] = threads;
  if (held < count) state.SkipWithError("not every connection got its first echo");
}

// One side alone, for profiles and system call counts (strace -c -f).
void BM_PlainEcho(benchmark::State& state) {
  const Load load = loadOf(state);
  Figures f;
  for (auto _ : state) {
    std::vector<ClientConn> conns;
    bool ok = false;
    PlainEchoServer server(threadsOf(state));
    f = driveEcho(server.port(), load, server.workerThreads(), conns, ok);
    if (!ok) state.SkipWithError("connect failed");
  }
  state.counters["msgs_per_s"] = f.messagesPerSecond;
  state.counters["p99_us"] = f.p99us;
}

void BM_ZrEcho(benchmark::State& state) {
  const Load load = loadOf(state);
  Figures f;
  for (auto _ : state) {
    std::vector<ClientConn> conns;
    bool ok = false;
    ZrEchoServer server(load.clients, threadsOf(state));
    if (!server.listening()) {
      state.SkipWithError("Listen failed");
      break;
    }
    f = driveEcho(server.port(), load, server.workerThreads(), conns, ok);
    if (!ok) state.SkipWithError("connect failed");
  }
  state.counters["msgs_per_s"] = f.messagesPerSecond;
  state.counters["p99_us"] = f.p99us;
}

void echoCases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"clients", "pipelined", "threads"});
  for (int clients : {100, 1000}) {
    for (int pipelined : {0, 1}) b->Args({clients, pipelined, 0});
  }
  // Ping-pong at thread counts below the default: a worker left idle shows.
  for (int threads : {2, 4, 8}) {
    for (int clients : {100, 1000}) b->Args({clients, 0, threads});
  }
}

}  // namespace

BENCHMARK(BM_Echo)->Apply(echoCases)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Accept)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainEcho)->Apply(echoCases)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZrEcho)->Apply(echoCases)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
