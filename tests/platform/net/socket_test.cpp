#include "net/socket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/address.h"
#include "net/wsa_error.h"
#include "platform/net/loopback_peer.h"

namespace zr::net {
namespace {

Endpoint loopback(int port, int wsType = kWsSockStream) {
  Endpoint ep;
  EXPECT_EQ(resolveFirst("127.0.0.1", port, kResolveNumericHost, kWsAfInet, wsType, ep), 0);
  return ep;
}

TEST(Socket, ConnectGivesUpAtItsLimitWhenNobodyAnswers) {
  // A listener whose queue is full leaves new requests unanswered, as an unreachable host
  // does; the connect must end at its limit with a time-out, not at the kernel's.
  nettest::Listener full(0);
  std::vector<Socket> attempts;
  int result = 0;
  for (int i = 0; i < 8 && result == 0; ++i) {
    attempts.emplace_back();
    ASSERT_EQ(Socket::open(kWsAfInet, true, attempts.back()), 0);
    result = attempts.back().connect(loopback(full.port), 30);
  }
  if (result == 0) GTEST_SKIP() << "this network stack answers every connection request";
  EXPECT_EQ(result, WSAETIMEDOUT);
}

TEST(Socket, AnUnreachableDatagramPeerReadsAsAReset) {
  int port = 0;
  nettest::Fd gone = nettest::bound(SOCK_DGRAM, port);
  Socket s;
  ASSERT_EQ(Socket::open(kWsAfInet, false, s), 0);
  ASSERT_EQ(s.connect(loopback(port, kWsSockDgram)), 0);
  gone.reset();
  ASSERT_TRUE(s.send("x", 1).ok());
  if (s.waitReadable(500) == 0) GTEST_SKIP() << "this network stack reports no unreachable port";
  char buf[8];
  IoResult r = s.recv(buf, sizeof(buf));
  EXPECT_EQ(r.count, -1);
  EXPECT_EQ(r.error, WSAECONNRESET);  // as Windows says it, not Linux's "refused"
}

TEST(Address, ResolveGivesTheFirstAddressOrAWinsockCode) {
  struct Case {
    const char* host;
    long port;
    int flags;
    int family;
    int code;
    const char* text;
  };
  const Case cases[] = {
      {"127.0.0.1", 65536, 0, kWsAfInet, WSATYPE_NOT_FOUND, ""},  // no wrapping onto port 0
      {"127.0.0.1", -1, 0, kWsAfInet, WSATYPE_NOT_FOUND, ""},
      {"localhost", 80, kResolveNumericHost, kWsAfInet, WSAHOST_NOT_FOUND, ""},
      {"127.0.0.1", 80, 0, 10, WSAEAFNOSUPPORT, ""},  // Linux's AF_INET6 means nothing here
      {"", 4242, 0, kWsAfInet, 0, "127.0.0.1"},       // an empty name is the local host
      {nullptr, 4242, 0, kWsAfInet, 0, "127.0.0.1"},
      {"", 4242, kResolvePassive, kWsAfInet, 0, "0.0.0.0"},
      {"::1", 4242, kResolveNumericHost, kWsAfInet6, 0, "::1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host ? c.host : "(null)") + ":" + std::to_string(c.port));
    Endpoint ep;
    ASSERT_EQ(resolveFirst(c.host, c.port, c.flags, c.family, kWsSockStream, ep), c.code);
    if (c.code != 0) continue;
    std::string text;
    ASSERT_EQ(nameOf(ep, true, text), 0);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(ep.port(), c.port);
  }
}

}  // namespace
}  // namespace zr::net
