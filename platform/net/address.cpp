#include "net/address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/wsa_error.h"

namespace zr::net {

int familyFromWinsock(int wsFamily) {
  switch (wsFamily) {
    case kWsAfUnspec:
      return AF_UNSPEC;
    case kWsAfInet:
      return AF_INET;
    case kWsAfInet6:
      return AF_INET6;
    default:
      return -1;
  }
}

int socketTypeFromWinsock(int wsType) {
  // The Winsock numbering of socket types is the BSD one Linux also uses.
  switch (wsType) {
    case 0:
      return 0;
    case kWsSockStream:
      return SOCK_STREAM;
    case kWsSockDgram:
      return SOCK_DGRAM;
    case 3:
      return SOCK_RAW;
    case 4:
      return SOCK_RDM;
    case 5:
      return SOCK_SEQPACKET;
    default:
      return -1;
  }
}

int Endpoint::port() const {
  if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&addr)->sin_port);
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_port);
  return 0;
}

int resolveFirst(const char* host, long port, int flags, int wsFamily, int wsSocketType, Endpoint& first) {
  if (port < 0 || port > 65535) return WSATYPE_NOT_FOUND;
  int family = familyFromWinsock(wsFamily);
  if (family < 0) return WSAEAFNOSUPPORT;
  int type = socketTypeFromWinsock(wsSocketType);
  if (type < 0) return WSAESOCKTNOSUPPORT;

  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = type;
  if (flags & kResolveNumericHost) hints.ai_flags |= AI_NUMERICHOST;
  if (flags & kResolvePassive) hints.ai_flags |= AI_PASSIVE;
  std::string service = std::to_string(port);
  const char* node = (host && *host) ? host : nullptr;

  addrinfo* list = nullptr;
  errno = 0;
  int rc = getaddrinfo(node, service.c_str(), &hints, &list);
  if (rc != 0) return wsaFromAddrInfoError(rc, errno);
  int result = WSAHOST_NOT_FOUND;
  if (list && list->ai_addr && list->ai_addrlen <= sizeof(first.addr)) {
    first = Endpoint{};
    std::memcpy(&first.addr, list->ai_addr, list->ai_addrlen);
    first.len = list->ai_addrlen;
    result = 0;
  }
  freeaddrinfo(list);
  return result;
}

int nameOf(const Endpoint& ep, bool numericHost, std::string& text) {
  char host[NI_MAXHOST] = {};
  errno = 0;
  int rc = getnameinfo(ep.sa(), ep.len, host, sizeof(host), nullptr, 0,
                       numericHost ? (NI_NUMERICHOST | NI_NUMERICSERV) : NI_NUMERICSERV);
  if (rc != 0) return wsaFromAddrInfoError(rc, errno);
  text = host;
  return 0;
}

int localHostName(std::string& name) {
  char buf[NI_MAXHOST] = {};
  if (gethostname(buf, sizeof(buf) - 1) != 0) return wsaFromErrno(errno);
  name = buf;
  return 0;
}

}  // namespace zr::net
