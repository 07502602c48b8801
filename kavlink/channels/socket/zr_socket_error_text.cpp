// The texts of the socket object's last error codes.
#include "channels/socket/zr_socket.h"
#include "net/wsa_error.h"

namespace kavlink {

namespace {

// The Winsock codes whose constant name is their text; any other Winsock code, 10059 and
// the name look-up codes included, has none.
bool hasWinsockText(LONG code) {
  switch (code) {
    case 6:
    case 8:
    case 87:
    case 995:
    case 996:
    case 997:
    case 10004:
    case 10009:
    case 10013:
    case 10014:
    case 10022:
    case 10024:
      return true;
    default:
      return (code >= 10035 && code <= 10058) || (code >= 10060 && code <= 10071) || (code >= 10091 && code <= 10093) ||
             (code >= 10101 && code <= 10107);
  }
}

}  // namespace

const char* CZrSocket::ErrorTextOf(LONG code) {
  switch (code) {
    case 101:
      return "create iocp error";
    case 102:
      return "create iocp thread error";
    case 105:
      return "socket obj is null";
    case 108:
      return "IO count max error";
    case 109:
      return "server no close";
    case 111:
      return "socket buf is null";
    case 112:
      return "socket no active";
    case kErrAlreadyConnected:
      return "Connect failed, socket already connected!";
    case 114:
      return "bing socket addr error";
    default:
      break;
  }
  if (hasWinsockText(code)) {
    if (const char* name = zr::net::wsaErrorName(code)) return name;
  }
  return "Unknow error msg";
}

const char* CZrSocket::ErrorText() const { return ErrorTextOf(lastError_); }

}  // namespace kavlink
