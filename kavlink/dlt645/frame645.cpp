#include "dlt645/frame645.h"

#include "com/com_ptr.h"
#include "com/host_buffer.h"
#include "module/class_table.h"
#include "text/ansi.h"

namespace kavlink {
namespace {

HRESULT textOut(const std::string& narrow, BSTR* out) {
  if (!out) return E_POINTER;
  *out = narrow.empty() ? nullptr : zr::com::narrowBstr(narrow);
  return S_OK;
}

}  // namespace

HRESULT CFrame645::get_Address(BSTR* value) {
  if (!value) return E_POINTER;
  *value = zr::com::narrowBstr(std::string_view(f_.address.data(), 12));
  return S_OK;
}

HRESULT CFrame645::put_Address(BSTR value) {
  setFrameAddress(f_, zr::text::wideToAnsi(zr::com::bstrView(value)));
  return S_OK;
}

HRESULT CFrame645::get_CtrlWord(BYTE* value) { return zr::com::outValue(value, f_.control); }
HRESULT CFrame645::put_CtrlWord(BYTE value) {
  f_.control = value;
  return S_OK;
}
HRESULT CFrame645::get_DLen(LONG* value) { return zr::com::outValue(value, static_cast<LONG>(f_.length)); }
HRESULT CFrame645::put_DLen(LONG value) {
  f_.length = static_cast<uint8_t>(value);
  return S_OK;
}

// The data area has 1024 bytes; an index outside it is refused instead of reaching
// memory behind the object.
HRESULT CFrame645::get_Data(LONG index, BYTE* value) {
  if (!value) return E_POINTER;
  if (index < 0 || index >= static_cast<LONG>(kFrame645DataSize)) return E_INVALIDARG;
  *value = f_.data[static_cast<size_t>(index)];
  return S_OK;
}
HRESULT CFrame645::put_Data(LONG index, BYTE value) {
  if (index < 0 || index >= static_cast<LONG>(kFrame645DataSize)) return E_INVALIDARG;
  f_.data[static_cast<size_t>(index)] = value;
  return S_OK;
}

HRESULT CFrame645::get_FLen(LONG* value) { return zr::com::outValue(value, static_cast<LONG>(f_.length + 12)); }
HRESULT CFrame645::get_Handle33(VARIANT_BOOL* value) {
  return zr::com::outValue(value, static_cast<VARIANT_BOOL>(f_.handle33));
}
HRESULT CFrame645::put_Handle33(VARIANT_BOOL value) {
  f_.handle33 = value;  // sign-extended: VARIANT_TRUE is stored as -1
  return S_OK;
}
HRESULT CFrame645::get_PrefixChar(BYTE* value) { return zr::com::outValue(value, f_.prefixChar); }
HRESULT CFrame645::put_PrefixChar(BYTE value) {
  f_.prefixChar = value;
  return S_OK;
}
HRESULT CFrame645::get_PrefixCharCount(LONG* value) {
  return zr::com::outValue(value, static_cast<LONG>(f_.prefixCount));
}
HRESULT CFrame645::put_PrefixCharCount(LONG value) {
  f_.prefixCount = static_cast<uint8_t>(value);
  return S_OK;
}

HRESULT CFrame645::GetDataString(BSTR* result) { return textOut(frameDataText(f_), result); }
HRESULT CFrame645::GetFrameString(BSTR* result) { return textOut(frameWireText(f_), result); }
HRESULT CFrame645::GetFragment(BSTR* result) { return textOut(frameFragmentText(f_), result); }
HRESULT CFrame645::GetFrameStringSub33(BSTR* result) { return textOut(frameWireTextSub33(f_), result); }

HRESULT CFrame645::FromBuffer(PTRBUF ptrBuf, LONG len, LONG* result) {
  const zr::com::HostBuffer buffer(ptrBuf, len);
  return zr::com::outValue(result, buffer.usable() ? parseFrame(f_, buffer.bytes(), len) : -1);
}

HRESULT CFrame645::ToBuffer(PTRBUF ptrBuf, LONG* result) {
  if (!result) return E_POINTER;
  const zr::com::HostBuffer buffer(ptrBuf, static_cast<LONG>(kFrame645MaxWire));
  if (!buffer.usable()) return E_POINTER;
  *result = serializeFrame(f_, buffer.bytes());
  return S_OK;
}

HRESULT CFrame645::Clone(IFrame645** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  zr::com::ComPtr<IFrame645> copy;
  HRESULT h = CFrame645::createInstance(nullptr, IFrame645::iid, copy.putVoid());
  if (FAILED(h)) return h;
  zr::com::Bstr address;
  get_Address(address.put());
  copy->put_Address(address.get());
  copy->put_CtrlWord(f_.control);
  copy->put_DLen(f_.length);
  copy->put_Handle33(static_cast<VARIANT_BOOL>(f_.handle33));
  copy->put_PrefixChar(f_.prefixChar);
  copy->put_PrefixCharCount(f_.prefixCount);
  for (int k = 0; k < f_.length; ++k) copy->put_Data(k, f_.data[static_cast<size_t>(k)]);
  *result = copy.detach();
  return S_OK;
}

}  // namespace kavlink

using namespace zr::com;
using kavlink::IFrame645;

template <>
const DispTable& zr::com::dispatchTable<IFrame645>() {
  static const DispTable t{{
      propGet<&IFrame645::get_Address>(u"Address", 1),
      propPut<&IFrame645::put_Address>(u"Address", 1),
      propGet<&IFrame645::get_CtrlWord>(u"CtrlWord", 2),
      propPut<&IFrame645::put_CtrlWord>(u"CtrlWord", 2),
      propGet<&IFrame645::get_DLen>(u"DLen", 3),
      propPut<&IFrame645::put_DLen>(u"DLen", 3),
      propGet<&IFrame645::get_Data>(u"Data", 4),
      propPut<&IFrame645::put_Data>(u"Data", 4),
      propGet<&IFrame645::get_FLen>(u"FLen", 5),
      propGet<&IFrame645::get_Handle33>(u"Handle33", 6),
      propPut<&IFrame645::put_Handle33>(u"Handle33", 6),
      propGet<&IFrame645::get_PrefixChar>(u"PrefixChar", 7),
      propPut<&IFrame645::put_PrefixChar>(u"PrefixChar", 7),
      propGet<&IFrame645::get_PrefixCharCount>(u"PrefixCharCount", 8),
      propPut<&IFrame645::put_PrefixCharCount>(u"PrefixCharCount", 8),
      method<&IFrame645::GetDataString>(u"GetDataString", 9),
      method<&IFrame645::GetFrameString>(u"GetFrameString", 10),
      method<&IFrame645::GetFragment>(u"GetFragment", 12),
      method<&IFrame645::FromBuffer>(u"FromBuffer", 13),
      method<&IFrame645::ToBuffer>(u"ToBuffer", 14),
      method<&IFrame645::GetFrameStringSub33>(u"GetFrameStringSub33", 15),
      method<&IFrame645::Clone>(u"Clone", 16),
  }};
  return t;
}

namespace kavlink {

KAVLINK_CLASS(CFrame645, "Frame645 Class");

}  // namespace kavlink
