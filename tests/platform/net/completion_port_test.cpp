// The completion port on its own: posted operations on loopback sockets, the order of one
// socket's completions, closing with operations queued, and a stop from a completion.
#include "net/completion_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "net/wsa_error.h"
#include "platform/net/loopback_peer.h"

namespace {

using zr::net::CompletionPort;
using Op = CompletionPort::Operation;
using namespace std::chrono_literals;

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
  // A connected pair: the port's end and the peer's.
  CompletionPort::Socket* attachedPair(nettest::Fd& peer) {
    nettest::Listener listener;
    peer = nettest::tcpConnect(listener.port);
    nettest::Fd mine = listener.accept();
    const int fd = dup(mine.get());
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    int error = -1;
    sockets.push_back(port.attach(fd, nullptr, error));
    EXPECT_EQ(error, 0);
    return sockets.back().get();
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
    reads[i].kind = Op::Kind::Receive;
    reads[i].buffer = buffers[i].data();
    reads[i].size = 4;
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
  Op send;
  send.kind = Op::Kind::Send;
  send.buffer = big.data();
  send.size = big.size();
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
    r.kind = Op::Kind::Receive;
    r.buffer = buf;
    r.size = sizeof(buf);
    ASSERT_EQ(port.post(s, &r), 0);
  }
  port.close(s);
  ASSERT_TRUE(waitSeen(2));
  for (const Seen& x : seen) EXPECT_EQ(x.error, zr::net::WSA_OPERATION_ABORTED);
  EXPECT_EQ(nettest::recvSome(peer.get(), 1), "");  // the descriptor is closed
  Op late;
  late.kind = Op::Kind::Receive;
  late.buffer = buf;
  late.size = sizeof(buf);
  EXPECT_EQ(port.post(s, &late), zr::net::WSAENOTSOCK);
  port.close(s);
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
  Op read;
  read.kind = Op::Kind::Receive;
  read.buffer = buf;
  read.size = sizeof(buf);
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
