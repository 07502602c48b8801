// The DL/T 645 master: writes request frames on its own serial port and collects the
// meter's reply within a time-out and a number of attempts, or hands frames that arrive
// on their own to the host as events.
//
// Threads: everything runs on the thread that created the control and opened its port.
// While Comm or Recv waits, the port's wait dispatches window messages, so host handlers
// and the port's events run nested inside it; the busy flag refuses a nested exchange.
#pragma once

#include <kavlink/zr_comm_dlt645.h>

#include "engines/busy_flag.h"
#include "channels/control_ports.h"
#include "com/com_ptr.h"
#include "com/connection_point.h"
#include "com/dispatch.h"
#include "com/object.h"
#include "dlt645/frame645.h"
#include "dlt645/receive_buffer.h"
#include "module/property_stream.h"

namespace kavlink {

class CZrCommDLT645 final
    : public zr::com::ComObject<CZrCommDLT645, zr::com::DispatchImpl<CZrCommDLT645, IZrCommDLT645>,
                                PersistStreamImpl<CZrCommDLT645>, zr::com::ConnectionPointContainerImpl,
                                zr::com::SupportErrorInfoImpl> {
 public:
  static constexpr CLSID kClsid = CLSID_ZrCommDLT645;
  static constexpr std::u16string_view kProgId = u"kavlink.ZrCommDLT645.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.ZrCommDLT645";
  static constexpr bool kAggregatable = true;

  CZrCommDLT645();
  ~CZrCommDLT645() override;

  // ---- IZrCommDLT645
  HRESULT get_Serial(IZrSerial** value) override;
  HRESULT get_WaitTimeout(ULONG* value) override;
  HRESULT put_WaitTimeout(ULONG value) override;
  HRESULT get_AutoReceive(VARIANT_BOOL* value) override;
  HRESULT put_AutoReceive(VARIANT_BOOL value) override;
  HRESULT get_AttemptTimes(LONG* value) override;
  HRESULT put_AttemptTimes(LONG value) override;
  HRESULT get_Tools(IZrTools** value) override;
  HRESULT AboutBox() override;
  HRESULT Send(IFrame645* txFrame, VARIANT_BOOL* result) override;
  HRESULT GetNewIFrame645(IFrame645** result) override;
  HRESULT Recv(IFrame645** result) override;
  HRESULT Comm(IFrame645* txFrame, IFrame645** result) override;
  HRESULT ClearBuf() override;
  HRESULT SetCheckCS(VARIANT_BOOL check) override;

  // The inner port's events arrive here (user pointer: the control).
  static void SerialRecvCallback(void* user, DWORD eventBit);

 protected:
  HRESULT finalConstruct() override;

 private:
  friend class PersistStreamImpl<CZrCommDLT645>;
  static std::span<const StreamProperty<CZrCommDLT645>> streamProperties();
  void onSerialEvent(DWORD bit);
  void readAvailableFrames();
  // Waits for a frame in the receive buffer; its position, or -1.
  int32_t waitForFrame();
  void clearReceiveSide();
  // Reads n waiting bytes behind those buffered; bytes that would fill the buffer clear
  // the receive side instead (false).
  bool takeInput(uint32_t n);
  void writeFrame(IFrame645* txFrame);
  // A new frame object holding the frame at p, which leaves the buffer.
  IFrame645* takeFrame(int32_t p);

  ControlPorts ports_;
  ULONG waitTimeout_ = 5000;
  LONG attemptTimes_ = 1;
  BusyFlag busy_;
  ReceiveBuffer645 rx_;
  uint8_t tx_[ReceiveBuffer645::kSize] = {};
  bool checkCs_ = true;
  VARIANT_BOOL autoReceive_ = 0;
  zr::com::ComPtr<CFrame645> rxFrame_;
  zr::com::ConnectionPoint events_;
};

}  // namespace kavlink
