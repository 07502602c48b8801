// CZrSerial: one serial port for a host and for the protocol controls that drive an inner
// port directly. It holds the line settings, the machine's port list, the open device and
// the comm-event machinery.
//
// Threads: the apartment model. The thread that opens the port owns it: every method, the
// hidden window and every event delivery. A watcher thread waits for the line's events and
// hands each mask to the hidden window with a blocking send, so OnComm (or the plain event
// callback) runs on the owner thread: in its message loop, or inside a wait of the port.
// Events the owner thread finds itself (reading, waiting, writing) it queues for the same
// window: they run in the same places, and an exchange involves no second thread.
#pragma once

#include <kavlink/zr_serial.h>
#include <kavlink/zr_tools.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "channels/serial/serial_config.h"
#include "com/com_ptr.h"
#include "com/connection_point.h"
#include "com/dispatch.h"
#include "com/object.h"
#include "module/property_stream.h"
#include "msg/message_queue.h"
#include "serial/serial_device.h"

namespace kavlink {

class CZrSerial final
    : public zr::com::ComObject<CZrSerial, zr::com::DispatchImpl<CZrSerial, IZrSerial>, PersistStreamImpl<CZrSerial>,
                                zr::com::ConnectionPointContainerImpl, zr::com::SupportErrorInfoImpl> {
 public:
  static constexpr CLSID kClsid = CLSID_ZrSerial;
  static constexpr std::u16string_view kProgId = u"kavlink.ZrSerial.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.ZrSerial";
  static constexpr bool kAggregatable = true;

  // The hidden window's message: wParam the object, lParam the event mask.
  static constexpr zr::msg::UINT kCommEventMessage = zr::msg::WM_USER + 1;

  using EventCallback = void (*)(void* user, DWORD eventBit);

  CZrSerial();
  ~CZrSerial() override;

  // ---- the port's own operations; each throws zr::com::ComError with the failure's text.
  // Opens the port with the current settings.
  void OpenPort();
  // Writes the whole buffer; returns when the kernel has taken every byte.
  DWORD WritePort(const void* buffer, DWORD length);
  // Takes up to length bytes already received; never waits.
  DWORD ReadPort(void* buffer, DWORD length);
  // Bytes waiting to be read.
  DWORD GetInQueueCount();
  // Waits up to timeoutMs for input in 20 ms steps, dispatching one message of the calling
  // thread per step unless Blocking. Returns the bytes waiting, or 0 after the time-out or
  // Stop. Returns as soon as bytes arrive.
  DWORD WaitForInput(DWORD timeoutMs);
  // Discards input and unsent output; returns TRUE.
  BOOL PurgePort();
  // While a callback is set, comm events go to it instead of OnComm; nullptr removes it.
  void SetEventCallback(EventCallback callback, void* user);
  // Closes the port as Close does (nothing when closed).
  void ClosePort();

  // Calls the event callback or fires OnComm once per bit of the mask, in the fixed order
  // RXCHAR, TXEMPTY, BREAK, CTS, DSR, RXFLAG, RLSD, ERR, RING. Stops as soon as the port
  // closes. The hidden window calls this on the owner thread.
  void DispatchCommEvents(DWORD mask);
  // Whether the comm-event watcher thread is running (it ends after a hang-up).
  bool EventWatcherRunning() const { return watcherRunning_; }

  // ---- the settings the profile file and the setup dialog edit (zr_serial_setup.cpp).
  // Stored as they are; an open port gets them at its next UpdateDCB or open.
  const SerialConfig& config() const { return config_; }
  void applyConfig(const SerialConfig& config);
  // The machine's port names, read when the object was made.
  const std::vector<std::string>& portNames() const { return portNames_; }

  // ---- IZrSerial
  HRESULT get_BaudRate(TBaudRate* value) override;
  HRESULT put_BaudRate(TBaudRate value) override;
  HRESULT get_ParityBits(TParityBits* value) override;
  HRESULT put_ParityBits(TParityBits value) override;
  HRESULT get_DataBits(TDataBits* value) override;
  HRESULT put_DataBits(TDataBits value) override;
  HRESULT get_StopBits(TStopBits* value) override;
  HRESULT put_StopBits(TStopBits value) override;
  HRESULT get_Port(BSTR* value) override;
  HRESULT put_Port(BSTR value) override;
  HRESULT get_BufferSize(LONG* value) override;
  HRESULT put_BufferSize(LONG value) override;
  HRESULT get_EventChar(CHAR* value) override;
  HRESULT put_EventChar(CHAR value) override;
  HRESULT get_DiscardNull(VARIANT_BOOL* value) override;
  HRESULT put_DiscardNull(VARIANT_BOOL value) override;
  HRESULT get_FlowControl(TFlow* value) override;
  HRESULT put_FlowControl(TFlow value) override;
  HRESULT get_Connected(VARIANT_BOOL* value) override;
  HRESULT get_Blocking(VARIANT_BOOL* value) override;
  HRESULT put_Blocking(VARIANT_BOOL value) override;
  HRESULT get_AutoEvent(VARIANT_BOOL* value) override;
  HRESULT put_AutoEvent(VARIANT_BOOL value) override;
  HRESULT get_Tools(IZrTools** value) override;
  HRESULT Open() override;
  HRESULT Close() override;
  HRESULT GetInputCount(LONG* result) override;
  HRESULT Send(PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) override;
  HRESULT SendStr(BSTR str, VARIANT_BOOL* result) override;
  HRESULT Recv(PTRBUF ptrBuf, LONG len, LONG* result) override;
  HRESULT RecvStr(BSTR* result) override;
  HRESULT ClearBuf() override;
  HRESULT WaitForData(LONG timeout, LONG* result) override;
  HRESULT RecvWait(PTRBUF ptrBuf, LONG len, LONG timeout, LONG* result) override;
  HRESULT SetParityCheck(VARIANT_BOOL check, VARIANT_BOOL replace, CHAR errorChar) override;
  HRESULT SetDTR_RTSControl(SHORT DTRControl, SHORT RTSControl) override;
  HRESULT SetXonChar_XoffChar(CHAR XoffChar, CHAR XonChar) override;
  HRESULT SetXonXoffIn_XonXoffOut(VARIANT_BOOL XonXoffIn, VARIANT_BOOL XonXoffOut) override;
  HRESULT SetDsrSensitivity(VARIANT_BOOL value) override;
  HRESULT SetTXContinueOnXoff(VARIANT_BOOL value) override;
  HRESULT ShowSetupDlg() override;                 // zr_serial_setup.cpp
  HRESULT SaveConfig(BSTR fullFileName) override;  // zr_serial_setup.cpp
  HRESULT LoadConfig(BSTR fullFileName) override;  // zr_serial_setup.cpp
  HRESULT UpdateDCB() override;
  HRESULT AboutBox() override;  // zr_serial_setup.cpp
  HRESULT GetPortCount(LONG* result) override;
  HRESULT GetPortName(LONG index, BSTR* result) override;
  HRESULT Stop() override;
  HRESULT SetChar(VARIANT_BOOL UseErrChar, CHAR ErrChar, CHAR EofChar) override;

 protected:
  HRESULT finalConstruct() override;

 private:
  friend class PersistStreamImpl<CZrSerial>;
  // What the container's stream holds (zr_serial_persist.cpp).
  static std::span<const StreamProperty<CZrSerial>> streamProperties();
  // The line settings the device gets: at open, or for UpdateDCB (which keeps the error
  // character only for parity replacement and the end-of-file character as it was).
  zr::serial::LineSettings lineSettings(bool forOpen) const;
  void startEvents();
  void stopWatcher();
  void watch();
  // Hands the events this thread's own reads and writes raised to the hidden window.
  void postOwnEvents();

  // ---- settings
  zr::com::ComPtr<IZrTools> tools_;
  // The properties, the settings file and the setup dialog all read and write this one copy.
  SerialConfig config_;
  VARIANT_BOOL autoEvent_ = 1;
  std::vector<std::string> portNames_;
  LONG bufferSize_ = 2048;
  VARIANT_BOOL blocking_ = 0;
  BOOL parityCheck_ = 0;
  BOOL parityReplace_ = 0;
  BYTE parityErrorChar_ = 0;

  // ---- the open port
  zr::serial::SerialDevice device_;
  VARIANT_BOOL connected_ = 0;
  unsigned generation_ = 0;  // counts opens and closes, so a dispatch sees its port gone
  zr::msg::HWND window_ = nullptr;
  int cancelFd_ = -1;  // readable once the watcher must end
  std::thread watcher_;
  std::atomic<bool> watcherRunning_{false};
  EventCallback callback_ = nullptr;
  void* callbackUser_ = nullptr;
  std::atomic<int> stop_{0};

  zr::com::ConnectionPoint events_;
};

// The hidden window's procedure: hands a comm-event mask to its object.
zr::msg::LRESULT SerialEventWndProc(zr::msg::HWND hwnd, zr::msg::UINT msg, zr::msg::WPARAM wParam,
                                    zr::msg::LPARAM lParam);

}  // namespace kavlink
