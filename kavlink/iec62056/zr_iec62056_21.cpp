#include "iec62056/zr_iec62056_21.h"

#include "channels/exchange_guard.h"
#include "iec62056/data_msg.h"
#include "module/class_table.h"
#include "module/property_stream.h"
#include "text/ansi.h"
#include "text/trim.h"

namespace kavlink {
namespace {

using zr::com::HResultError;

std::string narrow(BSTR s) { return zr::text::wideToAnsi(zr::com::bstrView(s)); }

std::string trimmedBytes(BSTR s) { return std::string(zr::text::trim(narrow(s))); }

HRESULT giveText(BSTR* out, const std::string& bytes) {
  if (!out) return E_POINTER;
  *out = zr::com::narrowBstr(bytes);
  return *out ? S_OK : E_OUTOFMEMORY;
}

// Replaces an [in, out] string: the value the caller passed in is ours to free.
void setText(BSTR* out, const std::string& bytes) {
  BSTR text = zr::com::narrowBstr(bytes);
  if (!text) throw std::bad_alloc();
  SysFreeString(*out);
  *out = text;
}

LONG digitOr(LONG value, LONG fallback) { return value >= 0 && value <= 9 ? value : fallback; }

// A BOOL held in 32 bits: the 16-bit value sign-extended, read back as its low 16 bits.
VARIANT_BOOL low16(int32_t v) { return static_cast<VARIANT_BOOL>(static_cast<uint16_t>(v & 0xFFFF)); }

}  // namespace

// ---- the engine's events --------------------------------------------------

void CZrIEC62056_21::Events::onComm(const std::string& text, bool sent) {
  zr::com::Bstr msg(zr::text::ansiToWide(text));
  owner_.events_.fireArgs(_IZrIEC62056_21Events::kOnComm, msg.get(), static_cast<VARIANT_BOOL>(sent ? 1 : 0));
}

void CZrIEC62056_21::Events::onDataGroup(const std::string& line) {
  zr::com::Bstr group(zr::text::ansiToWide(line));
  owner_.events_.fireArgs(_IZrIEC62056_21Events::kOnDataGroup, group.get());
}

// ---- creation ---------------------------------------------------------------------------

CZrIEC62056_21::CZrIEC62056_21() : events_(_IZrIEC62056_21Events::iid, this, nullptr) { addConnectionPoint(&events_); }

CZrIEC62056_21::~CZrIEC62056_21() = default;

HRESULT CZrIEC62056_21::finalConstruct() {
  events_.setOwner(controllingUnknown());
  port().put_BaudRate(br300);
  port().put_DataBits(dbSeven);
  port().put_StopBits(sbOneStopBit);
  port().put_ParityBits(prEven);
  port().put_AutoEvent(0);
  port().SetDTR_RTSControl(1, 1);
  settings_ = iec::LinkSettings{};
  settings_.switchBaudDelay = calcSwitchBaudDelay();
  return S_OK;
}

int32_t CZrIEC62056_21::calcSwitchBaudDelay() {
  TParityBits parity = prNone;
  TDataBits data = dbEight;
  TStopBits stop = sbOneStopBit;
  port().get_ParityBits(&parity);
  port().get_DataBits(&data);
  port().get_StopBits(&stop);
  const int32_t bits = (parity > 0 ? 1 : 0) + data + stop + 2;
  const int32_t rate = settings_.startBaudrate > 0 ? settings_.startBaudrate : 300;
  return bits * 6000 / rate + 10;
}

// ---- settings ---------------------------------------------------------------------------

HRESULT CZrIEC62056_21::get_DeviceAddress(BSTR* value) { return giveText(value, settings_.deviceAddress); }
HRESULT CZrIEC62056_21::put_DeviceAddress(BSTR value) {
  settings_.deviceAddress = trimmedBytes(value);
  setDirty();
  return S_OK;
}
HRESULT CZrIEC62056_21::get_Password(BSTR* value) { return giveText(value, settings_.password); }
HRESULT CZrIEC62056_21::put_Password(BSTR value) {
  settings_.password = trimmedBytes(value);
  setDirty();
  return S_OK;
}

#define ZR_IEC_LONG_PROPERTY(Name, field)                                                               \
  HRESULT CZrIEC62056_21::get_##Name(LONG* value) { return zr::com::outValue(value, settings_.field); } \
  HRESULT CZrIEC62056_21::put_##Name(LONG value) {                                                      \
    settings_.field = value;                                                                            \
    setDirty();                                                                                         \
    return S_OK;                                                                                        \
  }
ZR_IEC_LONG_PROPERTY(WakeupCharCount, wakeupCharCount)
ZR_IEC_LONG_PROPERTY(MsgMaxLen, msgMaxLen)
ZR_IEC_LONG_PROPERTY(MsgDelay, msgDelay)
ZR_IEC_LONG_PROPERTY(MsgTimeout, msgTimeout)
ZR_IEC_LONG_PROPERTY(SwitchBaudDelay, switchBaudDelay)
ZR_IEC_LONG_PROPERTY(ProtocolCtrl, protocolCtrl)
ZR_IEC_LONG_PROPERTY(ModeCtrl, modeCtrl)
#undef ZR_IEC_LONG_PROPERTY

#define ZR_IEC_DIGIT_PROPERTY(Name, field, fallback)                                                    \
  HRESULT CZrIEC62056_21::get_##Name(LONG* value) { return zr::com::outValue(value, settings_.field); } \
  HRESULT CZrIEC62056_21::put_##Name(LONG value) {                                                      \
    settings_.field = digitOr(value, fallback);                                                         \
    setDirty();                                                                                         \
    return S_OK;                                                                                        \
  }
ZR_IEC_DIGIT_PROPERTY(Format_P, formatP, 1)
ZR_IEC_DIGIT_PROPERTY(Format_W, formatW, 2)
ZR_IEC_DIGIT_PROPERTY(Format_R, formatR, 2)
ZR_IEC_DIGIT_PROPERTY(Format_E, formatE, 2)
ZR_IEC_DIGIT_PROPERTY(Format_B, formatB, 0)
#undef ZR_IEC_DIGIT_PROPERTY

#define ZR_IEC_BOOL_PROPERTY(Name, field)                                                                              \
  HRESULT CZrIEC62056_21::get_##Name(VARIANT_BOOL* value) { return zr::com::outValue(value, low16(settings_.field)); } \
  HRESULT CZrIEC62056_21::put_##Name(VARIANT_BOOL value) {                                                             \
    settings_.field = value;                                                                                           \
    setDirty();                                                                                                        \
    return S_OK;                                                                                                       \
  }
ZR_IEC_BOOL_PROPERTY(MsgNotify, msgNotify)
ZR_IEC_BOOL_PROPERTY(MsgDisplayGroup, msgDisplayGroup)
ZR_IEC_BOOL_PROPERTY(MsgImmediate, msgImmediate)
#undef ZR_IEC_BOOL_PROPERTY

HRESULT CZrIEC62056_21::get_MsgDisplayFormat(TEventMsgFormat* value) {
  return zr::com::outValue(value, static_cast<TEventMsgFormat>(settings_.msgDisplayFormat));
}
HRESULT CZrIEC62056_21::put_MsgDisplayFormat(TEventMsgFormat value) {
  settings_.msgDisplayFormat = value;
  setDirty();
  return S_OK;
}
HRESULT CZrIEC62056_21::get_StartBaudrate(TBaudRate* value) {
  return zr::com::outValue(value, static_cast<TBaudRate>(settings_.startBaudrate));
}
HRESULT CZrIEC62056_21::put_StartBaudrate(TBaudRate value) {
  settings_.startBaudrate = value;
  setDirty();
  return S_OK;
}

HRESULT CZrIEC62056_21::get_Serial(IZrSerial** value) { return ports_.getSerial(value); }

HRESULT CZrIEC62056_21::get_Tools(IZrTools** value) { return ports_.getTools(value); }

HRESULT CZrIEC62056_21::GetLastError(LONG* result) { return zr::com::outValue(result, link_.lastError()); }

HRESULT CZrIEC62056_21::GetNewIDataMsg(IDataMsg** result) {
  if (!result) return E_POINTER;
  return CDataMsg::createInstance(nullptr, IDataMsg::iid, reinterpret_cast<void**>(result));
}

// ---- operations -------------------------------------------------------------------------

template <class F>
void CZrIEC62056_21::exchange(F&& body) {
  runExchange(link_.busyFlag(), controllingUnknown(), body, [this] { port().ClosePort(); });
}

template <class F>
HRESULT CZrIEC62056_21::operation(F&& body) {
  return guard([&] { exchange(body); });
}

bool CZrIEC62056_21::readCommand(const std::string& text, std::string& reply) {
  // A long answer in blocks is gathered up to the data message limit, not one buffer.
  iec::IecLink::LongReceive longer(link_, settings_.msgMaxLen);
  return link_.sendReadCommand(text, reply);
}

bool CZrIEC62056_21::connected() {
  VARIANT_BOOL c = 0;
  port().get_Connected(&c);
  return c != 0;
}

bool CZrIEC62056_21::openConnection(bool programming) {
  port().ClosePort();
  port().put_BaudRate(static_cast<TBaudRate>(settings_.startBaudrate));
  port().OpenPort();
  return link_.signOn(programming);
}

HRESULT CZrIEC62056_21::DataReadout(BSTR* datamsg, VARIANT_BOOL* result) {
  if (!result || !datamsg) return E_POINTER;
  *result = 0;
  return operation([&] {
    std::string message;
    const bool ok = openConnection(false) && link_.receiveReadout(settings_.msgMaxLen, message);
    port().ClosePort();
    if (ok) setText(datamsg, message);
    *result = ok ? 1 : 0;
  });
}

HRESULT CZrIEC62056_21::ProgBegin(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = 0;
  return operation([&] {
    const bool ok = openConnection(true);
    if (!ok) port().ClosePort();
    *result = ok ? 1 : 0;
  });
}

HRESULT CZrIEC62056_21::ProgEnd() {
  return guard([&] {
    // A closed port has nothing to end, but a running operation still refuses the call.
    refuseWhileBusy(link_.busyFlag());
    if (!connected()) return;
    exchange([&] {
      link_.sendBreakCommand();
      port().ClosePort();
    });
  });
}

HRESULT CZrIEC62056_21::ProgWrite(BSTR param, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = 0;
  return operation([&] {
    const bool ok = link_.sendWriteCommand(narrow(param), false);
    if (!ok) port().ClosePort();
    *result = ok ? 1 : 0;
  });
}

HRESULT CZrIEC62056_21::ProgWriteBlock(BSTR param, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = 0;
  return operation([&] {
    const bool ok = link_.sendWriteCommand(narrow(param), true);
    if (!ok) port().ClosePort();
    *result = ok ? 1 : 0;
  });
}

HRESULT CZrIEC62056_21::ProgRead(BSTR param, BSTR* datamsg, VARIANT_BOOL* result) {
  if (!result || !datamsg) return E_POINTER;
  *result = 0;
  return operation([&] {
    std::string reply;
    const bool ok = readCommand(narrow(param), reply);
    setText(datamsg, reply);
    if (!ok) port().ClosePort();
    *result = ok ? 1 : 0;
  });
}

HRESULT CZrIEC62056_21::ProgExec(BSTR datamsg, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = 0;
  return operation([&] {
    const bool ok = link_.sendExecCommand(narrow(datamsg));
    if (!ok) port().ClosePort();
    *result = ok ? 1 : 0;
  });
}

HRESULT CZrIEC62056_21::Stop() { return port().Stop(); }

HRESULT CZrIEC62056_21::PickDataMsg(BSTR datamsg, IDataMsg** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  return guard([&]() -> HRESULT {
    zr::com::ComPtr<CDataMsg> dm = zr::com::ComPtr<CDataMsg>::attach(CDataMsg::create());
    if (!dm) return E_OUTOFMEMORY;
    bool split = true;
    const bool readout = iec::forEachReadoutLine(narrow(datamsg), [&](std::string_view line) {
      split = iec::splitDataSets(line, dm->lists());
      return split;
    });
    if (!readout) return S_OK;
    if (!split) return E_INVALIDARG;
    *result = static_cast<IDataMsg*>(dm.get());
    (*result)->AddRef();
    return S_OK;
  });
}

template <class PerGroup>
HRESULT CZrIEC62056_21::batch(IDataMsg* dm, VARIANT_BOOL* result, PerGroup&& perGroup) {
  if (!result) return E_POINTER;
  *result = 0;
  // The groups are read from the object's own lists, so only ours will do; checked
  // before the busy flag so a wrong argument never touches the port.
  if (!dm) return E_POINTER;
  iec::DataSets* sets = dataMsgLists(dm);
  if (!sets) return E_INVALIDARG;
  zr::com::ComPtr<IDataMsg> keep(dm);
  return operation([&] {
    bool ok = openConnection(true);
    // A host handler may change the object while the batch waits: look again each time.
    for (size_t i = 0; ok && i < sets->groups.size(); ++i) {
      if (i >= sets->kinds.size()) throw HResultError(E_INVALIDARG);
      const std::string group = sets->groups[i];
      if (!perGroup(group, sets->kinds[i])) {
        ok = false;
        // A command that timed out or met the meter's break sent none: the meter must
        // still leave programming mode before the line closes.
        const int32_t e = link_.lastError();
        if (e == iec::kErrTimeout || e == iec::kErrMeterBreak) link_.sendBreakCommand();
      }
    }
    if (ok) link_.sendBreakCommand();
    port().ClosePort();
    *result = ok ? 1 : 0;
  });
}

HRESULT CZrIEC62056_21::ProgBatWrite(IDataMsg* dm, VARIANT_BOOL* result) {
  return batch(dm, result,
               [&](const std::string& group, int32_t kind) { return link_.sendWriteCommand(group, kind != 0); });
}

HRESULT CZrIEC62056_21::ProgBatRead(IDataMsg* dm, BSTR* datamsg, VARIANT_BOOL* result) {
  if (!datamsg) return E_POINTER;
  std::string joined;
  HRESULT h = batch(dm, result, [&](const std::string& group, int32_t) {
    std::string reply;
    const bool ok = readCommand(group, reply);
    if (ok) joined += reply;
    return ok;
  });
  if (SUCCEEDED(h)) {
    try {
      setText(datamsg, joined);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  return h;
}

HRESULT CZrIEC62056_21::ProgBatExec(IDataMsg* dm, VARIANT_BOOL* result) {
  return batch(dm, result, [&](const std::string& group, int32_t) { return link_.sendExecCommand(group); });
}

// ---- persistence ------------------------------------------------------------------------

std::span<const StreamProperty<CZrIEC62056_21>> CZrIEC62056_21::streamProperties() {
  using C = CZrIEC62056_21;
  static constexpr StreamProperty<C> kProperties[] = {
      streamProperty<VT_BSTR, &C::get_DeviceAddress, &C::put_DeviceAddress>(),
      streamProperty<VT_BSTR, &C::get_Password, &C::put_Password>(),
      streamProperty<VT_I4, &C::get_WakeupCharCount, &C::put_WakeupCharCount>(),
      streamProperty<VT_I4, &C::get_MsgMaxLen, &C::put_MsgMaxLen>(),
      streamProperty<VT_I4, &C::get_Format_P, &C::put_Format_P>(),
      streamProperty<VT_I4, &C::get_Format_W, &C::put_Format_W>(),
      streamProperty<VT_I4, &C::get_Format_R, &C::put_Format_R>(),
      streamProperty<VT_I4, &C::get_Format_E, &C::put_Format_E>(),
      streamProperty<VT_I4, &C::get_Format_B, &C::put_Format_B>(),
      streamProperty<VT_I4, &C::get_MsgDelay, &C::put_MsgDelay>(),
      streamProperty<VT_BOOL, &C::get_MsgNotify, &C::put_MsgNotify>(),
      streamProperty<VT_BOOL, &C::get_MsgDisplayGroup, &C::put_MsgDisplayGroup>(),
      streamProperty<VT_I4, &C::get_MsgDisplayFormat, &C::put_MsgDisplayFormat>(),
      streamProperty<VT_I4, &C::get_StartBaudrate, &C::put_StartBaudrate>(),
      streamProperty<VT_I4, &C::get_MsgTimeout, &C::put_MsgTimeout>(),
      streamProperty<VT_I4, &C::get_SwitchBaudDelay, &C::put_SwitchBaudDelay>(),
      streamProperty<VT_BOOL, &C::get_MsgImmediate, &C::put_MsgImmediate>(),
  };
  return kProperties;
}

}  // namespace kavlink

using namespace zr::com;
using kavlink::IZrIEC62056_21;

template <>
const DispTable& zr::com::dispatchTable<IZrIEC62056_21>() {
  using I = IZrIEC62056_21;
  static const DispTable t{{
      propGet<&I::get_DeviceAddress>(u"DeviceAddress", 1),
      propPut<&I::put_DeviceAddress>(u"DeviceAddress", 1),
      propGet<&I::get_Password>(u"Password", 2),
      propPut<&I::put_Password>(u"Password", 2),
      propGet<&I::get_WakeupCharCount>(u"WakeupCharCount", 3),
      propPut<&I::put_WakeupCharCount>(u"WakeupCharCount", 3),
      propGet<&I::get_Serial>(u"Serial", 4),
      propGet<&I::get_MsgMaxLen>(u"MsgMaxLen", 5),
      propPut<&I::put_MsgMaxLen>(u"MsgMaxLen", 5),
      propGet<&I::get_Format_P>(u"Format_P", 6),
      propPut<&I::put_Format_P>(u"Format_P", 6),
      propGet<&I::get_Format_W>(u"Format_W", 7),
      propPut<&I::put_Format_W>(u"Format_W", 7),
      propGet<&I::get_Format_R>(u"Format_R", 8),
      propPut<&I::put_Format_R>(u"Format_R", 8),
      propGet<&I::get_Format_E>(u"Format_E", 9),
      propPut<&I::put_Format_E>(u"Format_E", 9),
      propGet<&I::get_Format_B>(u"Format_B", 10),
      propPut<&I::put_Format_B>(u"Format_B", 10),
      propGet<&I::get_MsgDelay>(u"MsgDelay", 11),
      propPut<&I::put_MsgDelay>(u"MsgDelay", 11),
      propGet<&I::get_MsgNotify>(u"MsgNotify", 12),
      propPut<&I::put_MsgNotify>(u"MsgNotify", 12),
      propGet<&I::get_MsgDisplayGroup>(u"MsgDisplayGroup", 13),
      propPut<&I::put_MsgDisplayGroup>(u"MsgDisplayGroup", 13),
      propGet<&I::get_MsgDisplayFormat>(u"MsgDisplayFormat", 14),
      propPut<&I::put_MsgDisplayFormat>(u"MsgDisplayFormat", 14),
      propGet<&I::get_StartBaudrate>(u"StartBaudrate", 15),
      propPut<&I::put_StartBaudrate>(u"StartBaudrate", 15),
      propGet<&I::get_MsgTimeout>(u"MsgTimeout", 16),
      propPut<&I::put_MsgTimeout>(u"MsgTimeout", 16),
      propGet<&I::get_SwitchBaudDelay>(u"SwitchBaudDelay", 17),
      propPut<&I::put_SwitchBaudDelay>(u"SwitchBaudDelay", 17),
      propGet<&I::get_MsgImmediate>(u"MsgImmediate", 18),
      propPut<&I::put_MsgImmediate>(u"MsgImmediate", 18),
      propGet<&I::get_ProtocolCtrl>(u"ProtocolCtrl", 37),
      propPut<&I::put_ProtocolCtrl>(u"ProtocolCtrl", 37),
      propGet<&I::get_ModeCtrl>(u"ModeCtrl", 38),
      propPut<&I::put_ModeCtrl>(u"ModeCtrl", 38),
      propGet<&I::get_Tools>(u"Tools", 39),
      method<&I::GetLastError>(u"GetLastError", 19),
      method<&I::GetNewIDataMsg>(u"GetNewIDataMsg", 20),
      method<&I::DataReadout>(u"DataReadout", 21),
      method<&I::ProgBegin>(u"ProgBegin", 22),
      method<&I::ProgEnd>(u"ProgEnd", 23),
      method<&I::ProgWrite>(u"ProgWrite", 24),
      method<&I::ProgWriteBlock>(u"ProgWriteBlock", 25),
      method<&I::ProgRead>(u"ProgRead", 26),
      method<&I::ProgExec>(u"ProgExec", 27),
      method<&I::Stop>(u"Stop", 28),
      method<&I::PickDataMsg>(u"PickDataMsg", 29),
      method<&I::ProgBatWrite>(u"ProgBatWrite", 31),
      method<&I::ProgBatRead>(u"ProgBatRead", 32),
      method<&I::ProgBatExec>(u"ProgBatExec", 33),
      method<&I::SaveConfig>(u"SaveConfig", 34),
      method<&I::LoadConfig>(u"LoadConfig", 35),
      method<&I::ShowSetupDlg>(u"ShowSetupDlg", 36),
  }};
  return t;
}

namespace kavlink {
KAVLINK_CLASS(CZrIEC62056_21, "ZrIEC62056_21 Class");
}  // namespace kavlink
