// The tools object: conversions between host buffers, byte arrays and text; list factory.
#pragma once

#include <kavlink/zr_tools.h>

#include "com/dispatch.h"
#include "com/object.h"

namespace kavlink {

class CZrTools final
    : public zr::com::ComObject<CZrTools, zr::com::DispatchImpl<CZrTools, IZrTools>, zr::com::SupportErrorInfoImpl> {
 public:
  static constexpr CLSID kClsid = CLSID_ZrTools;
  static constexpr std::u16string_view kProgId = u"kavlink.ZrTools.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.ZrTools";
  static constexpr bool kAggregatable = false;

  HRESULT GetNewByteArray(LONG elements, VARIANT* result) override;
  HRESULT BufToHexStr(PTRBUF ptrBuf, LONG len, BSTR* result) override;
  HRESULT BufToStr(PTRBUF ptrBuf, LONG len, BSTR* result) override;
  HRESULT StrToBuf(BSTR newVal, PTRBUF ptrBuf, LONG* result) override;
  HRESULT GetNewIZrList(IZrList** result) override;
};

}  // namespace kavlink
