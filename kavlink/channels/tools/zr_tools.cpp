#include "channels/tools/zr_tools.h"

#include <cstring>

#include "channels/list/zr_list.h"
#include "channels/tools/hex_text.h"
#include "com/host_buffer.h"
#include "module/class_table.h"
#include "text/ansi.h"

namespace kavlink {

HRESULT CZrTools::GetNewByteArray(LONG elements, VARIANT* result) {
  if (!result) return E_POINTER;
  if (elements <= 0) return S_OK;  // the caller's VARIANT stays as it was
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(elements));
  if (!sa) return E_OUTOFMEMORY;
  result->vt = VT_ARRAY | VT_UI1;
  result->parray = sa;
  return S_OK;
}

HRESULT CZrTools::BufToHexStr(PTRBUF ptrBuf, LONG len, BSTR* result) {
  // An unusable buffer has no bytes, and no bytes give no text.
  const zr::com::HostBuffer buffer(ptrBuf, len);
  return zr::com::outValue(result, BufToHexBstr(buffer.bytes(), len));
}

HRESULT CZrTools::BufToStr(PTRBUF ptrBuf, LONG len, BSTR* result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  const zr::com::HostBuffer buffer(ptrBuf, len);
  // No bytes, or none that can be read.
  if (buffer.size() == 0) return S_OK;
  *result = zr::com::narrowBstr(std::string_view(buffer.chars(), buffer.size()));
  return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZrTools::StrToBuf(BSTR newVal, PTRBUF ptrBuf, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  std::string bytes = zr::text::wideToAnsi(zr::com::bstrView(newVal));
  const zr::com::HostBuffer buffer(ptrBuf, static_cast<LONG>(bytes.size()));
  // No text, or nowhere to write it.
  if (buffer.size() == 0) return S_OK;
  std::memcpy(buffer.bytes(), bytes.data(), buffer.size());  // no terminating zero
  *result = static_cast<LONG>(buffer.size());
  return S_OK;
}

HRESULT CZrTools::GetNewIZrList(IZrList** result) {
  if (!result) return E_POINTER;
  return CZrList::createInstance(nullptr, IZrList::iid, reinterpret_cast<void**>(result));
}

}  // namespace kavlink

using namespace zr::com;
using kavlink::IZrTools;

template <>
const DispTable& zr::com::dispatchTable<IZrTools>() {
  static const DispTable t{{
      method<&IZrTools::GetNewByteArray>(u"GetNewByteArray", 1),
      method<&IZrTools::BufToHexStr>(u"BufToHexStr", 2),
      method<&IZrTools::BufToStr>(u"BufToStr", 3),
      method<&IZrTools::StrToBuf>(u"StrToBuf", 4),
      method<&IZrTools::GetNewIZrList>(u"GetNewIZrList", 5),
  }};
  return t;
}

namespace kavlink {

KAVLINK_CLASS(CZrTools, "ZrTools Class");

}  // namespace kavlink
