// The completion port on its own: posted operations on loopback sockets, the order of one
// socket's completions, closing with operations queued, and a stop from a completion.
#include "net/completion_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "net/wsa_error.h"
#include "platform/net/loopback_peer.h"

namespace {

using zr::net::CompletionPort;
using Op = CompletionPort::Operation;
using namespace std::chrono_literals;

Op operation(Op::Kind kind, char* buffer, size_t size) {
  Op op;
  op.kind = kind;
  op.buffer = buffer;
  op.size = size;
  return op;
}

struct Seen {
  Op* op;
  size_t bytes;
  int error;
  std::thread::id thread;
};

// A port with workers whose completions are recorded.
class PortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(port.open(), 0);
    auto token = std::make_shared<int>(0);
    alive = token;
    ASSERT_EQ(port.startWorkers(
                  3, [this](void*, Op* op, size_t bytes, int error) { record(op, bytes, error); }, token),
              3);
  }
  void TearDown() override {
    port.stop();
    ASSERT_TRUE(port.waitStopped(5000));
    port.joinWorkers();
  }
  void record(Op* op, size_t bytes, int error) {
    if (onCompletion) onCompletion(op);
    std::lock_guard lock(mutex);
    seen.push_back({op, bytes, error, std::this_thread::get_id()});
    changed.notify_all();
  }
  bool waitSeen(size_t n) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, nettest::kDeadline, [&] { return seen.size() >= n; });
  }
  // A non-blocking copy of fd, attached to the port.
  CompletionPort::Socket* attached(int fd, bool shared = false) {
    const int copy = dup(fd);
    fcntl(copy, F_SETFL, fcntl(copy, F_GETFL) | O_NONBLOCK);
    int error = -1;
    sockets.push_back(port.attach(copy, nullptr, error, shared));
    EXPECT_EQ(error, 0);
    return sockets.back().get();
  }
  // A connected pair: the port's end and the peer's.
  CompletionPort::Socket* attachedPair(nettest::Fd& peer) {
    nettest::Listener listener;
    peer = nettest::tcpConnect(listener.port);
    return attached(listener.accept().get());
  }

  CompletionPort port;
  std::weak_ptr<int> alive;
  std::function<void(Op*)> onCompletion;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Seen> seen;
  std::vector<CompletionPort::SocketPtr> sockets;
};

TEST_F(PortTest, OneSocketsCompletionsComeInPostedOrderOnWorkers) {
  nettest::Fd peer;
  CompletionPort::Socket* s = attachedPair(peer);
  ASSERT_NE(s, nullptr);
  std::vector<char> buffers[3];
  Op reads[3];
  for (int i = 0; i < 3; ++i) {
    buffers[i].resize(4);
    reads[i] = operation(Op::Kind::Receive, buffers[i].data(), 4);
    ASSERT_EQ(port.post(s, &reads[i]), 0);
  }
  ASSERT_TRUE(nettest::sendAll(peer.get(), "aaaabbbbcc"));
  ASSERT_TRUE(waitSeen(3));
  std::string order;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(seen[static_cast<size_t>(i)].op, &reads[i]);
    EXPECT_NE(seen[static_cast<size_t>(i)].thread, std::this_thread::get_id());
    order.append(buffers[i].data(), seen[static_cast<size_t>(i)].bytes);
  }
  EXPECT_EQ(order, "aaaabbbbcc");

  std::string big(1 << 20, 'z');
  Op send = operation(Op::Kind::Send, big.data(), big.size());
  ASSERT_EQ(port.post(s, &send), 0);
  EXPECT_EQ(nettest::recvSome(peer.get(), big.size()).size(), big.size());
  ASSERT_TRUE(waitSeen(4));
  EXPECT_EQ(seen[3].op, &send);
  EXPECT_EQ(seen[3].bytes, big.size());  // every byte, in however many writes
  port.close(s);
}

TEST_F(PortTest, ClosingAbortsWhatIsQueuedAndRefusesMore) {
  nettest::Fd peer;
  CompletionPort::Socket* s = attachedPair(peer);
  ASSERT_NE(s, nullptr);
  char buf[8];
  Op reads[2];
  for (Op& r : reads) {
    r = operation(Op::Kind::Receive, buf, sizeof(buf));
    ASSERT_EQ(port.post(s, &r), 0);
  }
  port.close(s);
  ASSERT_TRUE(waitSeen(2));
  for (const Seen& x : seen) EXPECT_EQ(x.error, zr::net::WSA_OPERATION_ABORTED);
  EXPECT_EQ(nettest::recvSome(peer.get(), 1), "");  // the descriptor is closed
  Op late = operation(Op::Kind::Receive, buf, sizeof(buf));
  EXPECT_EQ(port.post(s, &late), zr::net::WSAENOTSOCK);
  port.close(s);
}

// Takes every descriptor the process may still open, below a limit lowered to just above
// the highest one open, until free() or its end.
class NoDescriptorsLeft {
 public:
  explicit NoDescriptorsLeft(int copyOf) {
    ::getrlimit(RLIMIT_NOFILE, &old_);
    long highest = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      highest = std::max(highest, std::stol(entry.path().filename().string()));
    }
    rlimit lowered = old_;
    lowered.rlim_cur = static_cast<rlim_t>(highest + 1);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
    for (int fd; (fd = ::dup(copyOf)) >= 0;) taken_.emplace_back(fd);
  }
  ~NoDescriptorsLeft() {
    free();
    ::setrlimit(RLIMIT_NOFILE, &old_);
  }
  void free() { taken_.clear(); }

 private:
  rlimit old_{};
  std::vector<nettest::Fd> taken_;
};

TEST_F(PortTest, AListenerOutOfDescriptorsRestsServesTheOthersAndTakesTheConnectionLater) {
  // Watched by its own worker, or by every worker as a server's listening socket is.
  for (bool shared : {false, true}) {
    SCOPED_TRACE(shared);
    {
      std::lock_guard lock(mutex);
      seen.clear();
    }
    nettest::Fd peer;
    CompletionPort::Socket* held = attachedPair(peer);
    ASSERT_NE(held, nullptr);
    int listenPort = 0;
    nettest::Fd listening = nettest::bound(SOCK_STREAM, listenPort);
    ASSERT_EQ(::listen(listening.get(), 8), 0);
    CompletionPort::Socket* listener = attached(listening.get(), shared);
    ASSERT_NE(listener, nullptr);
    Op accept;
    accept.kind = Op::Kind::Accept;
    // As a server does: a failed accept is posted again at once.
    onCompletion = [&](Op* op) {
      if (op == &accept && accept.accepted < 0) port.post(listener, &accept);
    };
    ASSERT_EQ(port.post(listener, &accept), 0);
    char buf[8];
    Op read = operation(Op::Kind::Receive, buf, sizeof(buf));
    ASSERT_EQ(port.post(held, &read), 0);
    nettest::Fd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    auto cpuTime = [] {
      timespec t{};
      clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
      return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    };
    auto waitFor = [&](Op* op) {
      std::unique_lock lock(mutex);
      return changed.wait_for(lock, nettest::kDeadline, [&] {
        return std::any_of(seen.begin(), seen.end(), [&](const Seen& x) { return x.op == op; });
      });
    };
    {
      NoDescriptorsLeft full(client.get());
      const sockaddr_in to = nettest::loopback(listenPort);
      ASSERT_EQ(::connect(client.get(), reinterpret_cast<const sockaddr*>(&to), sizeof(to)), 0);
      ASSERT_TRUE(nettest::sendAll(peer.get(), "x"));
      ASSERT_TRUE(waitFor(&read));  // a connection already held is served meanwhile
      // A listener that tried again at once would keep its worker busy all this time.
      const auto start = cpuTime();
      const auto until = std::chrono::steady_clock::now() + 300ms;
      while (std::chrono::steady_clock::now() < until && cpuTime() - start < 100ms) std::this_thread::sleep_for(5ms);
      EXPECT_LT(cpuTime() - start, 100ms);
      full.free();
      ASSERT_TRUE(waitFor(&accept));
    }
    std::lock_guard lock(mutex);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [&](const Seen& x) { return x.op == &accept && x.error != 0; }),
              0);  // no failed attempt came out
    EXPECT_GE(accept.accepted, 0);
    if (accept.accepted >= 0) ::close(accept.accepted);
    port.close(listener);
    port.close(held);
  }
}

TEST_F(PortTest, AStopFromACompletionEndsTheOthersAndThenItsOwnWorker) {
  nettest::Fd peer;
  CompletionPort::Socket* s = attachedPair(peer);
  ASSERT_NE(s, nullptr);
  std::atomic<bool> othersEnded{false};
  onCompletion = [&](Op*) {
    port.stop();
    othersEnded = port.waitStopped(5000);  // never waits for itself
  };
  char buf[8];
  Op read = operation(Op::Kind::Receive, buf, sizeof(buf));
  ASSERT_EQ(port.post(s, &read), 0);
  ASSERT_TRUE(nettest::sendAll(peer.get(), "x"));
  ASSERT_TRUE(waitSeen(1));
  EXPECT_TRUE(othersEnded);
  ASSERT_TRUE(port.waitStopped(5000));
  port.joinWorkers();
  EXPECT_TRUE(alive.expired());  // every worker let go of what it held
  port.close(s);
}

}  // namespace
