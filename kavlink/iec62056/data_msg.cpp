#include "iec62056/data_msg.h"

#include "com/com_ptr.h"
#include "module/class_table.h"
#include "text/ansi.h"

namespace kavlink {

HRESULT CDataMsg::Clear() {
  sets_.clear();
  return S_OK;
}

HRESULT CDataMsg::Add(BSTR Data) {
  return guard([&]() -> HRESULT {
    return iec::splitDataSets(zr::text::wideToAnsi(zr::com::bstrView(Data)), sets_) ? S_OK : E_INVALIDARG;
  });
}

HRESULT CDataMsg::AddBlock(BSTR block) {
  return guard([&] {
    sets_.groups.push_back(zr::text::wideToAnsi(zr::com::bstrView(block)));
    sets_.kinds.push_back(1);
  });
}

HRESULT CDataMsg::GetCount(LONG* result) { return zr::com::outValue(result, static_cast<LONG>(sets_.groups.size())); }

HRESULT CDataMsg::entry(const std::vector<std::string>& list, LONG index, BSTR* result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return E_INVALIDARG;
  *result = zr::com::narrowBstr(list[static_cast<size_t>(index)]);
  return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT CDataMsg::GetGroup(LONG index, BSTR* result) { return entry(sets_.groups, index, result); }
HRESULT CDataMsg::GetDI(LONG index, BSTR* result) { return entry(sets_.dis, index, result); }
HRESULT CDataMsg::GetValue(LONG index, BSTR* result) { return entry(sets_.values, index, result); }
HRESULT CDataMsg::GetUnit(LONG index, BSTR* result) { return entry(sets_.units, index, result); }

iec::DataSets* dataMsgLists(IDataMsg* dm) {
  if (!dm) return nullptr;
  zr::com::ComPtr<IDataMsgLists> own;
  if (FAILED(dm->QueryInterface(IDataMsgLists::iid, own.putVoid())) || !own) return nullptr;
  // The object stays alive through the caller's reference to dm.
  return &own->lists();
}

}  // namespace kavlink

using namespace zr::com;
using kavlink::IDataMsg;

template <>
const DispTable& zr::com::dispatchTable<IDataMsg>() {
  static const DispTable t{{
      method<&IDataMsg::Clear>(u"Clear", 1),
      method<&IDataMsg::Add>(u"Add", 2),
      method<&IDataMsg::AddBlock>(u"AddBlock", 3),
      method<&IDataMsg::GetCount>(u"GetCount", 4),
      method<&IDataMsg::GetGroup>(u"GetGroup", 5),
      method<&IDataMsg::GetDI>(u"GetDI", 6),
      method<&IDataMsg::GetValue>(u"GetValue", 7),
      method<&IDataMsg::GetUnit>(u"GetUnit", 8),
  }};
  return t;
}

namespace kavlink {
KAVLINK_CLASS(CDataMsg, "DataMsg Class");
}  // namespace kavlink
