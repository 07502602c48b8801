// The IDispatch plumbing a host's event sink would otherwise write out again, leaving it only
// Invoke. A sink lives on its owner's stack or in a member and outlives its advise, so the
// reference count is for show: nothing is ever freed through Release.
#pragma once

#include "com/com_ptr.h"

namespace testhost {

class DispatchSink : public IDispatch {
 public:
  // Some sources ask for the event interface itself rather than IDispatch.
  explicit DispatchSink(REFIID events) : events_(events) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IUnknown::iid || riid == IDispatch::iid || riid == events_) {
      *ppv = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

 protected:
  IID events_;
};

// A sink for one source's event interface, known when the test is written.
template <class Events>
class SinkFor : public DispatchSink {
 public:
  SinkFor() : DispatchSink(Events::iid) {}
};

}  // namespace testhost
