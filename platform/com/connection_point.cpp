#include "com/connection_point.h"

#include <algorithm>

namespace zr::com {

ConnectionPoint::~ConnectionPoint() {
  for (auto& s : sinks_) s.second->Release();
}

bool ConnectionPoint::hasSinks() const {
  std::shared_lock lock(mutex_);
  return !sinks_.empty();
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IUnknown::iid || riid == IConnectionPoint::iid) {
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** cpc) {
  if (!cpc) return E_POINTER;
  *cpc = container_;
  container_->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  void* p = nullptr;
  if (FAILED(sink->QueryInterface(iid_, &p)) && FAILED(sink->QueryInterface(IDispatch::iid, &p)))
    return CONNECT_E_CANNOTCONNECT;
  {
    std::lock_guard lock(mutex_);
    *cookie = nextCookie_++;
    sinks_.emplace_back(*cookie, static_cast<IDispatch*>(p));
  }
  if (adviseHook_) adviseHook_();
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  IDispatch* gone = nullptr;
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(sinks_.begin(), sinks_.end(), [&](auto& s) { return s.first == cookie; });
    if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
    gone = it->second;
    sinks_.erase(it);
  }
  gone->Release();
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(void** enumerator) {
  if (enumerator) *enumerator = nullptr;
  return E_NOTIMPL;
}

HRESULT ConnectionPoint::fireReversed(DISPID id, VARIANT* reversed, UINT count) {
  // A point has a sink or two: their list is copied onto the stack, not the heap.
  constexpr size_t kOnStack = 4;
  IDispatch* onStack[kOnStack];
  std::vector<IDispatch*> more;
  IDispatch** targets = onStack;
  size_t n = 0;
  {
    std::shared_lock lock(mutex_);
    n = sinks_.size();
    if (n > kOnStack) {
      more.resize(n);
      targets = more.data();
    }
    for (size_t i = 0; i < n; ++i) {
      sinks_[i].second->AddRef();
      targets[i] = sinks_[i].second;
    }
  }
  if (n == 0) return S_OK;
  owner_->AddRef();  // a sink may release the source from inside its handler
  HRESULT h = S_OK;
  for (size_t i = 0; i < n; ++i) {
    DISPPARAMS dp{reversed, nullptr, count, 0};
    VARIANT result;
    VariantInit(&result);
    h = targets[i]->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
    VariantClear(&result);
    targets[i]->Release();
  }
  IUnknown* owner = owner_;
  owner->Release();
  return h;
}

HRESULT ConnectionPointContainerImpl::FindConnectionPoint(REFIID riid, IConnectionPoint** cp) {
  if (!cp) return E_POINTER;
  *cp = nullptr;
  for (ConnectionPoint* p : points_) {
    if (p->sourceIid() == riid) {
      *cp = p;
      p->AddRef();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

}  // namespace zr::com
