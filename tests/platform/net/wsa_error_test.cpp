#include "net/wsa_error.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

namespace zr::net {
namespace {

TEST(WsaError, FailuresMapToTheCodesAWindowsHostSees) {
  struct Case {
    int err;
    int code;
    const char* name;
  };
  const Case cases[] = {
      {ECONNREFUSED, 10061, "WSAECONNREFUSED"},
      {ECONNRESET, 10054, "WSAECONNRESET"},
      {EPIPE, 10054, "WSAECONNRESET"},
      {EAGAIN, 10035, "WSAEWOULDBLOCK"},
      {ETIMEDOUT, 10060, "WSAETIMEDOUT"},
      {EMSGSIZE, 10040, "WSAEMSGSIZE"},
      {EBADF, 10038, "WSAENOTSOCK"},
      {ENOTSOCK, 10038, "WSAENOTSOCK"},
      {EHOSTUNREACH, 10065, "WSAEHOSTUNREACH"},
      {EACCES, 10013, "WSAEACCES"},
      {EFAULT, 10014, "WSAEFAULT"},
      {EINVAL, 10022, "WSAEINVAL"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wsaFromErrno(c.err), c.code) << c.err;
    EXPECT_STREQ(wsaErrorName(c.code), c.name);
  }
  EXPECT_EQ(wsaFromErrno(0), 0);

  struct LookUp {
    int gai;
    int sysErrno;
    int code;
  };
  const LookUp lookUps[] = {{EAI_NONAME, 0, 11001},
                            {EAI_AGAIN, 0, 11002},
                            {EAI_FAMILY, 0, 10047},
                            {EAI_SERVICE, 0, 10109},
                            {EAI_SYSTEM, ECONNREFUSED, 10061},
                            {EAI_SYSTEM, 0, 10107}};
  for (const LookUp& c : lookUps) EXPECT_EQ(wsaFromAddrInfoError(c.gai, c.sysErrno), c.code) << c.gai;
}

TEST(WsaError, NoErrnoValueSurfacesAsItself) {
  // The socket object's own codes are 101 to 114, where ECONNRESET (104) and ECONNREFUSED
  // (111) would land: every errno must leave as a Winsock code with a name.
  for (int err = 1; err < 200; ++err) {
    int code = wsaFromErrno(err);
    EXPECT_GE(code, 10000) << "errno " << err;
    EXPECT_NE(wsaErrorName(code), nullptr) << "errno " << err;
  }
}

}  // namespace
}  // namespace zr::net
