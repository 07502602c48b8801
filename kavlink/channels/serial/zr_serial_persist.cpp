// CZrSerial's stream: the extent, then ten properties as typed values, as a container of
// the control stores them.
#include <cstring>
#include <string>
#include <vector>

#include "channels/serial/zr_serial.h"
#include "module/property_stream.h"
#include "text/ansi.h"

namespace kavlink {

HRESULT CZrSerial::GetClassID(CLSID* clsid) { return zr::com::outValue(clsid, kClsid); }

HRESULT CZrSerial::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

HRESULT CZrSerial::InitNew() { return S_OK; }

HRESULT CZrSerial::Save(IStream* stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  PropertyStreamWriter w(kStreamVersion, extentX_, extentY_);
  w.ui4(static_cast<uint32_t>(config_.baudRate));
  w.ui4(static_cast<uint32_t>(config_.parityBits));
  w.ui4(static_cast<uint32_t>(config_.dataBits));
  w.ui4(static_cast<uint32_t>(config_.stopBits));
  zr::com::Bstr port;
  HRESULT h = get_Port(port.put());
  if (FAILED(h)) return h;
  w.bstr(port.get());
  w.i4(bufferSize_);
  w.i1(config_.eventChar);
  w.boolean(config_.discardNull);
  TFlow flow = fcNone;
  get_FlowControl(&flow);
  w.ui4(static_cast<uint32_t>(flow));
  w.boolean(blocking_);
  h = w.writeTo(stream);
  if (SUCCEEDED(h) && clearDirty) dirty_ = false;
  return h;
}

HRESULT CZrSerial::Load(IStream* stream) {
  if (!stream) return E_POINTER;
  return zr::com::guardCall(u"", [&]() -> HRESULT {
    PropertyStreamReader r(stream);
    if (r.version() > kStreamVersion) return E_FAIL;  // written by a newer control
    extentX_ = r.cx();
    extentY_ = r.cy();
    // Each property goes through its put accessor in stream order, so the flow-control
    // preset, which comes late, applies over the settings before it.
    put_BaudRate(static_cast<TBaudRate>(r.ui4()));
    put_ParityBits(static_cast<TParityBits>(r.ui4()));
    put_DataBits(static_cast<TDataBits>(r.ui4()));
    put_StopBits(static_cast<TStopBits>(r.ui4()));
    zr::com::Bstr port = zr::com::Bstr::attach(r.bstr());
    put_Port(port.get());
    put_BufferSize(r.i4());
    put_EventChar(static_cast<CHAR>(r.i1()));
    put_DiscardNull(r.boolean());
    put_FlowControl(static_cast<TFlow>(r.ui4()));
    put_Blocking(r.boolean());
    dirty_ = false;
    return S_OK;
  });
}

HRESULT CZrSerial::GetSizeMax(ULONGLONG* size) {
  if (!size) return E_POINTER;
  // Header, eight fixed-size properties, and the port name with its count and terminator.
  *size = 12 + 6 * 6 + 3 + 4 + 4 + 6 + (config_.port.size() + 1) * 2;
  return S_OK;
}

}  // namespace kavlink
