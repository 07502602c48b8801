// Settings and error texts of the socket object, and the members that belong to the server.
#include <sched.h>

#include "kavlink/socket/socket_fixture.h"

namespace sockettest {
namespace {

TEST_F(SocketTest, StartsWithItsDefaults) {
  Bstr host;
  socket->get_Host(host.put());
  EXPECT_EQ(narrow(host), "");
  LONG port = -1, bufferSize = 0, overlapped = 0, threads = 0;
  socket->get_Port(&port);
  socket->get_BufferSize(&bufferSize);
  socket->get_OverlappedSize(&overlapped);
  socket->get_ThreadCount(&threads);
  EXPECT_EQ(port, 0);
  EXPECT_EQ(bufferSize, 2048);
  EXPECT_EQ(overlapped, 5);
  cpu_set_t usable;
  ASSERT_EQ(::sched_getaffinity(0, sizeof(usable), &usable), 0);
  const LONG processors = CPU_COUNT(&usable);
  EXPECT_EQ(threads, std::min(2 * processors, 32));
  kavlink::TIpProtocol protocol{};
  kavlink::TAddrFamily family{};
  socket->get_IpProtocol(&protocol);
  socket->get_AddrFamily(&family);
  EXPECT_EQ(protocol, kavlink::ipTCP);
  EXPECT_EQ(family, kavlink::afIPv4);
  VARIANT_BOOL blocking = 1, autoEvent = 0, broadcast = 1;
  socket->get_Blocking(&blocking);
  socket->get_AutoEvent(&autoEvent);
  socket->get_Broadcast(&broadcast);
  EXPECT_EQ(blocking, VARIANT_FALSE);
  EXPECT_NE(autoEvent, VARIANT_FALSE);
  EXPECT_EQ(broadcast, VARIANT_FALSE);
  EXPECT_FALSE(connected());
  EXPECT_EQ(socketValue(), 0);
  EXPECT_EQ(lastError(), 0);
  EXPECT_EQ(lastErrorText(), "Unknow error msg");
}

TEST_F(SocketTest, NumericSettingsAreClamped) {
  struct Case {
    HRESULT (IZrSocket::*put)(LONG);
    HRESULT (IZrSocket::*get)(LONG*);
    LONG value;
    LONG expected;
  };
  const Case cases[] = {
      {&IZrSocket::put_BufferSize, &IZrSocket::get_BufferSize, 0, 2048},
      {&IZrSocket::put_BufferSize, &IZrSocket::get_BufferSize, -5, 2048},
      {&IZrSocket::put_BufferSize, &IZrSocket::get_BufferSize, 4096, 4096},
      {&IZrSocket::put_OverlappedSize, &IZrSocket::get_OverlappedSize, 33, 32},
      {&IZrSocket::put_OverlappedSize, &IZrSocket::get_OverlappedSize, 0, 5},
      {&IZrSocket::put_OverlappedSize, &IZrSocket::get_OverlappedSize, -2, 5},
      {&IZrSocket::put_OverlappedSize, &IZrSocket::get_OverlappedSize, 7, 7},
      {&IZrSocket::put_ThreadCount, &IZrSocket::get_ThreadCount, 100, 32},
      {&IZrSocket::put_ThreadCount, &IZrSocket::get_ThreadCount, -1, 1},
      {&IZrSocket::put_ThreadCount, &IZrSocket::get_ThreadCount, 0, 1},
      {&IZrSocket::put_ThreadCount, &IZrSocket::get_ThreadCount, 3, 3},
      {&IZrSocket::put_Port, &IZrSocket::get_Port, -70000, -70000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ComPtr<IZrSocket> fresh = ComPtr<IZrSocket>::attach(static_cast<IZrSocket*>(CZrSocket::create()));
    ((*fresh).*c.put)(c.value);
    LONG got = 0;
    ((*fresh).*c.get)(&got);
    EXPECT_EQ(got, c.expected);
  }
}

TEST_F(SocketTest, HostIsANarrowFieldOfAtMost1024Bytes) {
  struct Case {
    std::u16string put;
    std::string expected;
  };
  const Case cases[] = {
      {u"meter.example", "meter.example"},
      {std::u16string(1500, u'h'), std::string(1024, 'h')},
      {std::u16string(u"ab\0cd", 5), "ab"},
      {u"", ""},
  };
  for (const Case& c : cases) {
    socket->put_Host(Bstr(c.put).get());
    Bstr got;
    socket->get_Host(got.put());
    EXPECT_EQ(narrow(got), c.expected);
  }
  socket->put_Host(nullptr);
  Bstr got;
  socket->get_Host(got.put());
  EXPECT_EQ(narrow(got), "");
}

TEST(SocketErrorText, EveryCodeHasItsFixedText) {
  struct Case {
    LONG code;
    const char* text;
  };
  const Case cases[] = {
      {6, "WSA_INVALID_HANDLE"},
      {8, "WSA_NOT_ENOUGH_MEMORY"},
      {87, "WSA_INVALID_PARAMETER"},
      {995, "WSA_OPERATION_ABORTED"},
      {996, "WSA_IO_INCOMPLETE"},
      {997, "WSA_IO_PENDING"},
      {10004, "WSAEINTR"},
      {10009, "WSAEBADF"},
      {10013, "WSAEACCES"},
      {10014, "WSAEFAULT"},
      {10022, "WSAEINVAL"},
      {10024, "WSAEMFILE"},
      {10035, "WSAEWOULDBLOCK"},
      {10036, "WSAEINPROGRESS"},
      {10037, "WSAEALREADY"},
      {10038, "WSAENOTSOCK"},
      {10039, "WSAEDESTADDRREQ"},
      {10040, "WSAEMSGSIZE"},
      {10041, "WSAEPROTOTYPE"},
      {10042, "WSAENOPROTOOPT"},
      {10043, "WSAEPROTONOSUPPORT"},
      {10044, "WSAESOCKTNOSUPPORT"},
      {10045, "WSAEOPNOTSUPP"},
      {10046, "WSAEPFNOSUPPORT"},
      {10047, "WSAEAFNOSUPPORT"},
      {10048, "WSAEADDRINUSE"},
      {10049, "WSAEADDRNOTAVAIL"},
      {10050, "WSAENETDOWN"},
      {10051, "WSAENETUNREACH"},
      {10052, "WSAENETRESET"},
      {10053, "WSAECONNABORTED"},
      {10054, "WSAECONNRESET"},
      {10055, "WSAENOBUFS"},
      {10056, "WSAEISCONN"},
      {10057, "WSAENOTCONN"},
      {10058, "WSAESHUTDOWN"},
      {10060, "WSAETIMEDOUT"},
      {10061, "WSAECONNREFUSED"},
      {10062, "WSAELOOP"},
      {10063, "WSAENAMETOOLONG"},
      {10064, "WSAEHOSTDOWN"},
      {10065, "WSAEHOSTUNREACH"},
      {10066, "WSAENOTEMPTY"},
      {10067, "WSAEPROCLIM"},
      {10068, "WSAEUSERS"},
      {10069, "WSAEDQUOT"},
      {10070, "WSAESTALE"},
      {10071, "WSAEREMOTE"},
      {10091, "WSASYSNOTREADY"},
      {10092, "WSAVERNOTSUPPORTED"},
      {10093, "WSANOTINITIALISED"},
      {10101, "WSAEDISCON"},
      {10102, "WSAENOMORE"},
      {10103, "WSAECANCELLED"},
      {10104, "WSAEINVALIDPROCTABLE"},
      {10105, "WSAEINVALIDPROVIDER"},
      {10106, "WSAEPROVIDERFAILEDINIT"},
      {10107, "WSASYSCALLFAILURE"},
      {101, "create iocp error"},
      {102, "create iocp thread error"},
      {105, "socket obj is null"},
      {108, "IO count max error"},
      {109, "server no close"},
      {111, "socket buf is null"},
      {112, "socket no active"},
      {113, "Connect failed, socket already connected!"},
      {114, "bing socket addr error"},
  };

  for (const Case& c : cases) EXPECT_STREQ(CZrSocket::ErrorTextOf(c.code), c.text) << c.code;
}

TEST(SocketErrorText, UnlistedCodesAreUnknown) {
  // Codes next to the listed ranges, the look-up codes, and own codes that were never given a text.
  for (LONG code : {0,     -1,    1,     7,     100,   103,   104,   106,   107,   110,   115,   994,  998,
                    10000, 10010, 10034, 10059, 10072, 10090, 10094, 10100, 10108, 10109, 11001, 11004}) {
    EXPECT_STREQ(CZrSocket::ErrorTextOf(code), "Unknow error msg") << code;
  }
}

}  // namespace
}  // namespace sockettest
