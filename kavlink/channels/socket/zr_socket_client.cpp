// CZrSocket, client side: connect, transfers, waits, and the read and close notices.
#include <string>

#include "channels/socket/zr_socket.h"
#include "channels/socket/zr_socket_text.h"
#include "channels/window/message_window.h"
#include "com/host_buffer.h"
#include "msg/dispatching_wait.h"
#include "net/wsa_error.h"
#include "text/ansi.h"

namespace kavlink {

using zr::net::IoResult;

namespace {

constexpr int kSendRetries = 10;
constexpr int kSendPauseMs = 200;
constexpr LONG kRecvFromBytes = 1024;
// The BOOL results this object gives, as the other channel objects give them.
constexpr VARIANT_BOOL kTrue = 1;

}  // namespace

bool CZrSocket::failWith(int code) {
  lastError_ = code;
  return false;
}

// ---- connect and close ------------------------------------------------------------------

HRESULT CZrSocket::Connect(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (connected_) {
    lastError_ = kErrAlreadyConnected;
    return S_OK;
  }
  if (connectClient()) *result = kTrue;
  return S_OK;
}

bool CZrSocket::connectClient() {
  const bool notices = autoEvent_ != VARIANT_FALSE;
  if (int err = zr::net::Socket::open(family_, protocol_ == ipTCP, socket_)) return failWith(err);
  if (broadcast_ && protocol_ == ipUDP) {
    // A socket whose set-up failed is of no use to anyone: it goes at once.
    if (int err = socket_.setBroadcast(true)) {
      socket_.close();
      return failWith(err);
    }
  }
  if (notices) {
    window_ = CreateMessageWindow(&SocketEventWndProc);
    if (window_) zr::msg::setProp(window_, kWindowProp, this);
  }
  auto abandon = [this](int err) {
    closeClient();
    return failWith(err);
  };

  // An empty Host connects to the local host, as a Windows look-up of an empty name gives
  // the host's own addresses (resolveFirst takes it as the loopback address).
  zr::net::Endpoint peer;
  if (int err = zr::net::resolveFirst(host_.c_str(), port_, 0, family_, protocol_, peer)) return abandon(err);
  // Only the first address is tried; the connect gives up after Windows' 21 seconds.
  if (int err = socket_.connect(peer)) return abandon(err);
  ++connection_;
  if (notices && !startNotices()) return false;
  socket_.setNonBlocking(true);
  connected_ = kTrue;
  return true;
}

bool CZrSocket::startNotices() {
  // No window: the notices have nowhere to go, as a notice request for a missing window fails.
  if (!window_) {
    closeClient();
    return failWith(zr::net::WSAEINVAL);
  }
  closeNoticed_ = false;
  // With nobody listening the watcher would only announce to no one; the first sink starts it.
  if (!events_.hasSinks()) return true;
  if (int err = startWatcher()) {
    closeClient();
    return failWith(err);
  }
  return true;
}

int CZrSocket::startWatcher() {
  zr::msg::HWND hwnd = window_;
  const auto fd = static_cast<zr::msg::WPARAM>(socket_.fd());
  return zr::net::SocketWatcher::start(
      socket_.fd(), socket_.isStream(),
      [hwnd, fd](zr::net::SocketWatcher::Notice n) {
        zr::msg::postMessage(hwnd, kNoticeMessage, fd, n == zr::net::SocketWatcher::Notice::Read ? kFdRead : kFdClose);
      },
      watcher_);
}

void CZrSocket::sinkAdvised() {
  // A connection made while nobody listened: its notices start now, data already waiting
  // announced first. A watcher that cannot start leaves the host without them, as before
  // the sink came.
  if (connected_ && window_ && !watcher_ && !closeNoticed_) startWatcher();
}

void CZrSocket::closeClient() {
  // The watcher goes first: once it has stopped nothing more is posted to the window.
  watcher_.reset();
  socket_.close();
  if (window_) {
    zr::msg::removeProp(window_, kWindowProp);
    zr::msg::destroyWindow(window_);
    window_ = nullptr;
  }
  connected_ = VARIANT_FALSE;
}

// ---- transfers --------------------------------------------------------------------------

HRESULT CZrSocket::Send(PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = kTrue;
  if (len <= 0) return S_OK;  // nothing to send
  const zr::com::HostBuffer buffer(ptrBuf, len);
  if (!buffer.usable()) {
    lastError_ = zr::net::WSAEFAULT;
    *result = VARIANT_FALSE;
    return S_OK;
  }
  *result = SendFrom(buffer.bytes(), buffer.size()) ? kTrue : VARIANT_FALSE;
  return S_OK;
}

bool CZrSocket::SendFrom(const void* bytes, size_t length) {
  const char* p = static_cast<const char*>(bytes);
  size_t left = length;
  int wouldBlock = 0;
  while (left > 0) {
    IoResult r = socket_.send(p, left);
    if (r.ok()) {
      p += r.count;
      left -= static_cast<size_t>(r.count);
      wouldBlock = 0;
      continue;
    }
    if (r.error == zr::net::WSAEWOULDBLOCK && wouldBlock < kSendRetries) {
      // The pause ends as soon as there is room again; it is never longer than Windows'.
      ++wouldBlock;
      socket_.waitWritable(kSendPauseMs);
      continue;
    }
    lastError_ = r.error;
    return false;
  }
  return true;
}

HRESULT CZrSocket::SendTo(BSTR ip, LONG Port, PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  const zr::com::HostBuffer buffer(ptrBuf, len);
  if (!buffer.usable()) {
    lastError_ = zr::net::WSAEFAULT;
    return S_OK;
  }
  std::string address;
  if (!ipText(ip, address)) {
    lastError_ = zr::net::WSAEINVAL;
    return S_OK;
  }
  zr::net::Endpoint to;
  int err = zr::net::resolveFirst(address.c_str(), Port, zr::net::kResolvePassive | zr::net::kResolveNumericHost,
                                  family_, protocol_, to);
  if (err != 0) {
    lastError_ = err;
    return S_OK;
  }
  IoResult r = socket_.sendTo(buffer.bytes(), buffer.size(), to);
  if (!r.ok()) {
    lastError_ = r.error;
    return S_OK;
  }
  *result = kTrue;  // a short count still counts as sent
  return S_OK;
}

HRESULT CZrSocket::Recv(PTRBUF ptrBuf, LONG* result) {
  if (!result) return E_POINTER;
  *result = -1;
  const zr::com::HostBuffer buffer(ptrBuf, bufferSize_);
  if (!buffer.usable()) {
    lastError_ = zr::net::WSAEFAULT;
    return S_OK;
  }
  *result = ReceiveInto(buffer.bytes(), buffer.size());
  return S_OK;
}

LONG CZrSocket::ReceiveInto(void* buffer, size_t length) {
  IoResult r = socket_.recv(buffer, length);
  receiveDone(r);
  if (!r.ok()) {
    lastError_ = r.error;
    return -1;
  }
  if (r.count == 0) closeSeen();
  return static_cast<LONG>(r.count);
}

void CZrSocket::closeSeen() {
  // Without a watcher the owner is the one to see the peer's close: the notice still comes,
  // so the object closes where it would have.
  if (watcher_ || !window_ || closeNoticed_ || !socket_.isStream()) return;
  closeNoticed_ = true;
  zr::msg::postMessage(window_, kNoticeMessage, static_cast<zr::msg::WPARAM>(socket_.fd()), kFdClose);
}

HRESULT CZrSocket::RecvFrom(BSTR* ip, LONG* Port, PTRBUF ptrBuf, LONG* result) {
  if (!ip || !Port || !result) return E_POINTER;
  *result = -1;
  const zr::com::HostBuffer buffer(ptrBuf, kRecvFromBytes);
  if (!buffer.usable()) {
    lastError_ = zr::net::WSAEFAULT;
    return S_OK;
  }
  zr::net::Endpoint from;
  IoResult r = socket_.recvFrom(buffer.bytes(), buffer.size(), from);
  receiveDone(r);
  if (!r.ok()) {
    lastError_ = r.error;
    return S_OK;
  }
  std::string sender;
  if (zr::net::nameOf(from, true, sender) != 0) sender = "<unknown>";
  BSTR text = zr::com::narrowBstr(sender);
  if (!text) return E_OUTOFMEMORY;
  SysFreeString(*ip);
  *ip = text;
  *Port = from.port();
  *result = static_cast<LONG>(r.count);
  return S_OK;
}

void CZrSocket::receiveDone(const IoResult& r) {
  // Receiving is what lets the next read notice come, as on Windows. A stream's 0 is its
  // close, not data; an empty datagram is one.
  if (watcher_) watcher_->rearm(r.ok() && (r.count > 0 || !socket_.isStream()));
}

// ---- waits ------------------------------------------------------------------------------

HRESULT CZrSocket::WaitForData(LONG timeout, LONG* result) {
  return zr::com::outValue(result, timeout > 0 ? WaitReadable(static_cast<DWORD>(timeout)) : 0);
}

HRESULT CZrSocket::Stop() {
  stopRequest_ = 1;
  return S_OK;
}

LONG CZrSocket::WaitReadable(DWORD timeoutMs) {
  stopRequest_ = 0;
  class SocketInput final : public zr::msg::WaitInput {
   public:
    explicit SocketInput(CZrSocket& owner) : owner_(owner) {}
    int fd() override { return owner_.socket_.fd(); }
    bool fdTells() const override { return true; }
    bool wholeSteps() const override { return true; }
    // A socket that cannot be looked at (closed by a handler meanwhile) counts as ready:
    // the following receive tells why.
    bool ready() override { return owner_.socket_.waitReadable(0) != 0; }
    // The reply is this thread's to take: the watcher need not wake for it. A handler may
    // close or connect again meanwhile; only the watcher the wait began with is told.
    void beginWait() override {
      watcher_ = owner_.watcher_.get();
      connection_ = owner_.connection_;
      if (watcher_) watcher_->beginOwnerWait();
    }
    void endWait() override {
      if (watcher_ && owner_.watcher_.get() == watcher_ && owner_.connection_ == connection_) watcher_->endOwnerWait();
    }

   private:
    CZrSocket& owner_;
    zr::net::SocketWatcher* watcher_ = nullptr;
    unsigned connection_ = 0;
  } input(*this);
  return zr::msg::waitDispatching(input, timeoutMs, blocking_ != 0, stopRequest_) == zr::msg::WaitEnd::Input ? 1 : 0;
}

// ---- notices ----------------------------------------------------------------------------

void CZrSocket::onNotice(zr::msg::LPARAM lParam) {
  // A handler may release the host's last reference or close the socket.
  zr::com::ComPtr<IZrSocket> hold(this);
  const unsigned connection = connection_;
  switch (lParam & 0xFFFF) {
    case kFdRead: {
      if (protocol_ == ipTCP) {
        events_.fireArgs(_IZrSocketEvents::kOnRecv, static_cast<ULONG>(socket_.fd()), PTRBUF{0}, LONG{0});
      } else {
        events_.fireArgs(_IZrSocketEvents::kOnRecvFrom, static_cast<BSTR>(nullptr), LONG{0}, PTRBUF{0}, LONG{0});
      }
      if (connection == connection_ && watcher_) watcher_->noticeHandled();
      break;
    }
    case kFdClose:
      events_.fireArgs(_IZrSocketEvents::kOnClose, ULONG{0});
      // A host that connected again from its handler keeps its new connection.
      if (connection == connection_) Close();
      break;
    default:
      break;
  }
}

zr::msg::LRESULT SocketEventWndProc(zr::msg::HWND hwnd, zr::msg::UINT msg, zr::msg::WPARAM, zr::msg::LPARAM lParam) {
  // A hidden window has nothing to do with any other message.
  if (msg != CZrSocket::kNoticeMessage) return 0;
  if (auto* self = static_cast<CZrSocket*>(zr::msg::getProp(hwnd, CZrSocket::kWindowProp))) self->onNotice(lParam);
  return 1;
}

}  // namespace kavlink
