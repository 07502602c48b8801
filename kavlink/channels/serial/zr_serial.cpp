// CZrSerial: construction, settings, flow-control presets, the port list and the dispatch
// table. Opening, I/O and events are in zr_serial_io.cpp; the stream in zr_serial_persist.cpp;
// the settings file, the setup dialog and the about box in zr_serial_setup.cpp.
#include "channels/serial/zr_serial.h"

#include <new>

#include "channels/tools/zr_tools.h"
#include "module/class_table.h"
#include "serial/port_names.h"
#include "text/ansi.h"

namespace kavlink {

CZrSerial::CZrSerial() : events_(_IZrSerialEvents::iid, static_cast<IConnectionPointContainer*>(this), innerUnknown()) {
  addConnectionPoint(&events_);
  CZrTools* tools = CZrTools::create();
  if (!tools) throw std::bad_alloc();
  tools_ = zr::com::ComPtr<IZrTools>::attach(static_cast<IZrTools*>(tools));
  // Read once: a port plugged in later shows up in objects made after it.
  portNames_ = zr::serial::listPorts();
}

CZrSerial::~CZrSerial() { ClosePort(); }

HRESULT CZrSerial::finalConstruct() {
  events_.setOwner(controllingUnknown());
  return S_OK;
}

// ---- settings ---------------------------------------------------------------------------

namespace {

// An automation BOOL kept in a 32-bit field: sign-extended, so TRUE is -1.
BOOL widen(VARIANT_BOOL v) { return static_cast<BOOL>(v); }

// A property get: the value into the caller's out-argument.
template <class T, class V>
HRESULT give(T* out, V value) {
  return zr::com::outValue(out, static_cast<T>(value));
}

}  // namespace

HRESULT CZrSerial::get_BaudRate(TBaudRate* value) { return give(value, static_cast<TBaudRate>(config_.baudRate)); }
HRESULT CZrSerial::put_BaudRate(TBaudRate value) {
  config_.baudRate = value;
  dirty_ = true;
  return S_OK;
}
HRESULT CZrSerial::get_ParityBits(TParityBits* value) {
  return give(value, static_cast<TParityBits>(config_.parityBits));
}
HRESULT CZrSerial::put_ParityBits(TParityBits value) {
  config_.parityBits = value;
  dirty_ = true;
  return S_OK;
}
HRESULT CZrSerial::get_DataBits(TDataBits* value) { return give(value, static_cast<TDataBits>(config_.dataBits)); }
HRESULT CZrSerial::put_DataBits(TDataBits value) {
  config_.dataBits = value;
  dirty_ = true;
  return S_OK;
}
HRESULT CZrSerial::get_StopBits(TStopBits* value) { return give(value, static_cast<TStopBits>(config_.stopBits)); }
HRESULT CZrSerial::put_StopBits(TStopBits value) {
  config_.stopBits = value;
  dirty_ = true;
  return S_OK;
}

HRESULT CZrSerial::get_Port(BSTR* value) {
  if (!value) return E_POINTER;
  *value = zr::com::narrowBstr(config_.port);
  return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZrSerial::put_Port(BSTR value) {
  // A Linux device name does not fit the five characters of a COM name, so the whole
  // text is kept; Open refuses names too long for a path.
  std::string narrow = zr::text::wideToAnsi(zr::com::bstrView(value));
  narrow.resize(std::min(narrow.find('\0'), narrow.size()));
  config_.port = std::move(narrow);
  dirty_ = true;
  return S_OK;
}

HRESULT CZrSerial::get_BufferSize(LONG* value) { return give(value, bufferSize_); }
HRESULT CZrSerial::put_BufferSize(LONG value) {
  if (value > 0) {
    bufferSize_ = value;
    dirty_ = true;
  }
  return S_OK;
}

HRESULT CZrSerial::get_EventChar(CHAR* value) { return give(value, config_.eventChar); }
HRESULT CZrSerial::put_EventChar(CHAR value) {
  config_.eventChar = value;
  dirty_ = true;
  return S_OK;
}

HRESULT CZrSerial::get_DiscardNull(VARIANT_BOOL* value) { return give(value, config_.discardNull); }
HRESULT CZrSerial::put_DiscardNull(VARIANT_BOOL value) {
  config_.discardNull = value;
  dirty_ = true;
  return S_OK;
}

HRESULT CZrSerial::get_FlowControl(TFlow* value) {
  if (!value) return E_POINTER;
  const SerialConfig& c = config_;
  const bool noDsr = c.outxDsrFlow == 0 && c.dsrSensitivity == 0 && c.txContinueOnXoff == 0;
  if (c.outxCtsFlow != 0 && noDsr && c.dtrControl == 1 && c.rtsControl == 2 && c.xonXoffOut == 0 && c.xonXoffIn == 0) {
    *value = fcHardWare;
  } else if (c.outxCtsFlow == 0 && noDsr && c.dtrControl == 1 && c.rtsControl == 0 && c.xonXoffOut != 0 &&
             c.xonXoffIn != 0) {
    *value = fcXonXoff;
  } else if (c.outxCtsFlow == 0 && noDsr && c.dtrControl == 0 && c.rtsControl == 0 && c.xonXoffOut == 0 &&
             c.xonXoffIn == 0) {
    *value = fcNone;
  } else {
    *value = fcCustom;
  }
  return S_OK;
}

HRESULT CZrSerial::put_FlowControl(TFlow value) {
  SerialConfig& c = config_;
  switch (value) {
    case fcCustom:
      return S_OK;
    case fcHardWare:
      c.outxCtsFlow = 1, c.dtrControl = 1, c.rtsControl = 2, c.xonXoffIn = 0, c.xonXoffOut = 0;
      break;
    case fcXonXoff:
      c.outxCtsFlow = 0, c.dtrControl = 1, c.rtsControl = 0, c.xonXoffIn = 1, c.xonXoffOut = 1;
      break;
    default:
      c.outxCtsFlow = 0, c.dtrControl = 0, c.rtsControl = 0, c.xonXoffIn = 0, c.xonXoffOut = 0;
      break;
  }
  c.outxDsrFlow = 0, c.dsrSensitivity = 0, c.txContinueOnXoff = 0;
  dirty_ = true;
  return S_OK;
}

HRESULT CZrSerial::get_Connected(VARIANT_BOOL* value) { return give(value, connected_); }

HRESULT CZrSerial::get_Blocking(VARIANT_BOOL* value) { return give(value, blocking_); }
HRESULT CZrSerial::put_Blocking(VARIANT_BOOL value) {
  blocking_ = value;
  dirty_ = true;
  return S_OK;
}

HRESULT CZrSerial::get_AutoEvent(VARIANT_BOOL* value) { return give(value, autoEvent_); }
HRESULT CZrSerial::put_AutoEvent(VARIANT_BOOL value) {
  // Close must find the watcher exactly when Open started one.
  if (!connected_) autoEvent_ = value;
  return S_OK;
}

HRESULT CZrSerial::get_Tools(IZrTools** value) {
  if (!value) return E_POINTER;
  *value = tools_.get();
  if (*value) (*value)->AddRef();
  return S_OK;
}

HRESULT CZrSerial::SetParityCheck(VARIANT_BOOL check, VARIANT_BOOL replace, CHAR errorChar) {
  parityCheck_ = widen(check);
  parityReplace_ = widen(replace);
  parityErrorChar_ = static_cast<BYTE>(errorChar);
  return S_OK;
}

HRESULT CZrSerial::SetDTR_RTSControl(SHORT DTRControl, SHORT RTSControl) {
  config_.dtrControl = DTRControl;
  config_.rtsControl = RTSControl;
  return S_OK;
}

HRESULT CZrSerial::SetXonChar_XoffChar(CHAR XoffChar, CHAR XonChar) {
  config_.xoffChar = static_cast<BYTE>(XoffChar);
  config_.xonChar = static_cast<BYTE>(XonChar);
  return S_OK;
}

HRESULT CZrSerial::SetXonXoffIn_XonXoffOut(VARIANT_BOOL XonXoffIn, VARIANT_BOOL XonXoffOut) {
  config_.xonXoffIn = widen(XonXoffIn);
  config_.xonXoffOut = widen(XonXoffOut);
  return S_OK;
}

HRESULT CZrSerial::SetDsrSensitivity(VARIANT_BOOL value) {
  config_.dsrSensitivity = widen(value);
  return S_OK;
}

HRESULT CZrSerial::SetTXContinueOnXoff(VARIANT_BOOL value) {
  config_.txContinueOnXoff = widen(value);
  return S_OK;
}

HRESULT CZrSerial::SetChar(VARIANT_BOOL UseErrChar, CHAR ErrChar, CHAR EofChar) {
  config_.useErrChar = widen(UseErrChar);
  config_.errChar = static_cast<BYTE>(ErrChar);
  config_.eofChar = static_cast<BYTE>(EofChar);
  return S_OK;
}

HRESULT CZrSerial::GetPortCount(LONG* result) { return give(result, static_cast<LONG>(portNames_.size())); }

HRESULT CZrSerial::GetPortName(LONG index, BSTR* result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  if (index < 0 || static_cast<size_t>(index) >= portNames_.size()) return E_INVALIDARG;
  *result = zr::com::narrowBstr(portNames_[static_cast<size_t>(index)]);
  return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZrSerial::Stop() {
  stop_ = 1;
  return S_OK;
}

namespace {

// The two I2 arguments go through the I2 type, not through the 16-bit automation BOOL
// that shares its C++ type (which would turn a 2 into -1).
HRESULT invokeSetDtrRts(void* itf, DISPPARAMS* params, VARIANT*, UINT* argErr) {
  if (params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  SHORT values[2];
  for (UINT i = 0; i < 2; ++i) {
    VARIANT v;
    VariantInit(&v);
    HRESULT h = VariantChangeType(&v, &params->rgvarg[1 - i], 0, VT_I2);
    if (FAILED(h)) {
      if (argErr) *argErr = 1 - i;
      return DISP_E_TYPEMISMATCH;
    }
    values[i] = v.iVal;
  }
  return static_cast<IZrSerial*>(itf)->SetDTR_RTSControl(values[0], values[1]);
}

}  // namespace

}  // namespace kavlink

using kavlink::IZrSerial;
using zr::com::DispTable;
using zr::com::method;
using zr::com::propGet;
using zr::com::propPut;

template <>
const DispTable& zr::com::dispatchTable<IZrSerial>() {
  static const DispTable t{{
      propGet<&IZrSerial::get_BaudRate>(u"BaudRate", 1),
      propPut<&IZrSerial::put_BaudRate>(u"BaudRate", 1),
      propGet<&IZrSerial::get_ParityBits>(u"ParityBits", 2),
      propPut<&IZrSerial::put_ParityBits>(u"ParityBits", 2),
      propGet<&IZrSerial::get_DataBits>(u"DataBits", 3),
      propPut<&IZrSerial::put_DataBits>(u"DataBits", 3),
      propGet<&IZrSerial::get_StopBits>(u"StopBits", 4),
      propPut<&IZrSerial::put_StopBits>(u"StopBits", 4),
      propGet<&IZrSerial::get_Port>(u"Port", 5),
      propPut<&IZrSerial::put_Port>(u"Port", 5),
      propGet<&IZrSerial::get_BufferSize>(u"BufferSize", 21),
      propPut<&IZrSerial::put_BufferSize>(u"BufferSize", 21),
      propGet<&IZrSerial::get_EventChar>(u"EventChar", 31),
      propPut<&IZrSerial::put_EventChar>(u"EventChar", 31),
      propGet<&IZrSerial::get_DiscardNull>(u"DiscardNull", 32),
      propPut<&IZrSerial::put_DiscardNull>(u"DiscardNull", 32),
      propGet<&IZrSerial::get_FlowControl>(u"FlowControl", 33),
      propPut<&IZrSerial::put_FlowControl>(u"FlowControl", 33),
      propGet<&IZrSerial::get_Connected>(u"Connected", 37),
      propGet<&IZrSerial::get_Blocking>(u"Blocking", 39),
      propPut<&IZrSerial::put_Blocking>(u"Blocking", 39),
      propGet<&IZrSerial::get_AutoEvent>(u"AutoEvent", 41),
      propPut<&IZrSerial::put_AutoEvent>(u"AutoEvent", 41),
      propGet<&IZrSerial::get_Tools>(u"Tools", 47),
      method<&IZrSerial::Open>(u"Open", 6),
      method<&IZrSerial::Close>(u"Close", 7),
      method<&IZrSerial::GetInputCount>(u"GetInputCount", 8),
      method<&IZrSerial::Send>(u"Send", 9),
      method<&IZrSerial::SendStr>(u"SendStr", 10),
      method<&IZrSerial::Recv>(u"Recv", 11),
      method<&IZrSerial::RecvStr>(u"RecvStr", 12),
      method<&IZrSerial::ClearBuf>(u"ClearBuf", 13),
      method<&IZrSerial::WaitForData>(u"WaitForData", 18),
      method<&IZrSerial::RecvWait>(u"RecvWait", 20),
      method<&IZrSerial::SetParityCheck>(u"SetParityCheck", 25),
      DispTable::Member{u"SetDTR_RTSControl", 26, DISPATCH_METHOD, &kavlink::invokeSetDtrRts},
      method<&IZrSerial::SetXonChar_XoffChar>(u"SetXonChar_XoffChar", 27),
      method<&IZrSerial::SetXonXoffIn_XonXoffOut>(u"SetXonXoffIn_XonXoffOut", 28),
      method<&IZrSerial::SetDsrSensitivity>(u"SetDsrSensitivity", 29),
      method<&IZrSerial::SetTXContinueOnXoff>(u"SetTXContinueOnXoff", 30),
      method<&IZrSerial::ShowSetupDlg>(u"ShowSetupDlg", 34),
      method<&IZrSerial::SaveConfig>(u"SaveConfig", 35),
      method<&IZrSerial::LoadConfig>(u"LoadConfig", 36),
      method<&IZrSerial::UpdateDCB>(u"UpdateDCB", 38),
      method<&IZrSerial::AboutBox>(u"AboutBox", -552),
      method<&IZrSerial::GetPortCount>(u"GetPortCount", 42),
      method<&IZrSerial::GetPortName>(u"GetPortName", 43),
      method<&IZrSerial::Stop>(u"Stop", 44),
      method<&IZrSerial::SetChar>(u"SetChar", 46),
  }};
  return t;
}

KAVLINK_CLASS(kavlink::CZrSerial, "ZrSerial Class");
