// Socket errors as a Windows socket host sees them.
//
// Everything in this layer reports failures with the Winsock code the same failure gives
// on Windows (10061 for a refused connection, 11001 for an unknown host name ...). A raw
// errno value never leaves the layer: callers keep their own small codes (101 to 114 in
// the socket object) in the same number space, so an errno of 104 or 111 would read as
// one of those.
#pragma once

namespace zr::net {

// The Winsock codes this layer produces or names.
enum WsaCode : int {
  WSA_INVALID_HANDLE = 6,
  WSA_NOT_ENOUGH_MEMORY = 8,
  WSA_INVALID_PARAMETER = 87,
  WSA_OPERATION_ABORTED = 995,
  WSA_IO_INCOMPLETE = 996,
  WSA_IO_PENDING = 997,
  WSAEINTR = 10004,
  WSAEBADF = 10009,
  WSAEACCES = 10013,
  WSAEFAULT = 10014,
  WSAEINVAL = 10022,
  WSAEMFILE = 10024,
  WSAEWOULDBLOCK = 10035,
  WSAEINPROGRESS = 10036,
  WSAEALREADY = 10037,
  WSAENOTSOCK = 10038,
  WSAEDESTADDRREQ = 10039,
  WSAEMSGSIZE = 10040,
  WSAEPROTOTYPE = 10041,
  WSAENOPROTOOPT = 10042,
  WSAEPROTONOSUPPORT = 10043,
  WSAESOCKTNOSUPPORT = 10044,
  WSAEOPNOTSUPP = 10045,
  WSAEPFNOSUPPORT = 10046,
  WSAEAFNOSUPPORT = 10047,
  WSAEADDRINUSE = 10048,
  WSAEADDRNOTAVAIL = 10049,
  WSAENETDOWN = 10050,
  WSAENETUNREACH = 10051,
  WSAENETRESET = 10052,
  WSAECONNABORTED = 10053,
  WSAECONNRESET = 10054,
  WSAENOBUFS = 10055,
  WSAEISCONN = 10056,
  WSAENOTCONN = 10057,
  WSAESHUTDOWN = 10058,
  WSAETOOMANYREFS = 10059,
  WSAETIMEDOUT = 10060,
  WSAECONNREFUSED = 10061,
  WSAELOOP = 10062,
  WSAENAMETOOLONG = 10063,
  WSAEHOSTDOWN = 10064,
  WSAEHOSTUNREACH = 10065,
  WSAENOTEMPTY = 10066,
  WSAEPROCLIM = 10067,
  WSAEUSERS = 10068,
  WSAEDQUOT = 10069,
  WSAESTALE = 10070,
  WSAEREMOTE = 10071,
  WSASYSNOTREADY = 10091,
  WSAVERNOTSUPPORTED = 10092,
  WSANOTINITIALISED = 10093,
  WSAEDISCON = 10101,
  WSAENOMORE = 10102,
  WSAECANCELLED = 10103,
  WSAEINVALIDPROCTABLE = 10104,
  WSAEINVALIDPROVIDER = 10105,
  WSAEPROVIDERFAILEDINIT = 10106,
  WSASYSCALLFAILURE = 10107,
  WSATYPE_NOT_FOUND = 10109,
  WSAHOST_NOT_FOUND = 11001,
  WSATRY_AGAIN = 11002,
  WSANO_RECOVERY = 11003,
  WSANO_DATA = 11004,
};

// The Winsock code for an errno value left by a socket call. 0 stays 0; a value with no
// Winsock counterpart becomes WSASYSCALLFAILURE, never itself.
int wsaFromErrno(int err);

// The Winsock code for a getaddrinfo/getnameinfo failure; sysErrno is the errno seen
// right after the call, used when the failure is EAI_SYSTEM.
int wsaFromAddrInfoError(int gaiError, int sysErrno);

// The Winsock constant name of a code ("WSAECONNREFUSED"), or nullptr for a code this
// layer does not know.
const char* wsaErrorName(int code);

}  // namespace zr::net
