// The COSEM object: one attribute or method reference with its A-XDR data, as the DLMS
// control sends and receives it and as the meter-side engine hands a request to the host.
#pragma once

#include <kavlink/zr_dlms.h>

#include "com/dispatch.h"
#include "com/object.h"
#include "dlms/cosem_apdu.h"

namespace kavlink {

class CZrCosemObject final
    : public zr::com::ComObject<CZrCosemObject, zr::com::DispatchImpl<CZrCosemObject, IZrCosemObject>,
                                zr::com::SupportErrorInfoImpl> {
 public:
  static constexpr CLSID kClsid = CLSID_ZrCosemObject;
  static constexpr std::u16string_view kProgId = u"kavlink.ZrDLMS_COSEM.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.ZrDLMS_COSEM";
  static constexpr bool kAggregatable = false;
  // Reached through zr::com::implementationOf.
  static constexpr IID kImplementationIid = zr::com::guid("7d02e383-7379-4e21-9d75-1715ff53a8bf");

  CZrCosemObject() { cosem_.clear(); }

  CosemData& cosem() { return cosem_; }

  HRESULT get_ClassID(USHORT* value) override;
  HRESULT put_ClassID(USHORT value) override;
  HRESULT get_index(BYTE* value) override;
  HRESULT put_index(BYTE value) override;
  HRESULT get_OBIS(BSTR* value) override;
  HRESULT put_OBIS(BSTR value) override;
  HRESULT get_Data(LONG index, BYTE* value) override;
  HRESULT put_Data(LONG index, BYTE value) override;
  HRESULT get_DataLen(LONG* value) override;
  HRESULT put_DataLen(LONG value) override;
  HRESULT get_AccessType(BYTE* value) override;
  HRESULT get_AccessResult(BYTE* value) override;
  HRESULT Clear() override;
  HRESULT GetDataPointer(PTRBUF* result) override;
  HRESULT GetDataType(TZrCosemDataType* result) override;

 private:
  CosemData cosem_;
};

// The six OBIS groups of a text such as "1.0.1.8.0.255" (a missing group reads 0, and
// whatever follows the fifth dot goes to the last one).
void ParseObisText(const std::string& text, uint8_t obis[6]);

}  // namespace kavlink
