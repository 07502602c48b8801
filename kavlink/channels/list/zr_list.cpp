#include "channels/list/zr_list.h"

#include <cstdlib>
#include <limits>

#include "module/class_table.h"

namespace kavlink {

CZrList::~CZrList() { Empty(); }

HRESULT CZrList::get_Items(LONG index, IDispatch** item) {
  if (!item) return E_POINTER;
  *item = nullptr;
  if (index < 0 || index >= count_) return E_INVALIDARG;
  *item = items_[index];
  (*item)->AddRef();
  return S_OK;
}

HRESULT CZrList::GetCount(LONG* count) { return zr::com::outValue(count, count_); }

HRESULT CZrList::Add(IDispatch* Val) {
  // A null entry could later be handed out or released; refuse it.
  if (!Val) return E_POINTER;
  if (count_ == capacity_) {
    if (capacity_ == std::numeric_limits<LONG>::max()) return E_OUTOFMEMORY;
    long long grown = static_cast<long long>(capacity_) + capacity_ / 2;
    long long needed = static_cast<long long>(count_) + 1;
    long long cap = std::min<long long>(std::max(needed, grown), std::numeric_limits<LONG>::max());
    auto* bigger = static_cast<IDispatch**>(std::realloc(items_, static_cast<size_t>(cap) * sizeof(IDispatch*)));
    if (!bigger) return E_OUTOFMEMORY;
    items_ = bigger;
    capacity_ = static_cast<LONG>(cap);
  }
  Val->AddRef();
  items_[count_++] = Val;
  return S_OK;
}

HRESULT CZrList::Empty() {
  for (LONG i = 0; i < count_; ++i) items_[i]->Release();
  std::free(items_);
  items_ = nullptr;
  count_ = 0;
  capacity_ = 0;
  return S_OK;
}

}  // namespace kavlink

using namespace zr::com;
using kavlink::IZrList;

template <>
const DispTable& zr::com::dispatchTable<IZrList>() {
  static const DispTable t{{
      propGet<&IZrList::get_Items>(u"Items", 1),
      method<&IZrList::GetCount>(u"GetCount", 2),
      method<&IZrList::Add>(u"Add", 3),
      method<&IZrList::Empty>(u"Empty", 4),
  }};
  return t;
}

namespace kavlink {

KAVLINK_CLASS(CZrList, "ZrLIST Class");

}  // namespace kavlink
