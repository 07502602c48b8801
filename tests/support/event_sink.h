// An IDispatch sink for tests: records every event (dispid and a copy of its arguments)
// and may run a handler for each. Connect it to a source with advise().
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "com/com_ptr.h"
#include "msg/message_queue.h"
#include "support/sink_base.h"

namespace testhost {

struct Event {
  DISPID id;
  std::vector<zr::com::Variant> args;  // in natural order
};

class EventSink final : public DispatchSink {
 public:
  EventSink() : DispatchSink(IID{}) {}
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    Event e{id, {}};
    for (UINT i = p->cArgs; i > 0; --i) {
      zr::com::Variant v;
      VariantCopy(&v, &p->rgvarg[i - 1]);
      e.args.push_back(v);
    }
    events.push_back(e);
    if (onEvent) onEvent(id, p);
    return S_OK;
  }

  // Subscribes to the source's connection point for iid.
  bool advise(IUnknown* source, REFIID iid) {
    events_ = iid;
    auto cpc = zr::com::ComPtr<IUnknown>(source).as<IConnectionPointContainer>();
    if (!cpc || FAILED(cpc->FindConnectionPoint(iid, point.put()))) return false;
    return SUCCEEDED(point->Advise(this, &cookie));
  }
  void unadvise() {
    if (point) point->Unadvise(cookie);
    point.reset();
  }
  size_t count(DISPID id) const {
    size_t n = 0;
    for (const Event& e : events) n += e.id == id;
    return n;
  }

  std::vector<Event> events;
  std::function<void(DISPID, DISPPARAMS*)> onEvent;
  zr::com::ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
};

// Pumps the calling thread's messages until pred() holds or the deadline passes.
template <class Pred>
bool pumpUntil(Pred pred, int timeoutMs = 2000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    if (!zr::msg::pumpOne()) zr::msg::waitFdOrQueue(-1, 0, 10);
  }
  return true;
}

// Waits (without pumping) until pred() holds or the deadline passes.
template <class Pred>
bool waitUntil(Pred pred, int timeoutMs = 2000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    zr::msg::waitFdOrQueue(-1, 0, 2);
  }
  return true;
}

}  // namespace testhost
