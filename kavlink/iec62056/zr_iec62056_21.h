// The IEC 62056-21 control: its settings, the inner serial port it drives directly, the
// link engine bound to that port, and the readout and programming operations.
//
// Threads: the apartment model. Every operation runs on the caller's thread; while the
// engine waits for input the port dispatches that thread's messages, so host handlers and
// the control's own events run nested inside the operation. The busy flag refuses a
// nested operation; Stop, GetLastError, PickDataMsg and the properties always go through.
#pragma once

#include <kavlink/zr_iec62056_21.h>

#include "channels/control_ports.h"
#include "com/com_ptr.h"
#include "com/connection_point.h"
#include "com/dispatch.h"
#include "com/object.h"
#include "iec62056/data_sets.h"
#include "iec62056/iec_link.h"
#include "module/property_stream.h"

namespace kavlink {

class CZrIEC62056_21 final
    : public zr::com::ComObject<CZrIEC62056_21, zr::com::DispatchImpl<CZrIEC62056_21, IZrIEC62056_21>,
                                PersistStreamImpl<CZrIEC62056_21>, zr::com::ConnectionPointContainerImpl,
                                zr::com::SupportErrorInfoImpl> {
 public:
  static constexpr CLSID kClsid = CLSID_ZrIEC62056_21;
  static constexpr std::u16string_view kProgId = u"kavlink.ZrIEC62056_21.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.ZrIEC62056_21";
  static constexpr bool kAggregatable = true;

  CZrIEC62056_21();
  ~CZrIEC62056_21() override;

  // ---- IZrIEC62056_21
  HRESULT get_DeviceAddress(BSTR* value) override;
  HRESULT put_DeviceAddress(BSTR value) override;
  HRESULT get_Password(BSTR* value) override;
  HRESULT put_Password(BSTR value) override;
  HRESULT get_WakeupCharCount(LONG* value) override;
  HRESULT put_WakeupCharCount(LONG value) override;
  HRESULT get_Serial(IZrSerial** value) override;
  HRESULT get_MsgMaxLen(LONG* value) override;
  HRESULT put_MsgMaxLen(LONG value) override;
  HRESULT get_Format_P(LONG* value) override;
  HRESULT put_Format_P(LONG value) override;
  HRESULT get_Format_W(LONG* value) override;
  HRESULT put_Format_W(LONG value) override;
  HRESULT get_Format_R(LONG* value) override;
  HRESULT put_Format_R(LONG value) override;
  HRESULT get_Format_E(LONG* value) override;
  HRESULT put_Format_E(LONG value) override;
  HRESULT get_Format_B(LONG* value) override;
  HRESULT put_Format_B(LONG value) override;
  HRESULT get_MsgDelay(LONG* value) override;
  HRESULT put_MsgDelay(LONG value) override;
  HRESULT get_MsgNotify(VARIANT_BOOL* value) override;
  HRESULT put_MsgNotify(VARIANT_BOOL value) override;
  HRESULT get_MsgDisplayGroup(VARIANT_BOOL* value) override;
  HRESULT put_MsgDisplayGroup(VARIANT_BOOL value) override;
  HRESULT get_MsgDisplayFormat(TEventMsgFormat* value) override;
  HRESULT put_MsgDisplayFormat(TEventMsgFormat value) override;
  HRESULT get_StartBaudrate(TBaudRate* value) override;
  HRESULT put_StartBaudrate(TBaudRate value) override;
  HRESULT get_MsgTimeout(LONG* value) override;
  HRESULT put_MsgTimeout(LONG value) override;
  HRESULT get_SwitchBaudDelay(LONG* value) override;
  HRESULT put_SwitchBaudDelay(LONG value) override;
  HRESULT get_MsgImmediate(VARIANT_BOOL* value) override;
  HRESULT put_MsgImmediate(VARIANT_BOOL value) override;
  HRESULT get_ProtocolCtrl(LONG* value) override;
  HRESULT put_ProtocolCtrl(LONG value) override;
  HRESULT get_ModeCtrl(LONG* value) override;
  HRESULT put_ModeCtrl(LONG value) override;
  HRESULT get_Tools(IZrTools** value) override;
  HRESULT GetLastError(LONG* result) override;
  HRESULT GetNewIDataMsg(IDataMsg** result) override;
  HRESULT DataReadout(BSTR* datamsg, VARIANT_BOOL* result) override;
  HRESULT ProgBegin(VARIANT_BOOL* result) override;
  HRESULT ProgEnd() override;
  HRESULT ProgWrite(BSTR param, VARIANT_BOOL* result) override;
  HRESULT ProgWriteBlock(BSTR param, VARIANT_BOOL* result) override;
  HRESULT ProgRead(BSTR param, BSTR* datamsg, VARIANT_BOOL* result) override;
  HRESULT ProgExec(BSTR datamsg, VARIANT_BOOL* result) override;
  HRESULT Stop() override;
  HRESULT PickDataMsg(BSTR datamsg, IDataMsg** result) override;
  HRESULT ProgBatWrite(IDataMsg* dm, VARIANT_BOOL* result) override;
  HRESULT ProgBatRead(IDataMsg* dm, BSTR* datamsg, VARIANT_BOOL* result) override;
  HRESULT ProgBatExec(IDataMsg* dm, VARIANT_BOOL* result) override;
  HRESULT SaveConfig(BSTR fullFileName) override;
  HRESULT LoadConfig(BSTR fullFileName) override;
  HRESULT ShowSetupDlg() override;

  // The settings as they stand; the setup dialog reads and stores them directly.
  iec::LinkSettings& settings() { return settings_; }

 protected:
  HRESULT finalConstruct() override;

 private:
  friend class PersistStreamImpl<CZrIEC62056_21>;
  static std::span<const StreamProperty<CZrIEC62056_21>> streamProperties();
  class Events final : public iec::LinkEvents {
   public:
    explicit Events(CZrIEC62056_21& owner) : owner_(owner) {}
    void onComm(const std::string& text, bool sent) override;
    void onDataGroup(const std::string& line) override;

   private:
    CZrIEC62056_21& owner_;
  };

  // Six character times at the starting rate plus 10 ms, from the inner port's framing.
  int32_t calcSwitchBaudDelay();
  // The frame of every talking operation: busy refusal, busy flag, and a port failure
  // turned into a COM error with the port closed.
  template <class F>
  HRESULT operation(F&& body);
  template <class F>
  void exchange(F&& body);
  CZrSerial& port() { return ports_.serial(); }
  // Closes the port, opens it again at the starting rate and signs on.
  bool openConnection(bool programming);
  template <class PerGroup>
  HRESULT batch(IDataMsg* dm, VARIANT_BOOL* result, PerGroup&& perGroup);
  bool connected();
  bool readCommand(const std::string& text, std::string& reply);
  void setDirty() { dirty_ = true; }

  ControlPorts ports_;
  iec::LinkSettings settings_;
  Events linkEvents_{*this};
  iec::IecLink link_{ports_.serialChannel(), settings_, &linkEvents_};
  zr::com::ConnectionPoint events_;
};

}  // namespace kavlink
