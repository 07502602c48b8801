// A socket object that serves on the loopback address, with a sink for its worker-thread
// events, and plain POSIX peers for it.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <set>

#include "kavlink/socket/server_sink.h"
#include "kavlink/socket/socket_fixture.h"
#include "support/event_sink.h"

namespace sockettest {

using kavlink::_IZrSocketEvents;

// A loopback port that was free a moment ago.
inline int freePort(int type = SOCK_STREAM) {
  int port = 0;
  nettest::Fd held = nettest::bound(type, port);
  return port;
}

inline bool ipv6Loopback() {
  nettest::Fd fd(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  return fd.get() >= 0 && ::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
}

// A TCP connection to the loopback address of the family (AF_INET or AF_INET6).
inline nettest::Fd tcpConnectTo(int family, int port) {
  if (family == AF_INET) return nettest::tcpConnect(port);
  nettest::Fd fd(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  a.sin6_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) fd.reset();
  return fd;
}

class ServerTest : public SocketTest {
 protected:
  void SetUp() override {
    SocketTest::SetUp();
    socket->put_ThreadCount(4);
  }
  void TearDown() override {
    socket->Close();
    if (serverCookie) serverPoint->Unadvise(serverCookie);
    SocketTest::TearDown();
  }
  void adviseServer() {
    auto container = socket.as<IConnectionPointContainer>();
    ASSERT_TRUE(container);
    ASSERT_EQ(container->FindConnectionPoint(_IZrSocketEvents::iid, serverPoint.put()), S_OK);
    ASSERT_EQ(serverPoint->Advise(static_cast<IDispatch*>(&events), &serverCookie), S_OK);
  }
  // Listens on the loopback address; the result is Listen's.
  VARIANT_BOOL listen(kavlink::TIpProtocol protocol = kavlink::ipTCP, const char* host = "127.0.0.1",
                      kavlink::TAddrFamily family = kavlink::afIPv4) {
    port = freePort(protocol == kavlink::ipTCP ? SOCK_STREAM : SOCK_DGRAM);
    return listenOn(port, protocol, host, family);
  }
  VARIANT_BOOL listenOn(int onPort, kavlink::TIpProtocol protocol = kavlink::ipTCP, const char* host = "127.0.0.1",
                        kavlink::TAddrFamily family = kavlink::afIPv4) {
    socket->put_Host(wide(host).get());
    socket->put_Port(onPort);
    socket->put_IpProtocol(protocol);
    socket->put_AddrFamily(family);
    VARIANT_BOOL ok = -7;
    EXPECT_EQ(socket->Listen(&ok), S_OK);
    return ok;
  }
  LONG clientCount() {
    LONG n = -1;
    socket->GetClientCount(&n);
    return n;
  }
  // Asks done() until it holds (and not once more, so it may act) or the deadline passes.
  template <class Pred>
  static bool eventually(Pred done) {
    return testhost::waitUntil(done, std::chrono::duration_cast<std::chrono::milliseconds>(nettest::kDeadline).count());
  }
  bool clientCountBecomes(LONG n) {
    return eventually([&] { return clientCount() == n; });
  }
  VARIANT_BOOL postSend(ULONG handle, const void* data, LONG len) {
    VARIANT_BOOL ok = -7;
    socket->PostSend(handle, reinterpret_cast<PTRBUF>(data), len, &ok);
    return ok;
  }
  VARIANT_BOOL postSend(ULONG handle, const std::string& data) {
    return postSend(handle, data.data(), static_cast<LONG>(data.size()));
  }
  // The handle of the n-th accepted connection (from 1), waiting for it.
  ULONG acceptedHandle(size_t n = 1) {
    EXPECT_TRUE(events.waitCount(_IZrSocketEvents::kOnAccept, n));
    size_t seen = 0;
    for (const ServerEvent& e : events.events()) {
      if (e.id == _IZrSocketEvents::kOnAccept && ++seen == n) return e.handle;
    }
    return 0;
  }

  int port = 0;
  ServerSink events;
  ComPtr<IConnectionPoint> serverPoint;
  DWORD serverCookie = 0;
};

}  // namespace sockettest
