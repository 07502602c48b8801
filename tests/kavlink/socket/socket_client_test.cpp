// The TCP client against real peers on 127.0.0.1: connect, transfers, waits and notices.
#include <atomic>
#include <chrono>
#include <csignal>

#include "kavlink/socket/socket_fixture.h"
#include "text/ticks.h"

namespace sockettest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using kavlink::_IZrSocketEvents;
using nettest::Fd;

long long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class TcpClient : public SocketTest {
 protected:
  void SetUp() override {
    SocketTest::SetUp();
    target(listener.port);
  }
  // Connects and takes the peer's end.
  void open() {
    ASSERT_TRUE(connect());
    peer = listener.accept();
    ASSERT_GE(peer.get(), 0);
  }

  nettest::Listener listener;
  Fd peer;
};

TEST_F(TcpClient, ConnectTwiceFailsWithItsOwnCode) {
  open();
  EXPECT_FALSE(connect());
  EXPECT_EQ(lastError(), 113);
  EXPECT_EQ(lastErrorText(), "Connect failed, socket already connected!");
  EXPECT_TRUE(connected());  // the first connection is untouched
}

TEST_F(SocketTest, FailedConnectsLeaveNoSocketAndNoWindow) {
  nettest::ClosedPort closed;
  struct Case {
    const char* host;
    LONG port;
    LONG code;
    const char* text;
  };
  const Case cases[] = {
      {"127.0.0.1", closed.port, 10061, "WSAECONNREFUSED"},
      {"127.0.0.1", 65536 + closed.port, 10109, "Unknow error msg"},  // never wrapped onto another port
      {"no-such-host.invalid", 80, 11001, "Unknow error msg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    socket->put_Host(wide(c.host).get());
    socket->put_Port(c.port);
    EXPECT_FALSE(connect());
    EXPECT_EQ(lastError(), c.code);
    EXPECT_EQ(lastErrorText(), c.text);
    EXPECT_FALSE(connected());
    EXPECT_EQ(socketValue(), 0);
    EXPECT_EQ(obj->noticeWindow(), nullptr);
  }
}

TEST_F(TcpClient, AnEmptyHostConnectsToTheLocalHost) {
  socket->put_Host(wide("").get());
  open();
  EXPECT_TRUE(connected());
  EXPECT_NE(socketValue(), 0);
}

TEST_F(TcpClient, CloseEndsTheConnectionAndAllowsANewOne) {
  open();
  ASSERT_NE(obj->noticeWindow(), nullptr);
  socket->Close();
  EXPECT_FALSE(connected());
  EXPECT_EQ(socketValue(), 0);
  EXPECT_EQ(obj->noticeWindow(), nullptr);
  EXPECT_EQ(nettest::recvSome(peer.get(), 1), "");  // the peer sees the close
  open();
  ASSERT_TRUE(send("again"));
  EXPECT_EQ(nettest::recvSome(peer.get(), 5), "again");
}

TEST_F(TcpClient, RequestAndReplyThroughSendWaitAndRecv) {
  socket->put_AutoEvent(VARIANT_FALSE);
  open();
  EXPECT_EQ(obj->noticeWindow(), nullptr);
  ASSERT_TRUE(send("request"));
  EXPECT_EQ(nettest::recvSome(peer.get(), 7), "request");
  ASSERT_TRUE(nettest::sendAll(peer.get(), "reply"));
  EXPECT_EQ(waitForData(5000), 1);
  EXPECT_EQ(recv(), "reply");
  peer.reset();
  EXPECT_EQ(waitForData(5000), 1);
  LONG n = -1;
  recv(&n);
  EXPECT_EQ(n, 0);  // the peer closed
}

TEST_F(TcpClient, RecvTakesAtMostBufferSizeBytes) {
  socket->put_BufferSize(4);
  open();
  ASSERT_TRUE(nettest::sendAll(peer.get(), "abcdefgh"));
  ASSERT_EQ(waitForData(5000), 1);
  EXPECT_EQ(recv(), "abcd");
}

TEST_F(TcpClient, PeerThatClosesIsReadFirstThenClosedOnTheConnectingThread) {
  advise();
  std::string received;
  sink.handler = [&](const Event& e) {
    if (e.id == _IZrSocketEvents::kOnRecv) received += recv();
  };
  for (const std::string payload : {"final reading", ""}) {
    SCOPED_TRACE(payload);
    sink.events.clear();
    received.clear();
    open();
    ASSERT_TRUE(nettest::sendAll(peer.get(), payload));
    peer.reset();
    ASSERT_TRUE(pumpUntil([&] { return !connected(); }));
    EXPECT_EQ(received, payload);
    ASSERT_EQ(sink.count(_IZrSocketEvents::kOnClose), 1u);
    EXPECT_EQ(sink.events.back().id, _IZrSocketEvents::kOnClose);
    EXPECT_EQ(sink.events.back().numbers, std::vector<long long>{0});
    for (const Event& e : sink.events) EXPECT_EQ(e.thread, std::this_thread::get_id());
    EXPECT_EQ(socketValue(), 0);
    EXPECT_EQ(obj->noticeWindow(), nullptr);
  }
}

TEST_F(TcpClient, AConnectionMadeAgainInTheCloseHandlerStays) {
  advise();
  open();
  bool again = false;
  sink.handler = [&](const Event& e) {
    if (e.id != _IZrSocketEvents::kOnClose) return;
    socket->Close();  // still connected while the handler runs
    again = connect();
  };
  peer.reset();
  ASSERT_TRUE(pumpUntil([&] { return again; }));
  EXPECT_TRUE(connected());
  Fd second = listener.accept();
  ASSERT_TRUE(send("still here"));
  EXPECT_EQ(nettest::recvSome(second.get(), 10), "still here");
}

TEST_F(TcpClient, ReadNoticeCarriesTheSocketAndNoData) {
  advise();
  open();
  const LONG value = socketValue();
  ASSERT_TRUE(nettest::sendAll(peer.get(), "x"));
  ASSERT_TRUE(pumpUntil([&] { return sink.count(_IZrSocketEvents::kOnRecv) > 0; }));
  EXPECT_EQ(sink.events.front().numbers, (std::vector<long long>{value, 0, 0}));
  // Nobody has received: no second notice for more data.
  ASSERT_TRUE(nettest::sendAll(peer.get(), "y"));
  EXPECT_FALSE(pumpUntil([&] { return sink.count(_IZrSocketEvents::kOnRecv) > 1; }, kQuiet));
  EXPECT_EQ(recv(), "xy");
  ASSERT_TRUE(nettest::sendAll(peer.get(), "z"));
  EXPECT_TRUE(pumpUntil([&] { return sink.count(_IZrSocketEvents::kOnRecv) > 1; }));
}

TEST_F(TcpClient, ASinkAdvisedAfterConnectHearsOfAReplyTakenInsideAWait) {
  open();
  advise();
  ASSERT_TRUE(nettest::sendAll(peer.get(), "reply"));
  ASSERT_EQ(waitForData(5000), 1);
  EXPECT_EQ(recv(), "reply");
  EXPECT_TRUE(pumpUntil([&] { return sink.count(_IZrSocketEvents::kOnRecv) == 1; }));
}

TEST_F(TcpClient, APeerCloseSeenByTheOwnerClosesTheObjectAlsoWithNobodyListening) {
  open();
  peer.reset();
  ASSERT_EQ(waitForData(5000), 1);
  LONG n = -1;
  recv(&n);
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(pumpUntil([&] { return !connected(); }));
  EXPECT_EQ(obj->noticeWindow(), nullptr);
}

TEST_F(TcpClient, UnusableBuffersFailWithFaultAndMoveNothing) {
  socket->put_AutoEvent(VARIANT_FALSE);
  open();
  ASSERT_TRUE(nettest::sendAll(peer.get(), "kept"));
  ASSERT_EQ(waitForData(5000), 1);
  const char data[4] = {'a', 'b', 'c', 'd'};
  struct SendCase {
    PTRBUF buf;
    LONG len;
    bool ok;
  };
  const SendCase sends[] = {
      {reinterpret_cast<PTRBUF>(data), -1, true},  // nothing to send: done
      {0, -1, true},
      {0, 4, false},
      {reinterpret_cast<PTRBUF>(data), 0, true},
      {0, 0, true},
  };
  for (const SendCase& c : sends) {
    SCOPED_TRACE(c.len);
    VARIANT_BOOL ok = -7;
    socket->Send(c.buf, c.len, &ok);
    EXPECT_EQ(ok, c.ok ? 1 : 0);
    if (!c.ok) {
      EXPECT_EQ(lastError(), 10014);
    }
    VARIANT_BOOL sent = VARIANT_TRUE;
    socket->SendTo(wide("127.0.0.1").get(), listener.port, c.buf, c.len, &sent);
    if (!c.ok) {
      EXPECT_EQ(sent, VARIANT_FALSE);
    }
  }
  LONG n = 0;
  socket->Recv(0, &n);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(lastError(), 10014);
  Bstr ip;
  LONG port = 0;
  n = 0;
  socket->RecvFrom(ip.put(), &port, 0, &n);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(lastError(), 10014);
  EXPECT_EQ(nettest::recvSome(peer.get(), 1, kQuiet), "") << "nothing may reach the peer";
  EXPECT_EQ(recv(), "kept");  // nor was anything taken from it
}

TEST_F(SocketTest, TransfersWithoutAConnectionFailWithNotSock) {
  EXPECT_FALSE(send("x"));
  EXPECT_EQ(lastError(), 10038);
  LONG n = 0;
  recv(&n);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(lastError(), 10038);
  // The wait ends at once so that the following receive can say why.
  auto start = Clock::now();
  EXPECT_EQ(waitForData(5000), 1);
  EXPECT_LT(msSince(start), 5000);
  EXPECT_EQ(waitForData(0), 0);
}

// Counts SIGPIPE instead of letting it end the test program.
std::atomic<int> g_sigpipes{0};

TEST_F(TcpClient, SendToAResetPeerFailsWithResetAndNoSignal) {
  struct sigaction counting {
  }, old{};
  counting.sa_handler = [](int) { ++g_sigpipes; };
  sigaction(SIGPIPE, &counting, &old);
  g_sigpipes = 0;
  socket->put_AutoEvent(VARIANT_FALSE);
  open();
  nettest::resetClose(peer);
  bool ok = true;
  for (int i = 0; i < 100 && ok; ++i) {
    ok = send("data");
    if (ok) waitForData(10);
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(lastError(), 10054);
  EXPECT_EQ(lastErrorText(), "WSAECONNRESET");
  // Once the reset has been reported, Linux would raise the signal on every further send.
  EXPECT_FALSE(send("more"));
  EXPECT_EQ(lastError(), 10054);
  sigaction(SIGPIPE, &old, nullptr);
  EXPECT_EQ(g_sigpipes, 0);
}

TEST_F(TcpClient, WaitsWithoutDataEndWithZeroAfterTheirTime) {
  socket->put_AutoEvent(VARIANT_FALSE);
  open();
  struct Case {
    LONG timeout;
    bool stopFirst;
    uint32_t atLeastTicks;
  };
  // A Stop before the wait has no effect on it.
  const Case cases[] = {{0, false, 0}, {-5, false, 0}, {50, false, 50}, {30, true, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timeout);
    if (c.stopFirst) socket->Stop();
    // Measured on the clock the wait itself counts on: another clock's milliseconds can
    // begin part of a tick earlier and see a wait of 50 ticks as 49 ms.
    const uint32_t start = zr::text::tickCount();
    EXPECT_EQ(waitForData(c.timeout), 0);
    EXPECT_GE(zr::text::tickCount() - start, c.atLeastTicks);
  }
}

// Windows of the test thread whose messages act during a wait: one asks the socket to stop
// waiting, the other makes the peer send.
zr::msg::LRESULT stopProc(zr::msg::HWND hwnd, zr::msg::UINT, zr::msg::WPARAM, zr::msg::LPARAM) {
  static_cast<IZrSocket*>(zr::msg::getProp(hwnd, "socket"))->Stop();
  *static_cast<bool*>(zr::msg::getProp(hwnd, "seen")) = true;
  return 1;
}

zr::msg::LRESULT peerSendsProc(zr::msg::HWND hwnd, zr::msg::UINT, zr::msg::WPARAM, zr::msg::LPARAM) {
  *static_cast<Clock::time_point*>(zr::msg::getProp(hwnd, "sentAt")) = Clock::now();
  nettest::sendAll(static_cast<int>(reinterpret_cast<intptr_t>(zr::msg::getProp(hwnd, "peer"))), "late");
  return 1;
}

TEST_F(TcpClient, AMessageDuringTheWaitIsDispatchedUnlessBlocking) {
  socket->put_AutoEvent(VARIANT_FALSE);
  open();
  for (bool blocking : {false, true}) {
    SCOPED_TRACE(blocking);
    socket->put_Blocking(blocking ? VARIANT_TRUE : VARIANT_FALSE);
    bool seen = false;
    zr::msg::HWND w = zr::msg::createWindow("StopperWindow", &stopProc);
    zr::msg::setProp(w, "socket", socket.get());
    zr::msg::setProp(w, "seen", &seen);
    zr::msg::postMessage(w, zr::msg::WM_USER, 0, 0);
    auto start = Clock::now();
    EXPECT_EQ(waitForData(blocking ? 40 : 5000), 0);
    EXPECT_EQ(seen, !blocking);  // dispatched, its Stop ended the wait
    if (blocking) {
      EXPECT_GE(msSince(start), 40);
    } else {
      EXPECT_LT(msSince(start), 5000);
    }
    EXPECT_TRUE(pumpUntil([&] { return seen; }));
    zr::msg::destroyWindow(w);
  }
}

TEST_F(TcpClient, DataArrivingDuringTheWaitEndsIt) {
  socket->put_AutoEvent(VARIANT_FALSE);
  open();
  zr::msg::HWND w = zr::msg::createWindow("PeerWindow", &peerSendsProc);
  zr::msg::setProp(w, "peer", reinterpret_cast<void*>(static_cast<intptr_t>(peer.get())));
  Clock::time_point sentAt;
  zr::msg::setProp(w, "sentAt", &sentAt);
  zr::msg::postMessage(w, zr::msg::WM_USER, 0, 0);
  EXPECT_EQ(obj->WaitReadable(5000), 1);
  // Seen at once, not at the end of the 20 ms step in which the data came.
  EXPECT_LT(msSince(sentAt), 10);
  EXPECT_EQ(recv(), "late");
  zr::msg::destroyWindow(w);
}

TEST_F(SocketTest, NameLookUps) {
  Bstr ip;
  ASSERT_EQ(socket->GetIPByHost(wide("localhost").get(), ip.put()), S_OK);
  EXPECT_EQ(narrow(ip), "127.0.0.1");
  Bstr name;
  ASSERT_EQ(socket->GetHostByIP(wide("127.0.0.1").get(), name.put()), S_OK);
  EXPECT_FALSE(narrow(name).empty());
  char own[256] = {};
  ::gethostname(own, sizeof(own) - 1);
  Bstr local;
  ASSERT_EQ(socket->GetLocalHost(local.put()), S_OK);
  EXPECT_EQ(narrow(local), own);
  Bstr localIp;
  ASSERT_EQ(socket->GetLocalIP(localIp.put()), S_OK);
  in_addr parsed{};
  EXPECT_EQ(::inet_pton(AF_INET, narrow(localIp).c_str(), &parsed), 1) << narrow(localIp);
}

TEST_F(SocketTest, FailedLookUpsGiveNoResult) {
  struct Case {
    HRESULT (IZrSocket::*method)(BSTR, BSTR*);
    std::string argument;
    LONG code;  // the last error afterwards
  };
  const Case cases[] = {
      {&IZrSocket::GetIPByHost, "no-such-host.invalid", 10061},
      {&IZrSocket::GetHostByIP, "bad address.invalid", 10061},
      // Cut to its first 19 characters, an address could name another host.
      {&IZrSocket::GetHostByIP, "127.000.000.00000001", 10022},
      {&IZrSocket::GetIPByHost, std::string(1025, 'h'), 10022},
  };
  nettest::ClosedPort closed;
  target(closed.port);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    EXPECT_FALSE(connect());  // leaves 10061, which a failed look-up does not touch
    Bstr before(u"as passed");
    BSTR result = before.get();
    ASSERT_EQ(((*socket).*c.method)(wide(c.argument).get(), &result), S_OK);
    EXPECT_EQ(result, before.get());
    EXPECT_EQ(lastError(), c.code);
  }
}

}  // namespace
}  // namespace sockettest
