// Connection points: outgoing (event) interfaces whose sinks are IDispatch objects.
//
// An object owns one ConnectionPoint per source interface and lists them in its
// ConnectionPointContainerImpl. Firing calls every sink's Invoke synchronously, in the
// order of Advise, while holding a reference on each sink and on the source object, so a
// sink may Unadvise or release the source from inside its handler.
#pragma once

#include <functional>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <vector>

#include "com/com.h"
#include "com/dispatch.h"

namespace zr::com {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // owner: the controlling unknown of the source object (lifetime is delegated to it).
  ConnectionPoint(REFIID sourceIid, IConnectionPointContainer* container, IUnknown* owner)
      : iid_(sourceIid), container_(container), owner_(owner) {}
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  // The owner's identity can change once (aggregation is known only after construction).
  void setOwner(IUnknown* owner) { owner_ = owner; }
  REFIID sourceIid() const { return iid_; }
  bool hasSinks() const;
  // Runs after every successful Advise, on the advising thread and outside the lock: a
  // source that works only for listeners starts that work with its first sink.
  void setAdviseHook(std::function<void()> hook) { adviseHook_ = std::move(hook); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override { return owner_->AddRef(); }
  ULONG Release() override { return owner_->Release(); }
  HRESULT GetConnectionInterface(IID* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** cpc) override;
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT Unadvise(DWORD cookie) override;
  HRESULT EnumConnections(void** enumerator) override;

  // Calls DISPATCH_METHOD `id` on every sink and returns the result of the last sink
  // called, S_OK when there is none. fireArgs(id, a, b, ...): value arguments go by value; pointer arguments (LONG*,
  // VARIANT_BOOL*, BSTR* ...) go by reference, so sinks can change them.
  template <class... A>
  HRESULT fireArgs(DISPID id, A... a) {
    // On the stack, last first as DISPPARAMS holds them: servers fire for every message.
    constexpr size_t n = sizeof...(A);
    const VARIANT natural[n + 1] = {toVariant(a)..., VARIANT{}};
    VARIANT reversed[n + 1];
    for (size_t i = 0; i < n; ++i) reversed[i] = natural[n - 1 - i];
    return fireReversed(id, reversed, static_cast<UINT>(n));
  }

 private:
  HRESULT fireReversed(DISPID id, VARIANT* reversed, UINT count);

  template <class T>
  static VARIANT toVariant(T v) {
    VARIANT r;
    VariantInit(&r);
    if constexpr (disp::isOut<T>) {
      r.vt = static_cast<VARTYPE>(disp::vtOf<std::remove_pointer_t<T>>() | VT_BYREF);
      r.byref = static_cast<void*>(v);
    } else if constexpr (disp::isInterfacePtr<T>) {
      // Borrowed for the call: no reference is taken, and fire() does not clear args.
      disp::writeResult(&r, v);
    } else {
      disp::writeResult(&r, v);
    }
    return r;
  }

  IID iid_;
  IConnectionPointContainer* container_;
  IUnknown* owner_;
  // Firing only reads the sinks: workers that fire at once do not wait for one another.
  mutable std::shared_mutex mutex_;
  std::vector<std::pair<DWORD, IDispatch*>> sinks_;
  DWORD nextCookie_ = 1;
  std::function<void()> adviseHook_;
};

// Implements IConnectionPointContainer over the connection points an object lists.
class ConnectionPointContainerImpl : public IConnectionPointContainer {
 public:
  HRESULT EnumConnectionPoints(void** enumerator) override {
    if (enumerator) *enumerator = nullptr;
    return E_NOTIMPL;
  }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override;

 protected:
  void addConnectionPoint(ConnectionPoint* cp) { points_.push_back(cp); }

 private:
  std::vector<ConnectionPoint*> points_;
};

}  // namespace zr::com
