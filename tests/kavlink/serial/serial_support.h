// Shared pieces of the serial port object's tests: creation, COM error texts, an event
// sink, and pumping the test thread's messages with a deadline.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "channels/serial/zr_serial.h"
#include "platform/serial/pty_pair.h"
#include "support/sink_base.h"
#include "text/ansi.h"

namespace kavlink::test {

using zr::com::ComPtr;
using zr::test::Bytes;

inline ComPtr<CZrSerial> newSerial(const std::string& port = "COM1") {
  auto p = ComPtr<CZrSerial>::attach(CZrSerial::create());
  zr::com::Bstr b(zr::text::ansiToWide(port));
  p->put_Port(b.get());
  return p;
}

// The text a failing call left as COM error information, "" when it succeeded.
inline std::string failureOf(HRESULT h) {
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(h) || GetErrorInfo(0, &info) != S_OK) return SUCCEEDED(h) ? "" : "no error info";
  zr::com::Bstr text, source;
  info->GetDescription(text.put());
  info->GetSource(source.put());
  info->Release();
  EXPECT_EQ(h, DISP_E_EXCEPTION);
  EXPECT_EQ(source.str(), u"kavlink.ZrSerial.1");
  return zr::text::wideToAnsi(text.view());
}

// An _IZrSerialEvents sink on the test's stack; records each event and its thread.
struct EventSink final : testhost::SinkFor<_IZrSerialEvents> {
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id != _IZrSerialEvents::kOnComm || p->cArgs != 1) return DISP_E_MEMBERNOTFOUND;
    events.push_back(p->rgvarg[0].lVal);
    threads.push_back(std::this_thread::get_id());
    if (onEvent) onEvent(p->rgvarg[0].lVal);
    return S_OK;
  }
  void adviseTo(IUnknown* source) {
    ComPtr<IConnectionPointContainer> cpc;
    source->QueryInterface(IConnectionPointContainer::iid, cpc.putVoid());
    ASSERT_EQ(cpc->FindConnectionPoint(_IZrSerialEvents::iid, point.put()), S_OK);
    ASSERT_EQ(point->Advise(this, &cookie), S_OK);
  }
  void unadvise() { point ? (void)point->Unadvise(cookie), point.reset() : void(); }
  bool saw(LONG bit) const { return std::count(events.begin(), events.end(), bit) > 0; }

  std::vector<LONG> events;
  std::vector<std::thread::id> threads;
  std::function<void(LONG)> onEvent;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
};

// Handles the test thread's messages until the condition holds or the deadline passes.
template <class F>
bool pumpUntil(F&& condition, int deadlineMs = 2000) {
  return zr::test::eventually(
      [&] {
        zr::msg::pumpAll();
        return condition();
      },
      deadlineMs);
}

inline long msSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace kavlink::test
