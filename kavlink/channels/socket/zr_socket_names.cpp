// CZrSocket: the name look-up methods. Each gives its result only when every step works;
// otherwise the caller's result is left alone and the last error is not touched.
#include <string>

#include "channels/socket/zr_socket.h"
#include "channels/socket/zr_socket_text.h"
#include "net/address.h"
#include "net/wsa_error.h"
#include "text/ansi.h"

namespace kavlink {

namespace {

constexpr size_t kHostFieldBytes = 1024;

HRESULT giveText(const std::string& text, BSTR* result) {
  BSTR s = zr::com::narrowBstr(text);
  if (!s) return E_OUTOFMEMORY;
  *result = s;
  return S_OK;
}

}  // namespace

bool narrowField(BSTR text, size_t maxBytes, std::string& out) {
  std::string narrow = zr::text::wideToAnsi(zr::com::bstrView(text));
  if (size_t zero = narrow.find('\0'); zero != std::string::npos) narrow.resize(zero);
  if (narrow.size() > maxBytes) return false;
  out = std::move(narrow);
  return true;
}

HRESULT CZrSocket::GetLocalHost(BSTR* result) {
  if (!result) return E_POINTER;
  std::string name;
  if (zr::net::localHostName(name) != 0) return S_OK;
  return giveText(name, result);
}

HRESULT CZrSocket::GetLocalIP(BSTR* result) {
  if (!result) return E_POINTER;
  std::string name;
  zr::net::Endpoint first;
  std::string address;
  if (zr::net::localHostName(name) != 0 ||
      zr::net::resolveFirst(name.c_str(), port_, 0, family_, protocol_, first) != 0 ||
      zr::net::nameOf(first, true, address) != 0) {
    return S_OK;
  }
  return giveText(address, result);
}

HRESULT CZrSocket::GetHostByIP(BSTR ip, BSTR* result) {
  if (!result) return E_POINTER;
  std::string address;
  if (!ipText(ip, address)) {
    lastError_ = zr::net::WSAEINVAL;
    return S_OK;
  }
  zr::net::Endpoint first;
  std::string name;
  if (zr::net::resolveFirst(address.c_str(), port_, 0, family_, protocol_, first) != 0 ||
      zr::net::nameOf(first, false, name) != 0) {
    return S_OK;
  }
  return giveText(name, result);
}

HRESULT CZrSocket::GetIPByHost(BSTR Host, BSTR* result) {
  if (!result) return E_POINTER;
  std::string host;
  if (!narrowField(Host, kHostFieldBytes, host)) {
    lastError_ = zr::net::WSAEINVAL;
    return S_OK;
  }
  zr::net::Endpoint first;
  std::string address;
  if (zr::net::resolveFirst(host.c_str(), port_, 0, family_, protocol_, first) != 0 ||
      zr::net::nameOf(first, true, address) != 0) {
    return S_OK;
  }
  return giveText(address, result);
}

}  // namespace kavlink
