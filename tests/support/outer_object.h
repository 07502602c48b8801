// A stand-in for an object that aggregates another: it answers IUnknown itself and hands
// every other request to the inner object. Its reference count is a plain number that a
// test reads; it never deletes itself.
#pragma once

#include "com/com.h"

namespace testhost {

struct OuterObject : IUnknown {
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IUnknown::iid) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  ULONG refs = 1;
  IUnknown* inner = nullptr;  // the aggregated object's own unknown
};

}  // namespace testhost
