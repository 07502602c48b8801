#include "dlms/zr_cosem_object.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "module/class_table.h"
#include "text/ansi.h"

namespace kavlink {

void ParseObisText(const std::string& text, uint8_t obis[6]) {
  std::string rest = text;
  for (int k = 0; k < 5; ++k) {
    size_t dot = rest.find('.');
    std::string part = dot == std::string::npos ? std::string() : rest.substr(0, dot);
    obis[k] = static_cast<uint8_t>(std::strtol(part.c_str(), nullptr, 10));
    if (dot != std::string::npos) rest.erase(0, dot + 1);
  }
  obis[5] = static_cast<uint8_t>(std::strtol(rest.c_str(), nullptr, 10));
}

HRESULT CZrCosemObject::get_ClassID(USHORT* value) { return zr::com::outValue(value, cosem_.classId); }

HRESULT CZrCosemObject::put_ClassID(USHORT value) {
  cosem_.classId = value;
  return S_OK;
}

HRESULT CZrCosemObject::get_index(BYTE* value) { return zr::com::outValue(value, cosem_.index); }

HRESULT CZrCosemObject::put_index(BYTE value) {
  cosem_.index = value;
  return S_OK;
}

HRESULT CZrCosemObject::get_OBIS(BSTR* value) {
  if (!value) return E_POINTER;
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d.%d.%d", cosem_.obis[0], cosem_.obis[1], cosem_.obis[2], cosem_.obis[3],
                cosem_.obis[4], cosem_.obis[5]);
  *value = zr::com::narrowBstr(text);
  return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZrCosemObject::put_OBIS(BSTR value) {
  ParseObisText(zr::text::wideToAnsi(zr::com::bstrView(value)), cosem_.obis);
  return S_OK;
}

// Positions outside the data buffer are refused: nothing else guards the bytes around it.
HRESULT CZrCosemObject::get_Data(LONG index, BYTE* value) {
  if (!value) return E_POINTER;
  if (index < 0 || index >= kCosemDataSize) return E_INVALIDARG;
  *value = cosem_.data[index];
  return S_OK;
}

HRESULT CZrCosemObject::put_Data(LONG index, BYTE value) {
  if (index < 0 || index >= kCosemDataSize) return E_INVALIDARG;
  cosem_.data[index] = value;
  return S_OK;
}

HRESULT CZrCosemObject::get_DataLen(LONG* value) { return zr::com::outValue(value, cosem_.dataLen); }

HRESULT CZrCosemObject::put_DataLen(LONG value) {
  if (value < 0 || value > kCosemDataSize) return E_INVALIDARG;
  cosem_.dataLen = value;
  return S_OK;
}

HRESULT CZrCosemObject::get_AccessType(BYTE* value) { return zr::com::outValue(value, cosem_.accessType); }

HRESULT CZrCosemObject::get_AccessResult(BYTE* value) { return zr::com::outValue(value, cosem_.accessResult); }

HRESULT CZrCosemObject::Clear() {
  cosem_.clear();
  return S_OK;
}

HRESULT CZrCosemObject::GetDataPointer(PTRBUF* result) {
  return zr::com::outValue(result, reinterpret_cast<PTRBUF>(cosem_.data));
}

HRESULT CZrCosemObject::GetDataType(TZrCosemDataType* result) {
  return zr::com::outValue(result, static_cast<TZrCosemDataType>(cosem_.data[0]));
}

}  // namespace kavlink

using namespace zr::com;
using kavlink::IZrCosemObject;

template <>
const DispTable& zr::com::dispatchTable<IZrCosemObject>() {
  static const DispTable t{{
      propGet<&IZrCosemObject::get_ClassID>(u"ClassID", 1),
      propPut<&IZrCosemObject::put_ClassID>(u"ClassID", 1),
      propGet<&IZrCosemObject::get_index>(u"index", 2),
      propPut<&IZrCosemObject::put_index>(u"index", 2),
      propGet<&IZrCosemObject::get_OBIS>(u"OBIS", 3),
      propPut<&IZrCosemObject::put_OBIS>(u"OBIS", 3),
      propGet<&IZrCosemObject::get_Data>(u"Data", 4),
      propPut<&IZrCosemObject::put_Data>(u"Data", 4),
      propGet<&IZrCosemObject::get_DataLen>(u"DataLen", 5),
      propPut<&IZrCosemObject::put_DataLen>(u"DataLen", 5),
      propGet<&IZrCosemObject::get_AccessType>(u"AccessType", 6),
      propGet<&IZrCosemObject::get_AccessResult>(u"AccessResult", 7),
      method<&IZrCosemObject::Clear>(u"Clear", 8),
      method<&IZrCosemObject::GetDataPointer>(u"GetDataPointer", 9),
      method<&IZrCosemObject::GetDataType>(u"GetDataType", 0xa),
  }};
  return t;
}

namespace kavlink {
KAVLINK_CLASS(CZrCosemObject, "ZrDLMS_COSEM Class");
}  // namespace kavlink
