#include "channels/tools/zr_tools.h"

#include <cstring>

#include "channels/list/zr_list.h"
#include "channels/tools/hex_text.h"
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
  return zr::com::outValue(result, BufToHexBstr(reinterpret_cast<const uint8_t*>(ptrBuf), len));
}

HRESULT CZrTools::BufToStr(PTRBUF ptrBuf, LONG len, BSTR* result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  if (len <= 0 || !ptrBuf) return S_OK;
  std::string_view bytes(reinterpret_cast<const char*>(ptrBuf), static_cast<size_t>(len));
  *result = zr::com::narrowBstr(bytes);
  return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZrTools::StrToBuf(BSTR newVal, PTRBUF ptrBuf, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  std::string bytes = zr::text::wideToAnsi(zr::com::bstrView(newVal));
  if (bytes.empty() || !ptrBuf) return S_OK;
  std::memcpy(reinterpret_cast<void*>(ptrBuf), bytes.data(), bytes.size());  // no terminating zero
  *result = static_cast<LONG>(bytes.size());
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
