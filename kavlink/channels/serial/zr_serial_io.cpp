// CZrSerial: open and close, transfers, waits, and the comm events.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "channels/serial/zr_serial.h"
#include "channels/window/message_window.h"
#include "com/host_buffer.h"
#include "msg/dispatching_wait.h"
#include "serial/port_names.h"
#include "text/ansi.h"
#include "text/ticks.h"

namespace kavlink {

using zr::com::ComError;
using zr::serial::SerialError;

namespace {

// The order in which the bits of one mask are delivered.
constexpr DWORD kDispatchOrder[] = {ef_RXCHAR, ef_TXEMPTY, ef_BREAK, ef_CTS, ef_DSR,
                                    ef_RXFLAG, ef_RLSD,    ef_ERR,   ef_RING};

bool bit0(LONG v) { return (v & 1) != 0; }

}  // namespace

// ---- the port's own operations ----------------------------------------------------------

zr::serial::LineSettings CZrSerial::lineSettings(bool forOpen) const {
  zr::serial::LineSettings s;
  // Negative values stay out of range as unsigned and are refused by the device layer.
  s.baudRate = config_.baudRate > 0 ? static_cast<uint32_t>(config_.baudRate) : 0;
  s.dataBits = static_cast<uint32_t>(config_.dataBits);
  s.parity = static_cast<uint32_t>(config_.parityBits);
  s.stopBits = static_cast<uint32_t>(config_.stopBits);
  const bool check = bit0(parityCheck_);
  const bool parityReplace = check && bit0(parityReplace_);
  s.parityCheck = check;
  s.replaceErrors = (forOpen && bit0(config_.useErrChar)) || parityReplace;
  s.errorChar = parityReplace ? parityErrorChar_ : forOpen ? config_.errChar : 0;
  s.discardNull = bit0(config_.discardNull);
  s.ctsOutFlow = bit0(config_.outxCtsFlow);
  s.dsrOutFlow = bit0(config_.outxDsrFlow);
  s.dtrControl = static_cast<uint32_t>(config_.dtrControl & 3);
  s.rtsControl = static_cast<uint32_t>(config_.rtsControl & 3);
  s.dsrSensitivity = bit0(config_.dsrSensitivity);
  s.xonXoffOut = bit0(config_.xonXoffOut);
  s.xonXoffIn = bit0(config_.xonXoffIn);
  s.xonChar = config_.xonChar;
  s.xoffChar = config_.xoffChar;
  s.eventChar = static_cast<uint8_t>(config_.eventChar);
  s.eofChar = forOpen ? config_.eofChar : device_.settings().eofChar;
  return s;
}

void CZrSerial::OpenPort() {
  if (connected_) throw ComError("Port already opened");
  std::optional<std::string> path = zr::serial::devicePath(config_.port);
  if (!path) throw ComError("Unable to open com port");
  try {
    device_.open(*path);
  } catch (const SerialError&) {
    throw ComError("Unable to open com port");
  }
  try {
    device_.configure(lineSettings(true));
  } catch (const SerialError&) {
    device_.close();
    throw ComError("SetCommState function failed");
  }
  try {
    device_.purge(true, true);
  } catch (const SerialError&) {
    device_.close();
    throw ComError("PurgeComm function failed");
  }
  if (autoEvent_) startEvents();  // closes the device itself when it fails
  connected_ = 1;
  ++generation_;
}

void CZrSerial::startEvents() {
  // A port that opens without its events would look open and stay silent: refuse instead.
  auto fail = [&](const char* text) {
    if (cancelFd_ >= 0) ::close(cancelFd_);
    cancelFd_ = -1;
    if (window_) zr::msg::destroyWindow(window_);
    window_ = nullptr;
    device_.close();
    throw ComError(text);
  };
  window_ = CreateMessageWindow(SerialEventWndProc);
  if (!window_) fail("Unable to create the comm event window");
  cancelFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (cancelFd_ < 0) fail("Unable to start the comm event thread");
  device_.setEventMask(zr::serial::kEvAll);
  try {
    watcherRunning_ = true;
    watcher_ = std::thread([this] { watch(); });
  } catch (const std::system_error&) {
    watcherRunning_ = false;
    device_.setEventMask(0);
    fail("Unable to start the comm event thread");
  }
}

void CZrSerial::watch() {
  for (;;) {
    uint32_t mask = device_.waitEvents(cancelFd_);
    if (mask == 0) break;
    bool handled = false;
    zr::msg::sendMessage(window_, kCommEventMessage, reinterpret_cast<zr::msg::WPARAM>(this),
                         static_cast<zr::msg::LPARAM>(mask), cancelFd_, &handled);
    if (!handled) {
      pollfd pfd{cancelFd_, POLLIN, 0};
      if (poll(&pfd, 1, 0) > 0) break;
    }
  }
  watcherRunning_ = false;
}

void CZrSerial::stopWatcher() {
  if (watcher_.joinable()) {
    // Ends the wait for events and a hand-over under way, even one whose handler is
    // running right now on this thread (Close from inside OnComm).
    uint64_t one = 1;
    (void)!::write(cancelFd_, &one, sizeof one);
    watcher_.join();
  }
  if (cancelFd_ >= 0) ::close(cancelFd_);
  cancelFd_ = -1;
  device_.setEventMask(0);
}

void CZrSerial::ClosePort() {
  if (!connected_) return;
  connected_ = 0;
  ++generation_;
  // The watcher goes before the device: its descriptor number would be reused at once.
  stopWatcher();
  if (window_) zr::msg::destroyWindow(window_);
  window_ = nullptr;
  device_.close();
}

void CZrSerial::postOwnEvents() {
  DWORD mask = device_.takeOwnEvents();
  // Events nobody takes would only cost the queue two system calls per exchange.
  if (mask && window_ && (callback_ || events_.hasSinks())) {
    zr::msg::notifyMessage(window_, kCommEventMessage, reinterpret_cast<zr::msg::WPARAM>(this),
                           static_cast<zr::msg::LPARAM>(mask));
  }
}

DWORD CZrSerial::WritePort(const void* buffer, DWORD length) {
  DWORD n;
  try {
    n = static_cast<DWORD>(device_.write(buffer, length));
  } catch (const SerialError&) {
    throw ComError("WriteFile function failed");
  }
  postOwnEvents();
  return n;
}

DWORD CZrSerial::ReadPort(void* buffer, DWORD length) {
  DWORD n;
  try {
    n = static_cast<DWORD>(device_.read(buffer, length));
  } catch (const SerialError&) {
    throw ComError("ReadFile function failed");
  }
  postOwnEvents();
  return n;
}

DWORD CZrSerial::GetInQueueCount() {
  DWORD n;
  try {
    n = static_cast<DWORD>(device_.inQueue());
  } catch (const SerialError&) {
    throw ComError("ClearCommError function failed");
  }
  postOwnEvents();
  return n;
}

BOOL CZrSerial::PurgePort() {
  try {
    device_.purge(true, true);
  } catch (const SerialError&) {
    throw ComError("PurgeComm function failed");
  }
  return TRUE;
}

void CZrSerial::SetEventCallback(EventCallback callback, void* user) {
  callback_ = callback;
  callbackUser_ = user;
}

DWORD CZrSerial::WaitForInput(DWORD timeoutMs) {
  stop_ = 0;
  class LineInput final : public zr::msg::WaitInput {
   public:
    explicit LineInput(CZrSerial& port) : port_(port) {}
    int fd() override { return port_.device_.isOpen() ? port_.device_.readableFd() : -1; }
    // Readable also when the line has hung up; only the queue count tells.
    bool fdTells() const override { return false; }
    bool ready() override { return (count = port_.GetInQueueCount()) > 0; }
    bool held() override { return port_.device_.isOpen() && port_.device_.queued() > 0; }
    // While this thread waits, it alone takes the reply off the line.
    void beginWait() override { port_.device_.beginOwnerWait(); }
    void endWait() override { port_.device_.endOwnerWait(); }
    DWORD count = 0;

   private:
    CZrSerial& port_;
  } input(*this);
  const auto end = zr::msg::waitDispatching(input, timeoutMs, blocking_ != 0, stop_);
  return end == zr::msg::WaitEnd::Input ? input.count : 0;
}

void CZrSerial::DispatchCommEvents(DWORD mask) {
  // A handler may close the port or release the host's last reference.
  zr::com::ComPtr<IUnknown> hold(controllingUnknown());
  const unsigned generation = generation_;
  for (DWORD bit : kDispatchOrder) {
    if (!(mask & bit)) continue;
    if (!connected_ || generation != generation_) return;
    if (callback_) {
      callback_(callbackUser_, bit);
    } else {
      events_.fireArgs(_IZrSerialEvents::kOnComm, static_cast<TSerialEvent>(bit));
    }
  }
}

zr::msg::LRESULT SerialEventWndProc(zr::msg::HWND, zr::msg::UINT msg, zr::msg::WPARAM wParam, zr::msg::LPARAM lParam) {
  if (msg != CZrSerial::kCommEventMessage) return 0;
  reinterpret_cast<CZrSerial*>(wParam)->DispatchCommEvents(static_cast<DWORD>(lParam));
  return 1;
}

// ---- IZrSerial --------------------------------------------------------------------------

HRESULT CZrSerial::Open() {
  return guard([&] { OpenPort(); });
}

HRESULT CZrSerial::Close() {
  ClosePort();
  return S_OK;
}

HRESULT CZrSerial::GetInputCount(LONG* result) {
  if (!result) return E_POINTER;
  return guard([&] { *result = static_cast<LONG>(GetInQueueCount()); });
}

HRESULT CZrSerial::Send(PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = 0;
  if (len < 0) return S_OK;  // nothing sensible to write
  const zr::com::HostBuffer buffer(ptrBuf, len);
  return guard([&] {
    if (!buffer.usable()) throw ComError("WriteFile function failed");
    DWORD n = WritePort(buffer.bytes(), static_cast<DWORD>(buffer.size()));
    *result = n == buffer.size() ? 1 : 0;
  });
}

HRESULT CZrSerial::SendStr(BSTR str, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = 0;
  return guard([&] {
    // All of the converted text goes out, however many bytes it takes. An empty text still
    // goes to the port, so that a port that is not open says so instead of "sent".
    std::string bytes = zr::text::wideToAnsi(zr::com::bstrView(str));
    DWORD n = WritePort(bytes.data(), static_cast<DWORD>(bytes.size()));
    *result = n == bytes.size() ? 1 : 0;
  });
}

HRESULT CZrSerial::Recv(PTRBUF ptrBuf, LONG len, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  if (len < 0) return S_OK;
  const zr::com::HostBuffer buffer(ptrBuf, len);
  return guard([&] {
    // A read into no buffer fails as the read itself would, and leaves the bytes waiting.
    if (!buffer.usable()) throw ComError("ReadFile function failed");
    *result = static_cast<LONG>(ReadPort(buffer.bytes(), static_cast<DWORD>(buffer.size())));
  });
}

HRESULT CZrSerial::RecvStr(BSTR* result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  return guard([&] {
    DWORD n = GetInQueueCount();
    if (n == 0) return;
    std::vector<char> bytes(n);
    DWORD got = ReadPort(bytes.data(), n);
    *result = zr::com::narrowBstr(std::string_view(bytes.data(), got));
    if (!*result) throw std::bad_alloc();
  });
}

HRESULT CZrSerial::ClearBuf() {
  return guard([&] { PurgePort(); });
}

HRESULT CZrSerial::WaitForData(LONG timeout, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  if (timeout <= 0) return S_OK;
  return guard([&] { *result = static_cast<LONG>(WaitForInput(static_cast<DWORD>(timeout))); });
}

HRESULT CZrSerial::RecvWait(PTRBUF ptrBuf, LONG len, LONG timeout, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  if (timeout <= 0 || len <= 0) return S_OK;
  const zr::com::HostBuffer buffer(ptrBuf, len);
  return guard([&] {
    // As Recv: a read into no buffer fails at once, whatever is waiting or may come.
    if (!buffer.usable()) throw ComError("ReadFile function failed");
    const uint32_t start = zr::text::tickCount();
    DWORD sum = 0;
    const DWORD want = static_cast<DWORD>(len);
    do {
      if (zr::text::tickCount() - start >= static_cast<uint32_t>(timeout)) break;
      DWORD n = WaitForInput(static_cast<DWORD>(timeout));
      if (n == 0) break;
      n = std::min(n, want - sum);
      // What was read, not what was asked: a purge or a short read must not leave a hole.
      sum += ReadPort(buffer.bytes() + sum, n);
    } while (sum < want);
    *result = static_cast<LONG>(sum);
  });
}

HRESULT CZrSerial::UpdateDCB() {
  return guard([&] {
    if (!device_.isOpen()) throw ComError("SetCommState function failed");
    try {
      device_.configure(lineSettings(false), true);
    } catch (const SerialError&) {
      // The port stays "connected" without a device until Close, as a host expects after
      // a refused update; the watcher goes first, the device after it.
      stopWatcher();
      device_.close();
      throw ComError("SetCommState function failed");
    }
  });
}

}  // namespace kavlink
