// The TCP and UDP server against plain peers on the loopback address: starting, events on
// the worker threads, sends, closing one connection, and stopping.
#include <poll.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <map>

#include "kavlink/socket/server_fixture.h"

namespace sockettest {
namespace {

using nettest::Fd;
using namespace std::chrono_literals;

TEST_F(ServerTest, ListenTwiceIsRefusedWhileRunning) {
  ASSERT_EQ(listen(), 1);
  EXPECT_EQ(lastError(), 0);
  EXPECT_EQ(listen(), 0);
  EXPECT_EQ(lastError(), 109);
  EXPECT_EQ(lastErrorText(), "server no close");
  EXPECT_EQ(clientCount(), 1);  // the first server runs on
}

TEST_F(ServerTest, FailedListensLeaveTheServerIdle) {
  nettest::Listener taken;  // a port another socket listens on
  struct Case {
    const char* name;
    int port;
    kavlink::TIpProtocol protocol;
    const char* host;
    kavlink::TAddrFamily family;
    LONG code;
    const char* text;
  };
  const Case cases[] = {
      {"port in use", taken.port, kavlink::ipTCP, "127.0.0.1", kavlink::afIPv4, 114, "bing socket addr error"},
      {"address of another family", freePort(), kavlink::ipTCP, "::1", kavlink::afIPv4, 114, "bing socket addr error"},
      {"no such family", freePort(), kavlink::ipTCP, "127.0.0.1", static_cast<kavlink::TAddrFamily>(99), 101,
       "create iocp error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(listenOn(c.port, c.protocol, c.host, c.family), 0);
    EXPECT_EQ(lastError(), c.code);
    EXPECT_EQ(lastErrorText(), c.text);
    EXPECT_EQ(clientCount(), 0);
    EXPECT_EQ(socketValue(), 0);
  }
  EXPECT_EQ(listen(), 1);  // idle again: a good Listen works
}

TEST_F(ServerTest, TheDefaultThreadCountCountsOnlyTheProcessorsThisProcessMayUse) {
  cpu_set_t all;
  ASSERT_EQ(::sched_getaffinity(0, sizeof(all), &all), 0);
  int first = 0;
  while (!CPU_ISSET(first, &all)) ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(::sched_setaffinity(0, sizeof(one), &one), 0);  // as taskset or a container would
  auto fresh = ComPtr<IZrSocket>::attach(static_cast<IZrSocket*>(CZrSocket::create()));
  ASSERT_EQ(::sched_setaffinity(0, sizeof(all), &all), 0);
  LONG threads = 0;
  fresh->get_ThreadCount(&threads);
  EXPECT_EQ(threads, 2);
}

TEST_F(ServerTest, AServerStartedAgainOnItsPortBindsAtOnce) {
  adviseServer();
  ASSERT_EQ(listen(), 1);
  const int first = port;
  Fd client = nettest::tcpConnect(first);
  ASSERT_TRUE(events.waitCount(_IZrSocketEvents::kOnAccept, 1));
  socket->Close();  // the server side closes first: its end waits in TIME_WAIT
  EXPECT_EQ(nettest::recvSome(client.get(), 1), "");
  EXPECT_EQ(listenOn(first), 1) << lastError();
}

class ServerFamilies : public ServerTest, public ::testing::WithParamInterface<int> {};

TEST_P(ServerFamilies, AClientThatSendsAndClosesIsSeenOnWorkerThreadsWithOneHandle) {
  const int family = GetParam();
  if (family == AF_INET6 && !ipv6Loopback()) GTEST_SKIP() << "no IPv6 loopback here";
  adviseServer();
  const bool v6 = family == AF_INET6;
  ASSERT_EQ(listen(kavlink::ipTCP, v6 ? "::1" : "127.0.0.1", v6 ? kavlink::afIPv6 : kavlink::afIPv4), 1);
  EXPECT_GT(socketValue(), 0);  // the listening socket
  Fd client = tcpConnectTo(family, port);
  ASSERT_GE(client.get(), 0);
  sockaddr_storage own{};
  socklen_t len = sizeof(own);
  ::getsockname(client.get(), reinterpret_cast<sockaddr*>(&own), &len);
  const int ownPort =
      ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&own)->sin6_port : reinterpret_cast<sockaddr_in*>(&own)->sin_port);
  ASSERT_TRUE(nettest::sendAll(client.get(), "12345"));
  ASSERT_TRUE(events.waitFor([](const auto& all) {
    size_t bytes = 0;
    for (const ServerEvent& e : all) bytes += e.data.size();
    return bytes >= 5;
  }));
  client.reset();
  ASSERT_TRUE(events.waitCount(_IZrSocketEvents::kOnClose, 1));

  const std::vector<ServerEvent> all = events.events();
  ASSERT_GE(all.size(), 3u);
  EXPECT_EQ(all.front().id, _IZrSocketEvents::kOnAccept);
  EXPECT_EQ(all.front().ip, v6 ? "::1" : "127.0.0.1");
  EXPECT_EQ(all.front().port, ownPort);
  EXPECT_EQ(all.back().id, _IZrSocketEvents::kOnClose);
  std::string received;
  for (const ServerEvent& e : all) {
    EXPECT_NE(e.thread, std::this_thread::get_id());
    EXPECT_EQ(e.handle, all.front().handle);
    if (e.id == _IZrSocketEvents::kOnRecv) received += e.data;
  }
  EXPECT_EQ(received, "12345");
  EXPECT_TRUE(clientCountBecomes(1));
}

INSTANTIATE_TEST_SUITE_P(Loopback, ServerFamilies, ::testing::Values(AF_INET, AF_INET6));

// Mobile links often reset or half-close right after their last bytes, so the end arrives
// in the same wake-up as the data. The host echoes every receive.
TEST_F(ServerTest, EveryWayAConnectionEndsGivesItsDataAndOneOnClose) {
  enum class End { Close, Reset, HalfClose, ResetWhileAnswered, HalfCloseWhileAnswered };
  struct Case {
    const char* name;
    size_t bytes;
    End end;
  };
  const Case cases[] = {
      {"close after data", 5, End::Close},
      {"reset without data", 0, End::Reset},
      {"reset right after 1000 bytes", 1000, End::Reset},
      {"reset right after 3000 bytes", 3000, End::Reset},
      {"reset right after 4096 bytes", 4096, End::Reset},
      {"half-close right after 1 byte", 1, End::HalfClose},
      {"half-close right after 10000 bytes", 10000, End::HalfClose},
      {"reset while a long answer is sent: the send fails", 1, End::ResetWhileAnswered},
      {"half-close while a long answer is sent: all of it still comes", 1, End::HalfCloseWhileAnswered},
  };
  constexpr size_t kClients = 10;
  const std::string longAnswer(8 << 20, 'L');  // stays in flight: the peer does not read it
  std::atomic<bool> answerLong{false};
  events.handler = [&](const ServerEvent& e) {
    if (e.id != _IZrSocketEvents::kOnRecv) return;
    if (answerLong) {
      postSend(e.handle, longAnswer);
    } else {
      postSend(e.handle, reinterpret_cast<const void*>(e.buffer), e.len);
    }
  };
  adviseServer();
  ASSERT_EQ(listen(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    answerLong = c.end == End::ResetWhileAnswered || c.end == End::HalfCloseWhileAnswered;
    const size_t before = events.total();
    std::vector<Fd> clients;
    std::set<LONG> ports;
    for (size_t i = 0; i < kClients; ++i) {
      clients.push_back(nettest::tcpConnect(port));
      ASSERT_GE(clients.back().get(), 0);
      ports.insert(nettest::localPort(clients.back().get()));
    }
    std::string data(c.bytes, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 23);
    for (Fd& client : clients) {
      if (!data.empty()) {
        ASSERT_TRUE(nettest::sendAll(client.get(), data));
      }
      switch (c.end) {
        case End::Close:
          client.reset();
          break;
        case End::Reset:
          nettest::resetClose(client);
          break;
        case End::HalfClose:
          ::shutdown(client.get(), SHUT_WR);
          break;
        case End::ResetWhileAnswered:
          ASSERT_EQ(nettest::recvSome(client.get(), 1), "L");
          nettest::resetClose(client);
          break;
        case End::HalfCloseWhileAnswered:
          ASSERT_EQ(nettest::recvSome(client.get(), 1), "L");
          ::shutdown(client.get(), SHUT_WR);
          break;
      }
    }
    if (c.end == End::HalfClose || c.end == End::HalfCloseWhileAnswered) {
      const std::string answer = c.end == End::HalfClose ? data : longAnswer.substr(1);
      for (Fd& client : clients) {
        EXPECT_TRUE(nettest::recvSome(client.get(), answer.size()) == answer);
        char byte;
        pollfd p{client.get(), POLLIN, 0};
        EXPECT_EQ(::poll(&p, 1, 5000), 1);
        EXPECT_EQ(::recv(client.get(), &byte, 1, 0), 0);  // the server closed its end too
      }
    }
    ASSERT_TRUE(events.waitFor([&](const std::vector<ServerEvent>& all) {
      return std::count_if(all.begin() + static_cast<ptrdiff_t>(before), all.end(), [](const ServerEvent& e) {
               return e.id == _IZrSocketEvents::kOnClose;
             }) == static_cast<ptrdiff_t>(kClients);
    }));
    EXPECT_TRUE(clientCountBecomes(1));
    const std::vector<ServerEvent> all = events.events();
    std::map<ULONG, std::string> received;
    std::map<ULONG, int> closes;
    for (size_t i = before; i < all.size(); ++i) {
      const ServerEvent& e = all[i];
      if (e.id == _IZrSocketEvents::kOnAccept) {
        EXPECT_EQ(ports.count(e.port), 1u);
        received[e.handle];
      } else if (e.id == _IZrSocketEvents::kOnRecv) {
        received[e.handle] += e.data;
      } else if (e.id == _IZrSocketEvents::kOnClose) {
        ++closes[e.handle];
      }
    }
    ASSERT_EQ(received.size(), kClients);
    for (const auto& [handle, bytes] : received) {
      EXPECT_TRUE(bytes == data) << handle << ": " << bytes.size() << " bytes";
      EXPECT_EQ(closes[handle], 1) << handle;
    }
  }
}

TEST_F(ServerTest, ClientCountIsConnectionsAndTheListeningSocket) {
  EXPECT_EQ(clientCount(), 0);
  adviseServer();
  ASSERT_EQ(listen(), 1);
  EXPECT_EQ(clientCount(), 1);
  Fd a = nettest::tcpConnect(port);
  acceptedHandle(1);
  EXPECT_EQ(clientCount(), 2);
  Fd b = nettest::tcpConnect(port);
  acceptedHandle(2);
  EXPECT_EQ(clientCount(), 3);
  a.reset();
  EXPECT_TRUE(clientCountBecomes(2));
}

TEST_F(ServerTest, MembersThatDoNotFailLeaveTheLastErrorAlone) {
  nettest::ClosedPort closed;
  target(closed.port);
  EXPECT_FALSE(connect());
  ASSERT_EQ(lastError(), 10061);
  clientCount();
  socket->CloseSocket(1);  // no server: nothing to do
  EXPECT_EQ(lastError(), 10061);
  adviseServer();
  ASSERT_EQ(listen(), 1);
  Fd client = nettest::tcpConnect(port);
  const ULONG handle = acceptedHandle();
  EXPECT_EQ(postSend(handle, "x"), 1);
  // A failing member sets its code; the ones that work afterwards keep it.
  EXPECT_EQ(postSend(handle + 1000, "x"), 0);
  EXPECT_EQ(lastError(), 105);
  clientCount();
  socket->CloseSocket(handle);
  EXPECT_EQ(postSend(handle, "x"), 0);  // closing or gone
  const LONG code = lastError();
  EXPECT_TRUE(code == 112 || code == 105) << code;
  clientCount();
  EXPECT_EQ(lastError(), code);
}

zr::msg::LRESULT answerProc(zr::msg::HWND hwnd, zr::msg::UINT, zr::msg::WPARAM, zr::msg::LPARAM) {
  *static_cast<std::atomic<bool>*>(zr::msg::getProp(hwnd, "answered")) = true;
  return 1;
}

TEST_F(ServerTest, CloseDispatchesTheMessagesAHandlerWaitsFor) {
  std::atomic<bool> entered{false};
  std::atomic<bool> answered{false};
  zr::msg::HWND w = zr::msg::createWindow("ServerCloser", &answerProc);
  zr::msg::setProp(w, "answered", &answered);
  events.handler = [&](const ServerEvent& e) {
    if (e.id != _IZrSocketEvents::kOnRecv) return;
    entered = true;
    // Only the thread that closes the server can answer it.
    zr::msg::sendMessage(w, zr::msg::WM_USER, 0, 0);
  };
  adviseServer();
  ASSERT_EQ(listen(), 1);
  Fd client = nettest::tcpConnect(port);
  ASSERT_TRUE(nettest::sendAll(client.get(), "x"));
  ASSERT_TRUE(eventually([&] { return entered.load(); }));
  socket->Close();
  EXPECT_TRUE(answered);
  zr::msg::destroyWindow(w);
}

TEST_F(ServerTest, CloseSocketEndsAConnectionWithoutOnClose) {
  adviseServer();
  ASSERT_EQ(listen(), 1);
  Fd client = nettest::tcpConnect(port);
  const ULONG handle = acceptedHandle();
  socket->CloseSocket(handle);
  EXPECT_EQ(nettest::recvSome(client.get(), 1), "");  // the peer sees the close
  ASSERT_TRUE(clientCountBecomes(1));
  // Freed: the handle is unknown from now on, also after other connections came.
  EXPECT_EQ(postSend(handle, "late"), 0);
  EXPECT_EQ(lastError(), 105);
  EXPECT_EQ(lastErrorText(), "socket obj is null");
  Fd next = nettest::tcpConnect(port);
  const ULONG second = acceptedHandle(2);
  EXPECT_GT(second, handle);  // handles are not given twice
  EXPECT_EQ(postSend(handle, "late"), 0);
  EXPECT_EQ(lastError(), 105);
  // Closing again, or closing the listening socket, does nothing.
  socket->CloseSocket(handle);
  EXPECT_EQ(clientCount(), 2);
  // The marker: an OnClose of the first connection would have come before its record went,
  // so before the second one's.
  next.reset();
  ASSERT_TRUE(events.waitCount(_IZrSocketEvents::kOnClose, 1));
  EXPECT_EQ(events.count(_IZrSocketEvents::kOnClose), 1u);
  for (const ServerEvent& e : events.events()) {
    if (e.id == _IZrSocketEvents::kOnClose) {
      EXPECT_EQ(e.handle, second);
    }
  }
}

TEST_F(ServerTest, PostSendChecksItsArgumentsAndSendsEveryByte) {
  adviseServer();
  socket->put_BufferSize(64);
  ASSERT_EQ(listen(), 1);
  Fd client = nettest::tcpConnect(port);
  const ULONG handle = acceptedHandle();
  const char data[4] = {'a', 'b', 'c', 'd'};
  struct Case {
    const char* name;
    PTRBUF buf;
    LONG len;
    VARIANT_BOOL result;
    LONG code;
  };
  const Case cases[] = {
      {"negative length", reinterpret_cast<PTRBUF>(data), -1, 0, 10022},
      {"no buffer", 0, 4, 0, 10014},
      {"nothing to send", 0, 0, 1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VARIANT_BOOL ok = -7;
    socket->PostSend(handle, c.buf, c.len, &ok);
    EXPECT_EQ(ok, c.result);
    if (c.code >= 0) {
      EXPECT_EQ(lastError(), c.code);
    }
  }
  EXPECT_EQ(nettest::recvSome(client.get(), 1, kQuiet), "");
  // Longer than BufferSize: all of it, not the first 64 bytes.
  std::string big(10000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('A' + i % 26);
  EXPECT_EQ(postSend(handle, big), 1);
  EXPECT_EQ(nettest::recvSome(client.get(), big.size()), big);
}

TEST_F(ServerTest, PostSendCopiesTheBytesAtOnce) {
  adviseServer();
  socket->put_OverlappedSize(32);
  ASSERT_EQ(listen(), 1);
  Fd client = nettest::tcpConnect(port);
  const ULONG handle = acceptedHandle();
  std::string expected;
  std::vector<char> buffer(100000);
  for (char c = 'a'; c < 'a' + 20; ++c) {
    std::fill(buffer.begin(), buffer.end(), c);  // the host reuses its buffer at once
    ASSERT_EQ(postSend(handle, buffer.data(), static_cast<LONG>(buffer.size())), 1) << lastError();
    expected.append(buffer.size(), c);
  }
  EXPECT_TRUE(nettest::recvSome(client.get(), expected.size()) == expected);
}

TEST_F(ServerTest, TheSixthSendWhileFiveAreInFlightIsRefused) {
  adviseServer();
  socket->put_OverlappedSize(5);
  ASSERT_EQ(listen(), 1);
  Fd client = nettest::tcpConnect(port);
  const ULONG handle = acceptedHandle();
  // The peer reads nothing yet: sends this large stay in flight.
  const std::string chunk(8 << 20, 'q');
  for (int i = 0; i < 5; ++i) ASSERT_EQ(postSend(handle, chunk), 1) << i;
  EXPECT_EQ(postSend(handle, "x"), 0);
  EXPECT_EQ(lastError(), 108);
  EXPECT_EQ(lastErrorText(), "IO count max error");
  EXPECT_EQ(nettest::recvSome(client.get(), 5 * chunk.size()).size(), 5 * chunk.size());
  // Once they are done, the slots are free again.
  eventually([&] { return postSend(handle, "!") == 1; });
  EXPECT_EQ(nettest::recvSome(client.get(), 1), "!");
}

// The host answers each whole request (a line) and keeps the start of the next for later.
TEST_F(ServerTest, ASmallBufferSizeServesTcpInPieces) {
  adviseServer();
  socket->put_BufferSize(16);
  struct Host {
    std::string unanswered;  // one connection: its OnRecv come one after the other
    std::atomic<size_t> answered{0};
  };
  auto host = std::make_shared<Host>();  // until the server has stopped
  events.handler = [this, host](const ServerEvent& e) {
    if (e.id != _IZrSocketEvents::kOnRecv) return;
    EXPECT_LE(e.len, 16);
    host->unanswered += e.data;
    const size_t end = host->unanswered.rfind('\n');
    if (end == std::string::npos) return;
    EXPECT_EQ(postSend(e.handle, host->unanswered.substr(0, end + 1)), 1);
    host->unanswered.erase(0, end + 1);
    host->answered += end + 1;
  };
  ASSERT_EQ(listen(), 1);
  Fd client = nettest::tcpConnect(port);
  std::string many(4000, '\0');  // far more pieces at once than receives in flight
  for (size_t i = 0; i < many.size(); ++i) many[i] = i % 16 == 15 ? '\n' : static_cast<char>('a' + i % 23);
  const std::string text = "a text much longer than sixteen bytes, echoed back\n";
  const std::string request = "0123456789abcde\n";  // one buffer
  struct Case {
    const char* name;
    std::string write;
    std::string answer;
    std::chrono::milliseconds limit;  // once the host has answered
  };
  const Case cases[] = {
      {"longer than the buffer", text, text, nettest::kDeadline},
      {"many pieces", many, many, nettest::kDeadline},
      // Answered while the read still holds more for the connection, so held back for the
      // answers to come: the end of the turn must push it out, else the kernel keeps it 200 ms.
      {"a whole request and the start of the next", request + "nex", request, 100ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = host->answered;
    ASSERT_TRUE(nettest::sendAll(client.get(), c.write));
    eventually([&] { return host->answered >= before + c.answer.size(); });
    EXPECT_EQ(nettest::recvSome(client.get(), c.answer.size(), c.limit), c.answer);
  }
}

// Meters come back in a burst after a power cut: a connection must not stay with the
// worker that happened to accept it, or one worker serves them all.
TEST_F(ServerTest, ABurstOfConnectionsIsServedByEveryWorker) {
  // The first OnAccept holds its worker until every connection waits in the backlog: one
  // worker wakes to them all.
  std::promise<void> allMade;
  const std::shared_future<void> made = allMade.get_future().share();
  events.handler = [made](const ServerEvent& e) {
    if (e.id == _IZrSocketEvents::kOnAccept) made.wait_for(nettest::kDeadline);
  };
  adviseServer();
  ASSERT_EQ(listen(), 1);
  std::vector<Fd> meters;
  for (int i = 0; i < 100; ++i) {
    meters.push_back(nettest::tcpConnect(port));
    ASSERT_GE(meters.back().get(), 0) << i;
  }
  allMade.set_value();
  ASSERT_TRUE(events.waitCount(_IZrSocketEvents::kOnAccept, meters.size()));
  for (Fd& meter : meters) ASSERT_TRUE(nettest::sendAll(meter.get(), "m"));
  ASSERT_TRUE(events.waitCount(_IZrSocketEvents::kOnRecv, meters.size()));
  std::set<std::thread::id> workers;
  for (const ServerEvent& e : events.events()) {
    if (e.id == _IZrSocketEvents::kOnRecv) workers.insert(e.thread);
  }
  EXPECT_EQ(workers.size(), 4u);  // the fixture's ThreadCount
}

TEST_F(ServerTest, CloseOnARunningServerFiresNoOnClose) {
  adviseServer();
  ASSERT_EQ(listen(), 1);
  Fd a = nettest::tcpConnect(port);
  Fd b = nettest::tcpConnect(port);
  acceptedHandle(2);
  socket->Close();
  EXPECT_EQ(clientCount(), 0);
  EXPECT_EQ(socketValue(), 0);
  EXPECT_EQ(nettest::recvSome(a.get(), 1), "");
  EXPECT_EQ(nettest::recvSome(b.get(), 1), "");
  // Close has ended every worker: whatever was going to fire has fired.
  EXPECT_EQ(events.count(_IZrSocketEvents::kOnClose), 0u);
  EXPECT_EQ(listen(), 1);  // and it can start again
}

TEST_F(ServerTest, CloseFromInsideAnEventReturnsAndNothingFiresAfterIt) {
  adviseServer();
  std::atomic<int> closed{0};
  std::atomic<size_t> eventsAtClose{0};
  events.handler = [&](const ServerEvent& e) {
    if (e.id == _IZrSocketEvents::kOnRecv && closed.exchange(1) == 0) {
      socket->Close();  // must not wait for the worker it runs on
      eventsAtClose = events.total();
      closed = 2;
    }
  };
  ASSERT_EQ(listen(), 1);
  std::vector<Fd> clients;
  for (int i = 0; i < 4; ++i) clients.push_back(nettest::tcpConnect(port));
  acceptedHandle(4);
  for (Fd& c : clients) nettest::sendAll(c.get(), "go");
  eventually([&] { return closed == 2; });
  ASSERT_EQ(closed, 2);
  for (Fd& c : clients) EXPECT_EQ(nettest::recvSome(c.get(), 1), "");
  EXPECT_EQ(clientCount(), 0);
  // Listen joins the worker that closed: whatever the old server was going to fire has
  // fired by now.
  EXPECT_EQ(listen(), 1);
  // The event that closed is recorded after its handler; nothing came after it.
  EXPECT_EQ(events.total(), eventsAtClose + 1);
  EXPECT_EQ(events.count(_IZrSocketEvents::kOnClose), 0u);
}

// ---- UDP --------------------------------------------------------------------------------

class UdpServer : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    peer = nettest::bound(SOCK_DGRAM, peerPort);
  }
  void peerSends(const std::string& bytes) {
    sockaddr_in to = nettest::loopback(port);
    ASSERT_EQ(::sendto(peer.get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)),
              static_cast<ssize_t>(bytes.size()));
  }
  VARIANT_BOOL postSendTo(const std::string& ip, LONG toPort, const void* data, LONG len) {
    VARIANT_BOOL ok = -7;
    socket->PostSendTo(wide(ip).get(), toPort, reinterpret_cast<PTRBUF>(data), len, &ok);
    return ok;
  }

  Fd peer;
  int peerPort = 0;
};

TEST_F(UdpServer, DatagramsAreReportedWithTheirSenderAlsoWhenEmpty) {
  adviseServer();
  ASSERT_EQ(listen(kavlink::ipUDP), 1);
  EXPECT_EQ(clientCount(), 1);
  peerSends("");
  peerSends("reading");
  ASSERT_TRUE(events.waitCount(_IZrSocketEvents::kOnRecvFrom, 2));
  const std::vector<ServerEvent> all = events.events();
  std::multiset<std::string> got;
  for (const ServerEvent& e : all) {
    EXPECT_EQ(e.id, _IZrSocketEvents::kOnRecvFrom);
    EXPECT_EQ(e.ip, "127.0.0.1");
    EXPECT_EQ(e.port, peerPort);
    EXPECT_NE(e.thread, std::this_thread::get_id());
    EXPECT_EQ(static_cast<size_t>(e.len), e.data.size());
    got.insert(e.data);
  }
  EXPECT_EQ(got, (std::multiset<std::string>{"", "reading"}));
}

TEST_F(UdpServer, PostSendToSendsWholeDatagramsOnly) {
  socket->put_BufferSize(32);
  ASSERT_EQ(listen(kavlink::ipUDP), 1);
  const std::string reply = "answer";
  EXPECT_EQ(postSendTo("127.0.0.1", peerPort, reply.data(), static_cast<LONG>(reply.size())), 1);
  EXPECT_EQ(nettest::recvSome(peer.get(), reply.size()), reply);
  const std::string big(33, 'b');
  struct Case {
    const char* name;
    std::string ip;
    const void* data;
    LONG len;
    LONG code;
  };
  const Case cases[] = {
      {"longer than BufferSize", "127.0.0.1", big.data(), 33, 10040},
      {"negative length", "127.0.0.1", big.data(), -1, 10022},
      {"no buffer", "127.0.0.1", nullptr, 4, 10014},
      {"not a numeric address", "localhost", big.data(), 4, 11001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(postSendTo(c.ip, peerPort, c.data, c.len), 0);
    EXPECT_EQ(lastError(), c.code);
  }
  EXPECT_EQ(nettest::recvSome(peer.get(), 1, kQuiet), "");  // nothing cut short went out
}

TEST_F(ServerTest, EachProtocolRefusesTheOthersSend) {
  ASSERT_EQ(listen(), 1);
  VARIANT_BOOL ok = -7;
  socket->PostSendTo(wide("127.0.0.1").get(), 9, 0, 0, &ok);
  EXPECT_EQ(ok, 0);
  socket->Close();
  ok = -7;
  socket->PostSend(1, 0, 0, &ok);  // no server
  EXPECT_EQ(ok, 0);
  ASSERT_EQ(listen(kavlink::ipUDP), 1);
  socket->PostSend(1, 0, 0, &ok);  // the UDP socket's record is not a connection
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(lastError(), 112);
}

}  // namespace
}  // namespace sockettest
