// The UDP client against a real peer on 127.0.0.1, and the broadcast set-up.
#include <dirent.h>
#include <sys/socket.h>

#include <cerrno>

#include "com/dispatch.h"
#include "kavlink/socket/broadcast_fault.h"
#include "kavlink/socket/socket_fixture.h"

namespace sockettest {
namespace {

using kavlink::_IZrSocketEvents;
using nettest::Fd;

int openDescriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d)) ++n;
    ::closedir(d);
  }
  return n;
}

class UdpClient : public SocketTest {
 protected:
  void SetUp() override {
    SocketTest::SetUp();
    peer = nettest::bound(SOCK_DGRAM, peerPort);
    target(peerPort, kavlink::ipUDP);
  }
  // Connects and learns the object's own port from its first datagram.
  void open() {
    ASSERT_TRUE(connect());
    ASSERT_TRUE(send("hello"));
    char buf[16];
    sockaddr_in from{};
    socklen_t len = sizeof(from);
    ASSERT_EQ(::recvfrom(peer.get(), buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &len), 5);
    ownPort = ntohs(from.sin_port);
  }
  void peerSends(const std::string& bytes) {
    sockaddr_in to = nettest::loopback(ownPort);
    ASSERT_EQ(::sendto(peer.get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)),
              static_cast<ssize_t>(bytes.size()));
  }

  Fd peer;
  int peerPort = 0;
  int ownPort = 0;
};

TEST_F(UdpClient, ADatagramIsAnnouncedAndReceivedWithItsSender) {
  advise();
  open();
  peerSends("reading");
  ASSERT_TRUE(pumpUntil([&] { return sink.count(_IZrSocketEvents::kOnRecvFrom) > 0; }));
  const Event& notice = sink.events.front();
  EXPECT_TRUE(notice.nullText);
  EXPECT_EQ(notice.numbers, (std::vector<long long>{0, 0, 0}));
  EXPECT_EQ(notice.thread, std::this_thread::get_id());

  char buf[1024];
  Bstr ip;
  LONG port = 0, n = 0;
  ASSERT_EQ(socket->RecvFrom(ip.put(), &port, reinterpret_cast<PTRBUF>(buf), &n), S_OK);
  ASSERT_EQ(n, 7);
  EXPECT_EQ(std::string(buf, 7), "reading");
  EXPECT_EQ(narrow(ip), "127.0.0.1");
  EXPECT_EQ(port, peerPort);
  EXPECT_EQ(sink.count(_IZrSocketEvents::kOnClose), 0u);

  // A host calling through IDispatch gets the sender in its own by-reference variables.
  peerSends("second");
  ASSERT_EQ(waitForData(5000), 1);
  BSTR hostIp = nullptr;
  LONG hostPort = 0;
  VARIANT ipArg, portArg;
  ipArg.vt = VT_BYREF | VT_BSTR;
  ipArg.pbstrVal = &hostIp;
  portArg.vt = VT_BYREF | VT_I4;
  portArg.plVal = &hostPort;
  zr::com::Variant result;
  ASSERT_EQ(zr::com::invokeByName(socket.get(), u"RecvFrom", DISPATCH_METHOD, {ipArg, portArg, zr::com::varPtr(buf)},
                                  &result),
            S_OK);
  EXPECT_EQ(result.lVal, 6);
  EXPECT_EQ(zr::text::wideToAnsi(zr::com::bstrView(hostIp)), "127.0.0.1");
  EXPECT_EQ(hostPort, peerPort);
  SysFreeString(hostIp);
}

TEST_F(UdpClient, ADatagramLongerThan1024BytesFailsAndWritesNothingBeyond) {
  socket->put_AutoEvent(VARIANT_FALSE);
  socket->put_BufferSize(4096);  // RecvFrom takes 1024 bytes whatever BufferSize says
  open();
  peerSends(std::string(1500, 'L'));
  ASSERT_EQ(waitForData(5000), 1);
  std::vector<char> buf(2048, '\x5a');
  BSTR text = SysAllocString(u"unchanged");
  const BSTR passed = text;
  LONG port = 99, n = 0;
  EXPECT_EQ(socket->RecvFrom(&text, &port, reinterpret_cast<PTRBUF>(buf.data()), &n), S_OK);
  EXPECT_EQ(text, passed);
  SysFreeString(text);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(lastError(), 10040);
  EXPECT_EQ(lastErrorText(), "WSAEMSGSIZE");
  EXPECT_EQ(port, 99);
  for (size_t i = 1024; i < buf.size(); ++i) ASSERT_EQ(buf[i], '\x5a') << "byte " << i;
}

TEST_F(UdpClient, SendToReachesTheGivenAddress) {
  socket->put_AutoEvent(VARIANT_FALSE);
  open();
  int otherPort = 0;
  Fd other = nettest::bound(SOCK_DGRAM, otherPort);
  const std::string data = "to the other";
  VARIANT_BOOL ok = VARIANT_FALSE;
  socket->SendTo(wide("127.0.0.1").get(), otherPort, reinterpret_cast<PTRBUF>(data.data()),
                 static_cast<LONG>(data.size()), &ok);
  EXPECT_NE(ok, VARIANT_FALSE);
  EXPECT_EQ(nettest::recvSome(other.get(), data.size()), data);
}

TEST_F(UdpClient, SendToRefusesAnAddressItWouldHaveToCut) {
  socket->put_AutoEvent(VARIANT_FALSE);
  open();
  const std::string data = "x";
  struct Case {
    const char* ip;
    LONG code;
  };
  const Case cases[] = {
      {"127.000.000.00000001", 10022},  // 20 characters
      {"localhost", 11001},             // numeric addresses only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ip);
    VARIANT_BOOL ok = VARIANT_TRUE;
    socket->SendTo(wide(c.ip).get(), peerPort, reinterpret_cast<PTRBUF>(data.data()), 1, &ok);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(lastError(), c.code);
  }
  EXPECT_EQ(nettest::recvSome(peer.get(), 1, kQuiet), "");  // the peer gets nothing
}

TEST_F(UdpClient, BroadcastIsSetUpOnUdpSockets) {
  socket->put_Broadcast(VARIANT_TRUE);
  ASSERT_TRUE(connect());
  int on = 0;
  socklen_t len = sizeof(on);
  ASSERT_EQ(::getsockopt(socketValue(), SOL_SOCKET, SO_BROADCAST, &on, &len), 0);
  EXPECT_EQ(on, 1);
}

TEST_F(UdpClient, AFailedBroadcastSetUpClosesTheSocketItMade) {
  socket->put_Broadcast(VARIANT_TRUE);
  const int before = openDescriptors();
  {
    broadcastfault::FailBroadcast fail(EACCES);
    EXPECT_FALSE(connect());
  }
  EXPECT_EQ(lastError(), 10013);
  EXPECT_EQ(lastErrorText(), "WSAEACCES");
  EXPECT_FALSE(connected());
  EXPECT_EQ(socketValue(), 0);
  EXPECT_EQ(obj->noticeWindow(), nullptr);
  EXPECT_EQ(openDescriptors(), before);
  EXPECT_TRUE(connect());  // nothing stands in the way of the next try
}

}  // namespace
}  // namespace sockettest
