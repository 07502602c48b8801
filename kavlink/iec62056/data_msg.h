// CDataMsg: the data message object. The IEC 62056-21 control reads its lists in place
// through IDataMsgLists, which only objects of this component answer.
#pragma once

#include <kavlink/data_msg.h>

#include "com/dispatch.h"
#include "com/object.h"
#include "iec62056/data_sets.h"

namespace kavlink {

// Internal: the lists behind an IDataMsg of this component.
struct IDataMsgLists : IUnknown {
  ZR_IID("6E5A3F1C-2B7D-4C90-9E14-A83D5F0B71C2");
  using Base = IUnknown;
  virtual iec::DataSets& lists() = 0;
};

class CDataMsg final : public zr::com::ComObject<CDataMsg, zr::com::DispatchImpl<CDataMsg, IDataMsg>, IDataMsgLists,
                                                 zr::com::SupportErrorInfoImpl> {
 public:
  static constexpr CLSID kClsid = CLSID_DataMsg;
  static constexpr std::u16string_view kProgId = u"kavlink.DATAMSG.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.DATAMSG";
  static constexpr bool kAggregatable = true;

  HRESULT Clear() override;
  HRESULT Add(BSTR Data) override;
  HRESULT AddBlock(BSTR block) override;
  HRESULT GetCount(LONG* result) override;
  HRESULT GetGroup(LONG index, BSTR* result) override;
  HRESULT GetDI(LONG index, BSTR* result) override;
  HRESULT GetValue(LONG index, BSTR* result) override;
  HRESULT GetUnit(LONG index, BSTR* result) override;

  iec::DataSets& lists() override { return sets_; }

 private:
  HRESULT entry(const std::vector<std::string>& list, LONG index, BSTR* result);
  iec::DataSets sets_;
};

// The lists of dm when it is a data message of this component, else null.
iec::DataSets* dataMsgLists(IDataMsg* dm);

}  // namespace kavlink
