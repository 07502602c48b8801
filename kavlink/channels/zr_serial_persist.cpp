// CZrSerial's stream: the extent, then ten properties as typed values, as a container of
// the control stores them.
#include <cstring>
#include <string>
#include <vector>

#include "channels/zr_serial.h"
#include "text/ansi.h"

namespace kavlink {

namespace {

class Writer {
 public:
  void u16(uint16_t v) { raw(&v, 2); }
  void u32(uint32_t v) { raw(&v, 4); }
  void raw(const void* p, size_t n) {
    // Little-endian on every target this builds for.
    const auto* b = static_cast<const uint8_t*>(p);
    bytes.insert(bytes.end(), b, b + n);
  }
  void bstr(BSTR s) {
    if (!s) {
      u32(0);
      return;
    }
    UINT len = SysStringLen(s);
    u32((len + 1) * 2);
    raw(s, len * 2);
    u16(0);
  }
  std::vector<uint8_t> bytes;
};

class Reader {
 public:
  explicit Reader(IStream* s) : s_(s) {}
  HRESULT raw(void* p, ULONG n) {
    ULONG got = 0;
    HRESULT h = s_->Read(p, n, &got);
    if (FAILED(h)) return h;
    return got == n ? S_OK : STG_E_READFAULT;
  }
  // One stored property: its type word, then a value of that type, coerced to `want`.
  HRESULT value(VARTYPE want, zr::com::Variant& out) {
    uint16_t vt = 0;
    HRESULT h = raw(&vt, 2);
    if (FAILED(h)) return h;
    zr::com::Variant v;
    switch (vt) {
      case VT_UI4:
      case VT_I4:
        h = raw(&v.ulVal, 4);
        break;
      case VT_BOOL:
      case VT_I2:
      case VT_UI2:
        h = raw(&v.uiVal, 2);
        break;
      case VT_I1:
      case VT_UI1:
        h = raw(&v.bVal, 1);
        break;
      case VT_BSTR: {
        uint32_t bytes = 0;
        h = raw(&bytes, 4);
        if (FAILED(h)) return h;
        v.vt = VT_BSTR;
        v.bstrVal = nullptr;
        if (bytes == 0) break;
        if (bytes % 2 != 0 || bytes > (1u << 20)) return E_FAIL;
        std::u16string text(bytes / 2, u'\0');
        h = raw(text.data(), bytes);
        if (FAILED(h)) return h;
        text.pop_back();  // the terminator
        v.bstrVal = zr::com::allocBstr(text);
        if (!v.bstrVal) return E_OUTOFMEMORY;
        break;
      }
      default:
        return E_FAIL;
    }
    if (FAILED(h)) return h;
    v.vt = vt;
    if (vt == want) {
      VariantCopy(&out, &v);
      return S_OK;
    }
    return VariantChangeType(&out, &v, 0, want);
  }

 private:
  IStream* s_;
};

}  // namespace

HRESULT CZrSerial::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = kClsid;
  return S_OK;
}

HRESULT CZrSerial::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

HRESULT CZrSerial::InitNew() { return S_OK; }

HRESULT CZrSerial::Save(IStream* stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  Writer w;
  w.u32(kStreamVersion);
  w.u32(extentX_);
  w.u32(extentY_);
  auto ui4 = [&](uint32_t v) {
    w.u16(VT_UI4);
    w.u32(v);
  };
  auto boolean = [&](VARIANT_BOOL v) {
    w.u16(VT_BOOL);
    w.u16(static_cast<uint16_t>(v));
  };
  ui4(static_cast<uint32_t>(baudRate_));
  ui4(static_cast<uint32_t>(parityBits_));
  ui4(static_cast<uint32_t>(dataBits_));
  ui4(static_cast<uint32_t>(stopBits_));
  w.u16(VT_BSTR);
  zr::com::Bstr port;
  HRESULT h = get_Port(port.put());
  if (FAILED(h)) return h;
  w.bstr(port.get());
  w.u16(VT_I4);
  w.u32(static_cast<uint32_t>(bufferSize_));
  w.u16(VT_I1);
  w.raw(&eventChar_, 1);
  boolean(discardNull_);
  TFlow flow = fcNone;
  get_FlowControl(&flow);
  ui4(static_cast<uint32_t>(flow));
  boolean(blocking_);

  ULONG written = 0;
  h = stream->Write(w.bytes.data(), static_cast<ULONG>(w.bytes.size()), &written);
  if (FAILED(h)) return h;
  if (written != w.bytes.size()) return STG_E_MEDIUMFULL;
  if (clearDirty) dirty_ = false;
  return S_OK;
}

HRESULT CZrSerial::Load(IStream* stream) {
  if (!stream) return E_POINTER;
  Reader r(stream);
  uint32_t head[3];
  HRESULT h = r.raw(head, sizeof head);
  if (FAILED(h)) return h;
  if (head[0] > kStreamVersion) return E_FAIL;  // written by a newer control
  extentX_ = head[1];
  extentY_ = head[2];
  // Each property goes through its put accessor in stream order, so the flow-control
  // preset, which comes late, applies over the settings before it.
  zr::com::Variant v;
  auto next = [&](VARTYPE vt) {
    VariantClear(&v);
    return r.value(vt, v);
  };
  if (FAILED(h = next(VT_UI4))) return h;
  put_BaudRate(static_cast<TBaudRate>(v.ulVal));
  if (FAILED(h = next(VT_UI4))) return h;
  put_ParityBits(static_cast<TParityBits>(v.ulVal));
  if (FAILED(h = next(VT_UI4))) return h;
  put_DataBits(static_cast<TDataBits>(v.ulVal));
  if (FAILED(h = next(VT_UI4))) return h;
  put_StopBits(static_cast<TStopBits>(v.ulVal));
  if (FAILED(h = next(VT_BSTR))) return h;
  put_Port(v.bstrVal);
  if (FAILED(h = next(VT_I4))) return h;
  put_BufferSize(v.lVal);
  if (FAILED(h = next(VT_I1))) return h;
  put_EventChar(v.cVal);
  if (FAILED(h = next(VT_BOOL))) return h;
  put_DiscardNull(v.boolVal);
  if (FAILED(h = next(VT_UI4))) return h;
  put_FlowControl(static_cast<TFlow>(v.ulVal));
  if (FAILED(h = next(VT_BOOL))) return h;
  put_Blocking(v.boolVal);
  dirty_ = false;
  return S_OK;
}

HRESULT CZrSerial::GetSizeMax(ULONGLONG* size) {
  if (!size) return E_POINTER;
  // Header, eight fixed-size properties, and the port name with its count and terminator.
  *size = 12 + 6 * 6 + 3 + 4 + 4 + 6 + (port_.size() + 1) * 2;
  return S_OK;
}

}  // namespace kavlink
