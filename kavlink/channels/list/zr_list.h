// The list object: an ordered list of dispatch objects, one reference held on each.
#pragma once

#include <kavlink/zr_tools.h>

#include "com/dispatch.h"
#include "com/object.h"

namespace kavlink {

class CZrList final
    : public zr::com::ComObject<CZrList, zr::com::DispatchImpl<CZrList, IZrList>, zr::com::SupportErrorInfoImpl> {
 public:
  static constexpr CLSID kClsid = CLSID_ZrList;
  static constexpr std::u16string_view kProgId = u"kavlink.ZrLIST.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.ZrLIST";
  static constexpr bool kAggregatable = false;
  // Reached through zr::com::implementationOf.
  static constexpr IID kImplementationIid = zr::com::guid("799963ec-eb96-473e-aba1-ebcac642b0f9");

  ~CZrList() override;

  HRESULT get_Items(LONG index, IDispatch** item) override;
  HRESULT GetCount(LONG* count) override;
  HRESULT Add(IDispatch* Val) override;
  HRESULT Empty() override;

  // Read in place by other classes of the component (the DLMS client).
  IDispatch* const* items() const { return items_; }
  LONG count() const { return count_; }

 private:
  IDispatch** items_ = nullptr;
  LONG count_ = 0;
  LONG capacity_ = 0;
};

}  // namespace kavlink
