// CZrSocket: construction, settings, and the members that belong to the server.
#include "channels/socket/zr_socket.h"

#include <algorithm>
#include <new>

#include "channels/socket/zr_socket_text.h"
#include "channels/tools/zr_tools.h"
#include "com/host_buffer.h"
#include "module/class_table.h"
#include "module/dialog_host.h"
#include "net/server_socket.h"
#include "net/wsa_error.h"
#include "text/ansi.h"

namespace kavlink {

namespace {

constexpr size_t kHostMaxBytes = 1024;
constexpr LONG kMaxThreads = 32;
constexpr LONG kMaxOverlapped = 32;

LONG defaultThreadCount() { return std::min(2 * static_cast<LONG>(zr::net::usableProcessors()), kMaxThreads); }

}  // namespace

CZrSocket::CZrSocket()
    : threadCount_(defaultThreadCount()),
      events_(_IZrSocketEvents::iid, static_cast<IConnectionPointContainer*>(this), innerUnknown()) {
  addConnectionPoint(&events_);
  events_.setAdviseHook([this] { sinkAdvised(); });
  CZrTools* tools = CZrTools::create();
  if (!tools) throw std::bad_alloc();
  tools_ = zr::com::ComPtr<IZrTools>::attach(static_cast<IZrTools*>(tools));
}

CZrSocket::~CZrSocket() { Close(); }

HRESULT CZrSocket::finalConstruct() {
  events_.setOwner(controllingUnknown());
  return S_OK;
}

// ---- settings ---------------------------------------------------------------------------

HRESULT CZrSocket::get_Host(BSTR* value) {
  if (!value) return E_POINTER;
  *value = zr::com::narrowBstr(host_);
  return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZrSocket::put_Host(BSTR value) {
  // A narrow text field: it ends at the first zero and holds at most 1024 bytes.
  std::string narrow = zr::text::wideToAnsi(zr::com::bstrView(value));
  narrow.resize(std::min({narrow.find('\0'), narrow.size(), kHostMaxBytes}));
  host_ = std::move(narrow);
  return S_OK;
}

HRESULT CZrSocket::get_Port(LONG* value) { return zr::com::outValue(value, port_); }

HRESULT CZrSocket::put_Port(LONG value) {
  port_ = value;
  return S_OK;
}

HRESULT CZrSocket::get_BufferSize(LONG* value) { return zr::com::outValue(value, bufferSize_); }

HRESULT CZrSocket::put_BufferSize(LONG value) {
  if (value > 0) bufferSize_ = value;
  return S_OK;
}

HRESULT CZrSocket::get_IpProtocol(TIpProtocol* value) { return zr::com::outValue(value, protocol_); }

HRESULT CZrSocket::put_IpProtocol(TIpProtocol value) {
  protocol_ = value;
  return S_OK;
}

HRESULT CZrSocket::get_Blocking(VARIANT_BOOL* value) { return zr::com::outValue(value, blocking_); }

HRESULT CZrSocket::put_Blocking(VARIANT_BOOL value) {
  blocking_ = value;
  return S_OK;
}

HRESULT CZrSocket::get_socket(LONG* value) {
  if (std::shared_ptr<SocketServer> server = runningServer()) {
    return zr::com::outValue(value, static_cast<LONG>(server->listeningSocket()));
  }
  return zr::com::outValue(value, connected_ && socket_.valid() ? static_cast<LONG>(socket_.fd()) : 0);
}

HRESULT CZrSocket::get_AddrFamily(TAddrFamily* value) { return zr::com::outValue(value, family_); }

HRESULT CZrSocket::put_AddrFamily(TAddrFamily value) {
  family_ = value;
  return S_OK;
}

HRESULT CZrSocket::get_OverlappedSize(LONG* value) { return zr::com::outValue(value, overlappedSize_); }

HRESULT CZrSocket::put_OverlappedSize(LONG value) {
  overlappedSize_ = value > kMaxOverlapped ? kMaxOverlapped : value <= 0 ? 5 : value;
  return S_OK;
}

HRESULT CZrSocket::get_ThreadCount(LONG* value) { return zr::com::outValue(value, threadCount_); }

HRESULT CZrSocket::put_ThreadCount(LONG value) {
  threadCount_ = value > kMaxThreads ? kMaxThreads : value <= 0 ? 1 : value;
  return S_OK;
}

HRESULT CZrSocket::get_Connected(VARIANT_BOOL* value) { return zr::com::outValue(value, connected_); }

HRESULT CZrSocket::get_Tools(IZrTools** value) {
  if (!value) return E_POINTER;
  *value = tools_.get();
  if (*value) (*value)->AddRef();
  return S_OK;
}

HRESULT CZrSocket::get_Broadcast(VARIANT_BOOL* value) { return zr::com::outValue(value, broadcast_); }

HRESULT CZrSocket::put_Broadcast(VARIANT_BOOL value) {
  broadcast_ = value;
  return S_OK;
}

HRESULT CZrSocket::get_AutoEvent(VARIANT_BOOL* value) { return zr::com::outValue(value, autoEvent_); }

HRESULT CZrSocket::put_AutoEvent(VARIANT_BOOL value) {
  autoEvent_ = value;
  return S_OK;
}

// As the other controls' about boxes: a COM error where no window can be shown, even
// though the socket reports its own failures through GetLastError.
HRESULT CZrSocket::AboutBox() {
  return guard([] { dialog::showAboutBox("ZrSocket"); });
}

HRESULT CZrSocket::GetLastError(LONG* result) { return zr::com::outValue(result, lastError_); }

HRESULT CZrSocket::GetLastErrorStr(BSTR* result) {
  if (!result) return E_POINTER;
  *result = zr::com::narrowBstr(ErrorText());
  return *result ? S_OK : E_OUTOFMEMORY;
}

// ---- server -----------------------------------------------------------------------------

namespace {

// Why a buffer cannot be sent from: a negative length is an invalid argument, a missing
// address a fault; 0 when it can.
LONG unusableCode(const zr::com::HostBuffer& buffer) {
  if (buffer.usable()) return 0;
  return buffer.length() < 0 ? zr::net::WSAEINVAL : zr::net::WSAEFAULT;
}

}  // namespace

std::shared_ptr<SocketServer> CZrSocket::runningServer() {
  std::lock_guard lock(serverMutex_);
  return serverState_.load() == ServerState::Running ? server_ : nullptr;
}

SocketServer* CZrSocket::serverHere(std::shared_ptr<SocketServer>& hold) {
  if (serverState_.load() != ServerState::Running) return nullptr;
  // Inside one of its events the server is alive for sure: its worker holds it.
  if (SocketServer* s = SocketServer::handling(this)) return s;
  hold = runningServer();
  return hold.get();
}

HRESULT CZrSocket::Listen(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  ServerState idle = ServerState::Idle;
  if (!serverState_.compare_exchange_strong(idle, ServerState::Starting)) {
    lastError_ = SocketServer::kErrNotIdle;
    return S_OK;
  }
  joinStopped();
  lastError_ = 0;
  const ServerSettings settings{.threads = threadCount_,
                                .overlapped = overlappedSize_,
                                .bufferSize = bufferSize_,
                                .port = port_,
                                .family = family_,
                                .protocol = protocol_,
                                .host = host_};
  std::shared_ptr<SocketServer> server;
  try {
    server = std::make_shared<SocketServer>(settings, static_cast<ServerEvents*>(this));
  } catch (const std::bad_alloc&) {
    lastError_ = SocketServer::kErrPort;
    serverState_ = ServerState::Idle;
    return S_OK;
  }
  if (LONG code = server->start()) {
    server.reset();  // what was started is stopped again
    lastError_ = code;
    serverState_ = ServerState::Idle;
    return S_OK;
  }
  {
    std::lock_guard lock(serverMutex_);
    server_ = server;
  }
  serverState_ = ServerState::Running;
  server->begin();
  *result = 1;
  return S_OK;
}

void CZrSocket::stopServer() {
  ServerState running = ServerState::Running;
  if (!serverState_.compare_exchange_strong(running, ServerState::Stopping)) return;
  std::shared_ptr<SocketServer> server;
  {
    std::lock_guard lock(serverMutex_);
    server = std::move(server_);
  }
  if (!server->stop()) {
    // Called from a handler: its worker is still in it.
    joinStopped();
    std::lock_guard lock(serverMutex_);
    stopped_ = std::move(server);
  }
  server.reset();
  serverState_ = ServerState::Idle;
}

void CZrSocket::joinStopped() {
  std::shared_ptr<SocketServer> server;
  {
    std::lock_guard lock(serverMutex_);
    server = std::move(stopped_);
  }
  if (!server || server->stop()) return;
  std::lock_guard lock(serverMutex_);  // still on that worker: later
  stopped_ = std::move(server);
}

HRESULT CZrSocket::PostSend(ULONG socket, PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  std::shared_ptr<SocketServer> hold;
  SocketServer* server = serverHere(hold);
  if (!server) return S_OK;
  const zr::com::HostBuffer buffer(ptrBuf, len);
  LONG code = unusableCode(buffer);
  if (code == 0) code = server->postSend(socket, buffer.chars(), buffer.size());
  if (code != 0) {
    lastError_ = code;
    return S_OK;
  }
  *result = 1;
  return S_OK;
}

HRESULT CZrSocket::PostSendTo(BSTR ip, LONG Port, PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  std::shared_ptr<SocketServer> hold;
  SocketServer* server = serverHere(hold);
  if (!server || server->isStream()) return S_OK;
  const zr::com::HostBuffer buffer(ptrBuf, len);
  LONG code = unusableCode(buffer);
  // A datagram is sent whole or not at all.
  if (code == 0 && len > server->bufferSize()) code = zr::net::WSAEMSGSIZE;
  std::string address;
  if (code == 0 && !ipText(ip, address)) code = zr::net::WSAEINVAL;
  if (code == 0) {
    code = server->postSendTo(address, Port, family_, protocol_, buffer.chars(), buffer.size());
  }
  if (code != 0) {
    lastError_ = code;
    return S_OK;
  }
  *result = 1;
  return S_OK;
}

HRESULT CZrSocket::CloseSocket(ULONG socket) {
  if (std::shared_ptr<SocketServer> server = runningServer()) {
    if (LONG code = server->closeSocket(socket)) lastError_ = code;
  }
  return S_OK;
}

HRESULT CZrSocket::GetClientCount(LONG* result) {
  std::shared_ptr<SocketServer> server = runningServer();
  return zr::com::outValue(result, server ? server->recordCount() : 0);
}

HRESULT CZrSocket::Close() {
  stopServer();
  joinStopped();
  closeClient();
  return S_OK;
}

void CZrSocket::serverAccepted(ULONG handle, const std::string& ip, LONG port) {
  zr::com::Bstr text(zr::text::ansiToWide(ip));
  events_.fireArgs(_IZrSocketEvents::kOnAccept, handle, static_cast<BSTR>(text.get()), port);
}

void CZrSocket::serverReceived(ULONG handle, char* data, LONG len) {
  events_.fireArgs(_IZrSocketEvents::kOnRecv, handle, reinterpret_cast<PTRBUF>(data), len);
}

void CZrSocket::serverReceivedFrom(const std::string& ip, LONG port, char* data, LONG len) {
  zr::com::Bstr text(zr::text::ansiToWide(ip));
  events_.fireArgs(_IZrSocketEvents::kOnRecvFrom, static_cast<BSTR>(text.get()), port, reinterpret_cast<PTRBUF>(data),
                   len);
}

void CZrSocket::serverClosed(ULONG handle) { events_.fireArgs(_IZrSocketEvents::kOnClose, handle); }

}  // namespace kavlink

using namespace zr::com;
using kavlink::IZrSocket;

template <>
const DispTable& zr::com::dispatchTable<IZrSocket>() {
  static const DispTable t{{
      propGet<&IZrSocket::get_Host>(u"Host", 1),
      propPut<&IZrSocket::put_Host>(u"Host", 1),
      propGet<&IZrSocket::get_Port>(u"Port", 2),
      propPut<&IZrSocket::put_Port>(u"Port", 2),
      propGet<&IZrSocket::get_BufferSize>(u"BufferSize", 3),
      propPut<&IZrSocket::put_BufferSize>(u"BufferSize", 3),
      propGet<&IZrSocket::get_IpProtocol>(u"IpProtocol", 4),
      propPut<&IZrSocket::put_IpProtocol>(u"IpProtocol", 4),
      propGet<&IZrSocket::get_Blocking>(u"Blocking", 5),
      propPut<&IZrSocket::put_Blocking>(u"Blocking", 5),
      propGet<&IZrSocket::get_socket>(u"socket", 6),
      propGet<&IZrSocket::get_AddrFamily>(u"AddrFamily", 7),
      propPut<&IZrSocket::put_AddrFamily>(u"AddrFamily", 7),
      propGet<&IZrSocket::get_OverlappedSize>(u"OverlappedSize", 8),
      propPut<&IZrSocket::put_OverlappedSize>(u"OverlappedSize", 8),
      propGet<&IZrSocket::get_ThreadCount>(u"ThreadCount", 9),
      propPut<&IZrSocket::put_ThreadCount>(u"ThreadCount", 9),
      propGet<&IZrSocket::get_Connected>(u"Connected", 33),
      propGet<&IZrSocket::get_Tools>(u"Tools", 34),
      propGet<&IZrSocket::get_Broadcast>(u"Broadcast", 35),
      propPut<&IZrSocket::put_Broadcast>(u"Broadcast", 35),
      propGet<&IZrSocket::get_AutoEvent>(u"AutoEvent", 36),
      propPut<&IZrSocket::put_AutoEvent>(u"AutoEvent", 36),
      method<&IZrSocket::AboutBox>(u"AboutBox", -552),
      method<&IZrSocket::Connect>(u"Connect", 10),
      method<&IZrSocket::Listen>(u"Listen", 11),
      method<&IZrSocket::Close>(u"Close", 12),
      method<&IZrSocket::PostSend>(u"PostSend", 13),
      method<&IZrSocket::PostSendTo>(u"PostSendTo", 14),
      method<&IZrSocket::Send>(u"Send", 15),
      method<&IZrSocket::SendTo>(u"SendTo", 16),
      method<&IZrSocket::Recv>(u"Recv", 17),
      method<&IZrSocket::RecvFrom>(u"RecvFrom", 18),
      method<&IZrSocket::WaitForData>(u"WaitForData", 19),
      method<&IZrSocket::CloseSocket>(u"CloseSocket", 20),
      method<&IZrSocket::GetLastError>(u"GetLastError", 21),
      method<&IZrSocket::GetLastErrorStr>(u"GetLastErrorStr", 23),
      method<&IZrSocket::GetClientCount>(u"GetClientCount", 24),
      method<&IZrSocket::GetLocalIP>(u"GetLocalIP", 25),
      method<&IZrSocket::GetLocalHost>(u"GetLocalHost", 29),
      method<&IZrSocket::GetHostByIP>(u"GetHostByIP", 30),
      method<&IZrSocket::GetIPByHost>(u"GetIPByHost", 31),
      method<&IZrSocket::Stop>(u"Stop", 32),
  }};
  return t;
}

namespace kavlink {

KAVLINK_CLASS(CZrSocket, "ZrSocket Class");

}  // namespace kavlink
