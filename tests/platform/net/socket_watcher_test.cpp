#include "net/socket_watcher.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/net/loopback_peer.h"

namespace zr::net {
namespace {

using namespace std::chrono_literals;
using Notice = SocketWatcher::Notice;
using nettest::Fd;

// The notices a watcher gave, in order, taken one by one with a deadline.
class NoticeLog {
 public:
  SocketWatcher::Notify notify() {
    return [this](Notice n) {
      std::lock_guard lock(m_);
      notices_.push_back(n);
      cv_.notify_all();
    };
  }
  std::optional<Notice> next(std::chrono::milliseconds limit = nettest::kDeadline) {
    std::unique_lock lock(m_);
    if (!cv_.wait_for(lock, limit, [&] { return !notices_.empty(); })) return std::nullopt;
    Notice n = notices_.front();
    notices_.pop_front();
    return n;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<Notice> notices_;
};

// How long a test gives a notice that must not come.
constexpr auto kQuiet = 50ms;

class StreamWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    client = nettest::tcpConnect(listener.port);
    ASSERT_GE(client.get(), 0);
    peer = listener.accept();
    ASSERT_GE(peer.get(), 0);
    ASSERT_EQ(SocketWatcher::start(client.get(), true, log.notify(), watcher), 0);
  }
  // What the owner does with a read notice when it receives in its handler.
  std::string receive() {
    char buf[4096];
    ssize_t n = ::recv(client.get(), buf, sizeof(buf), MSG_DONTWAIT);
    watcher->rearm();
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
  }

  nettest::Listener listener;
  Fd client;
  Fd peer;
  NoticeLog log;
  std::unique_ptr<SocketWatcher> watcher;
};

TEST_F(StreamWatch, OneReadNoticeAtATimeUntilReceivedAndHandled) {
  ASSERT_TRUE(nettest::sendAll(peer.get(), "one"));
  EXPECT_EQ(log.next(), Notice::Read);
  ASSERT_TRUE(nettest::sendAll(peer.get(), "two"));
  EXPECT_EQ(log.next(kQuiet), std::nullopt);  // not received yet
  receive();
  ASSERT_TRUE(nettest::sendAll(peer.get(), "three"));
  EXPECT_EQ(log.next(kQuiet), std::nullopt);  // received, but the notice is still being handled
  watcher->noticeHandled();
  EXPECT_EQ(log.next(), Notice::Read);
}

TEST_F(StreamWatch, DataSentBeforeTheCloseIsAnnouncedFirstAndCanBeRead) {
  ASSERT_TRUE(nettest::sendAll(peer.get(), "last words"));
  peer.reset();
  ASSERT_EQ(log.next(), Notice::Read);
  EXPECT_EQ(log.next(kQuiet), std::nullopt);  // no close while the read notice is out
  EXPECT_EQ(receive(), "last words");
  watcher->noticeHandled();
  EXPECT_EQ(log.next(), Notice::Close);
  EXPECT_EQ(log.next(kQuiet), std::nullopt);  // once only
}

TEST_F(StreamWatch, CloseStillComesWhenTheOwnerIgnoresTheData) {
  ASSERT_TRUE(nettest::sendAll(peer.get(), "unread"));
  peer.reset();
  ASSERT_EQ(log.next(), Notice::Read);
  watcher->noticeHandled();  // handled without receiving
  EXPECT_EQ(log.next(), Notice::Close);
}

TEST_F(StreamWatch, AResetIsAClose) {
  nettest::resetClose(peer);
  EXPECT_EQ(log.next(), Notice::Close);
}

TEST(DatagramWatch, ReadNoticesOnlyAndNeverAClose) {
  int peerPort = 0;
  int ownPort = 0;
  Fd peer = nettest::bound(SOCK_DGRAM, peerPort);
  Fd own = nettest::bound(SOCK_DGRAM, ownPort);
  NoticeLog log;
  std::unique_ptr<SocketWatcher> watcher;
  ASSERT_EQ(SocketWatcher::start(own.get(), false, log.notify(), watcher), 0);
  sockaddr_in a = nettest::loopback(ownPort);
  ASSERT_EQ(::sendto(peer.get(), "d", 1, 0, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 1);
  EXPECT_EQ(log.next(), Notice::Read);
  char buf[8];
  ASSERT_EQ(::recv(own.get(), buf, sizeof(buf), 0), 1);
  watcher->rearm();
  watcher->noticeHandled();
  peer.reset();
  EXPECT_EQ(log.next(kQuiet), std::nullopt);
}

}  // namespace
}  // namespace zr::net
