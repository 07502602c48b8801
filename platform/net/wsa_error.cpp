#include "net/wsa_error.h"

#include <netdb.h>

#include <cerrno>

namespace zr::net {

int wsaFromErrno(int err) {
  switch (err) {
    case 0:
      return 0;
    case EINTR:
      return WSAEINTR;
    // Windows socket calls given something that is not a socket say so, whatever the handle is.
    case EBADF:
    case ENOTSOCK:
      return WSAENOTSOCK;
    case EACCES:
    case EPERM:
      return WSAEACCES;
    case EFAULT:
      return WSAEFAULT;
    case EINVAL:
      return WSAEINVAL;
    case EMFILE:
    case ENFILE:
      return WSAEMFILE;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      return WSAEWOULDBLOCK;
    case EINPROGRESS:
      return WSAEINPROGRESS;
    case EALREADY:
      return WSAEALREADY;
    case EDESTADDRREQ:
      return WSAEDESTADDRREQ;
    case EMSGSIZE:
      return WSAEMSGSIZE;
    case EPROTOTYPE:
      return WSAEPROTOTYPE;
    case ENOPROTOOPT:
      return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
      return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
      return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
      return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
      return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
      return WSAEAFNOSUPPORT;
    case EADDRINUSE:
      return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return WSAENETDOWN;
    case ENETUNREACH:
      return WSAENETUNREACH;
    case ENETRESET:
      return WSAENETRESET;
    case ECONNABORTED:
      return WSAECONNABORTED;
    // Linux says EPIPE for a send on a connection the peer has torn down; Windows reports
    // the reset itself.
    case ECONNRESET:
    case EPIPE:
      return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
      return WSAENOBUFS;
    case EISCONN:
      return WSAEISCONN;
    case ENOTCONN:
      return WSAENOTCONN;
    case ESHUTDOWN:
      return WSAESHUTDOWN;
    case ETOOMANYREFS:
      return WSAETOOMANYREFS;
    case ETIMEDOUT:
      return WSAETIMEDOUT;
    case ECONNREFUSED:
      return WSAECONNREFUSED;
    case ELOOP:
      return WSAELOOP;
    case ENAMETOOLONG:
      return WSAENAMETOOLONG;
    case EHOSTDOWN:
      return WSAEHOSTDOWN;
    case EHOSTUNREACH:
      return WSAEHOSTUNREACH;
    case ENOTEMPTY:
      return WSAENOTEMPTY;
    case EDQUOT:
      return WSAEDQUOT;
    case ESTALE:
      return WSAESTALE;
    case EREMOTE:
      return WSAEREMOTE;
    case ECANCELED:
      return WSAECANCELLED;
    default:
      return WSASYSCALLFAILURE;
  }
}

int wsaFromAddrInfoError(int gaiError, int sysErrno) {
  switch (gaiError) {
    case 0:
      return 0;
    case EAI_AGAIN:
      return WSATRY_AGAIN;
    case EAI_BADFLAGS:
      return WSAEINVAL;
    case EAI_FAIL:
      return WSANO_RECOVERY;
    case EAI_FAMILY:
      return WSAEAFNOSUPPORT;
    case EAI_MEMORY:
      return WSA_NOT_ENOUGH_MEMORY;
    case EAI_SERVICE:
      return WSATYPE_NOT_FOUND;
    case EAI_SOCKTYPE:
      return WSAESOCKTNOSUPPORT;
    case EAI_OVERFLOW:
      return WSAEFAULT;
    case EAI_SYSTEM: {
      int code = wsaFromErrno(sysErrno);
      return code != 0 ? code : WSASYSCALLFAILURE;
    }
    // A name without an address of the asked family is, to a Windows host, a name not found.
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
    default:
      return WSAHOST_NOT_FOUND;
  }
}

const char* wsaErrorName(int code) {
  switch (code) {
#define ZR_WSA_NAME(c) \
  case c:              \
    return #c;
    ZR_WSA_NAME(WSA_INVALID_HANDLE)
    ZR_WSA_NAME(WSA_NOT_ENOUGH_MEMORY)
    ZR_WSA_NAME(WSA_INVALID_PARAMETER)
    ZR_WSA_NAME(WSA_OPERATION_ABORTED)
    ZR_WSA_NAME(WSA_IO_INCOMPLETE)
    ZR_WSA_NAME(WSA_IO_PENDING)
    ZR_WSA_NAME(WSAEINTR)
    ZR_WSA_NAME(WSAEBADF)
    ZR_WSA_NAME(WSAEACCES)
    ZR_WSA_NAME(WSAEFAULT)
    ZR_WSA_NAME(WSAEINVAL)
    ZR_WSA_NAME(WSAEMFILE)
    ZR_WSA_NAME(WSAEWOULDBLOCK)
    ZR_WSA_NAME(WSAEINPROGRESS)
    ZR_WSA_NAME(WSAEALREADY)
    ZR_WSA_NAME(WSAENOTSOCK)
    ZR_WSA_NAME(WSAEDESTADDRREQ)
    ZR_WSA_NAME(WSAEMSGSIZE)
    ZR_WSA_NAME(WSAEPROTOTYPE)
    ZR_WSA_NAME(WSAENOPROTOOPT)
    ZR_WSA_NAME(WSAEPROTONOSUPPORT)
    ZR_WSA_NAME(WSAESOCKTNOSUPPORT)
    ZR_WSA_NAME(WSAEOPNOTSUPP)
    ZR_WSA_NAME(WSAEPFNOSUPPORT)
    ZR_WSA_NAME(WSAEAFNOSUPPORT)
    ZR_WSA_NAME(WSAEADDRINUSE)
    ZR_WSA_NAME(WSAEADDRNOTAVAIL)
    ZR_WSA_NAME(WSAENETDOWN)
    ZR_WSA_NAME(WSAENETUNREACH)
    ZR_WSA_NAME(WSAENETRESET)
    ZR_WSA_NAME(WSAECONNABORTED)
    ZR_WSA_NAME(WSAECONNRESET)
    ZR_WSA_NAME(WSAENOBUFS)
    ZR_WSA_NAME(WSAEISCONN)
    ZR_WSA_NAME(WSAENOTCONN)
    ZR_WSA_NAME(WSAESHUTDOWN)
    ZR_WSA_NAME(WSAETOOMANYREFS)
    ZR_WSA_NAME(WSAETIMEDOUT)
    ZR_WSA_NAME(WSAECONNREFUSED)
    ZR_WSA_NAME(WSAELOOP)
    ZR_WSA_NAME(WSAENAMETOOLONG)
    ZR_WSA_NAME(WSAEHOSTDOWN)
    ZR_WSA_NAME(WSAEHOSTUNREACH)
    ZR_WSA_NAME(WSAENOTEMPTY)
    ZR_WSA_NAME(WSAEPROCLIM)
    ZR_WSA_NAME(WSAEUSERS)
    ZR_WSA_NAME(WSAEDQUOT)
    ZR_WSA_NAME(WSAESTALE)
    ZR_WSA_NAME(WSAEREMOTE)
    ZR_WSA_NAME(WSASYSNOTREADY)
    ZR_WSA_NAME(WSAVERNOTSUPPORTED)
    ZR_WSA_NAME(WSANOTINITIALISED)
    ZR_WSA_NAME(WSAEDISCON)
    ZR_WSA_NAME(WSAENOMORE)
    ZR_WSA_NAME(WSAECANCELLED)
    ZR_WSA_NAME(WSAEINVALIDPROCTABLE)
    ZR_WSA_NAME(WSAEINVALIDPROVIDER)
    ZR_WSA_NAME(WSAEPROVIDERFAILEDINIT)
    ZR_WSA_NAME(WSASYSCALLFAILURE)
    ZR_WSA_NAME(WSATYPE_NOT_FOUND)
    ZR_WSA_NAME(WSAHOST_NOT_FOUND)
    ZR_WSA_NAME(WSATRY_AGAIN)
    ZR_WSA_NAME(WSANO_RECOVERY)
    ZR_WSA_NAME(WSANO_DATA)
#undef ZR_WSA_NAME
    default:
      return nullptr;
  }
}

}  // namespace zr::net
