// Socket addresses and name resolution, spoken in Winsock values.
//
// Callers pass the Windows address family (2 for IPv4, 23 for IPv6) and socket type (1
// stream, 2 datagram); this layer maps them onto the Linux values. Every function returns
// 0 or a Winsock code (net/wsa_error.h).
#pragma once

#include <sys/socket.h>

#include <string>

namespace zr::net {

// Winsock address families and socket types the callers use.
constexpr int kWsAfUnspec = 0;
constexpr int kWsAfInet = 2;
constexpr int kWsAfInet6 = 23;
constexpr int kWsSockStream = 1;
constexpr int kWsSockDgram = 2;

// The Linux family for a Winsock one; -1 for a value Linux has no family for (the socket
// or look-up then fails with WSAEAFNOSUPPORT).
int familyFromWinsock(int wsFamily);
// The Linux socket type for a Winsock one (0 means any); -1 for an unknown value.
int socketTypeFromWinsock(int wsType);

// One socket address, large enough for any family.
struct Endpoint {
  sockaddr_storage addr{};
  socklen_t len = 0;

  const sockaddr* sa() const { return reinterpret_cast<const sockaddr*>(&addr); }
  sockaddr* sa() { return reinterpret_cast<sockaddr*>(&addr); }
  // The port in host byte order; 0 when the family carries none.
  int port() const;
};

// Look-up flags (the Winsock AI_NUMERICHOST and AI_PASSIVE).
enum ResolveFlags : int {
  kResolveNumericHost = 1,  // host must be a numeric address; no name service is asked
  kResolvePassive = 2,      // an empty host means the wildcard address
};

// Resolves host and port and gives the first address found. An empty (or null) host is
// the local host, as a Windows look-up of an empty name is: the loopback address, or the
// wildcard with kResolvePassive. Ports outside 0 to 65535 fail with WSATYPE_NOT_FOUND
// instead of wrapping onto another port.
int resolveFirst(const char* host, long port, int flags, int wsFamily, int wsSocketType, Endpoint& first);

// The text of an address: its numeric form ("127.0.0.1"), or with numericHost false its
// host name, falling back to the numeric form when no name is known.
int nameOf(const Endpoint& ep, bool numericHost, std::string& text);

// The local host's name.
int localHostName(std::string& name);

}  // namespace zr::net
