#include "module/property_stream.h"

#include <cstring>
#include <utility>

#include "com/com_ptr.h"
#include "com/object.h"

namespace kavlink {

PropertyStreamWriter::PropertyStreamWriter(uint32_t version, uint32_t cx, uint32_t cy) {
  raw(&version, 4);
  raw(&cx, 4);
  raw(&cy, 4);
}

void PropertyStreamWriter::raw(const void* p, size_t n) {
  auto* b = static_cast<const uint8_t*>(p);
  bytes_.insert(bytes_.end(), b, b + n);  // x86-64 is little-endian, as the layout is
}

void PropertyStreamWriter::tag(VARTYPE vt) { raw(&vt, 2); }

void PropertyStreamWriter::ui4(uint32_t v) {
  tag(VT_UI4);
  raw(&v, 4);
}
void PropertyStreamWriter::i4(int32_t v) {
  tag(VT_I4);
  raw(&v, 4);
}
void PropertyStreamWriter::i1(int8_t v) {
  tag(VT_I1);
  raw(&v, 1);
}
void PropertyStreamWriter::boolean(VARIANT_BOOL v) {
  tag(VT_BOOL);
  raw(&v, 2);
}
void PropertyStreamWriter::bstr(BSTR s) {
  tag(VT_BSTR);
  uint32_t count = s ? SysStringByteLen(s) + 2 : 0;
  raw(&count, 4);
  if (s) {
    raw(s, SysStringByteLen(s));
    const char16_t zero = 0;
    raw(&zero, 2);
  }
}

HRESULT PropertyStreamWriter::writeTo(IStream* stream) const {
  if (!stream) return E_POINTER;
  ULONG written = 0;
  HRESULT h = stream->Write(bytes_.data(), static_cast<ULONG>(bytes_.size()), &written);
  if (FAILED(h)) return h;
  return written == bytes_.size() ? S_OK : STG_E_MEDIUMFULL;
}

PropertyStreamReader::PropertyStreamReader(IStream* stream) : stream_(stream) {
  if (!stream_) throw zr::com::HResultError(E_POINTER);
  raw(&version_, 4);
  raw(&cx_, 4);
  raw(&cy_, 4);
}

void PropertyStreamReader::raw(void* p, size_t n) {
  ULONG got = 0;
  HRESULT h = stream_->Read(p, static_cast<ULONG>(n), &got);
  if (FAILED(h)) throw zr::com::HResultError(h);
  if (got != n) throw zr::com::HResultError(STG_E_READFAULT);
}

void PropertyStreamReader::next(VARTYPE want, VARIANT& out) {
  VARTYPE vt = 0;
  raw(&vt, 2);
  zr::com::Variant v;
  switch (vt) {
    case VT_UI4:
    case VT_I4:
      raw(&v.ulVal, 4);
      break;
    case VT_BOOL:
    case VT_I2:
    case VT_UI2:
      raw(&v.uiVal, 2);
      break;
    case VT_I1:
    case VT_UI1:
      raw(&v.bVal, 1);
      break;
    case VT_BSTR: {
      uint32_t count = 0;
      raw(&count, 4);
      if (count == 0) break;  // a null string
      if (count % 2 != 0 || count > (1u << 20)) throw zr::com::HResultError(E_FAIL);
      std::u16string text(count / 2, u'\0');
      raw(text.data(), count);
      text.pop_back();  // the terminator
      v.bstrVal = zr::com::allocBstr(text);
      if (!v.bstrVal) throw zr::com::HResultError(E_OUTOFMEMORY);
      break;
    }
    default:
      throw zr::com::HResultError(E_FAIL);
  }
  v.vt = vt;
  HRESULT h = VariantChangeType(&out, &v, 0, want);
  if (FAILED(h)) throw zr::com::HResultError(E_FAIL);
}

uint32_t PropertyStreamReader::ui4() {
  zr::com::Variant v;
  next(VT_UI4, v);
  return v.ulVal;
}
int32_t PropertyStreamReader::i4() {
  zr::com::Variant v;
  next(VT_I4, v);
  return v.lVal;
}
int8_t PropertyStreamReader::i1() {
  zr::com::Variant v;
  next(VT_I1, v);
  return static_cast<int8_t>(v.cVal);
}
VARIANT_BOOL PropertyStreamReader::boolean() {
  zr::com::Variant v;
  next(VT_BOOL, v);
  return v.boolVal;
}
BSTR PropertyStreamReader::bstr() {
  zr::com::Variant v;
  next(VT_BSTR, v);
  return std::exchange(v.bstrVal, nullptr);
}

}  // namespace kavlink
