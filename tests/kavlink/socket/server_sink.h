// An event sink for a socket object that serves: its events come on worker threads, for
// different connections at the same time, so everything here is locked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "com/com.h"
#include "kavlink/zr_socket.h"
#include "support/sink_base.h"
#include "text/ansi.h"

namespace sockettest {

struct ServerEvent {
  DISPID id = 0;
  ULONG handle = 0;   // OnAccept, OnRecv, OnClose
  std::string ip;     // OnAccept, OnRecvFrom
  LONG port = 0;      // OnAccept, OnRecvFrom
  PTRBUF buffer = 0;  // OnRecv, OnRecvFrom: valid only inside the event
  LONG len = 0;
  std::string data;  // the bytes, when kept
  std::thread::id thread;
};

class ServerSink final : public testhost::SinkFor<kavlink::_IZrSocketEvents> {
 public:
  // Runs inside each event, on the worker, before it is recorded. Set before Advise.
  std::function<void(const ServerEvent&)> handler;
  // Keep the received bytes of each event (off for load).
  bool keepData = true;

  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    ServerEvent e;
    e.id = id;
    e.thread = std::this_thread::get_id();
    // Arguments come last first.
    auto arg = [&](UINT i) -> const VARIANT& { return params->rgvarg[params->cArgs - 1 - i]; };
    auto number = [&](UINT i) -> unsigned long long {
      const VARIANT& v = arg(i);
      return v.vt == VT_UI8 ? v.ullVal : v.vt == VT_UI4 ? v.ulVal : static_cast<unsigned long long>(v.lVal);
    };
    auto text = [&](UINT i) {
      const VARIANT& v = arg(i);
      return v.vt == VT_BSTR && v.bstrVal ? zr::text::wideToAnsi(zr::com::bstrView(v.bstrVal)) : std::string();
    };
    switch (id) {
      case kavlink::_IZrSocketEvents::kOnAccept:
        e.handle = static_cast<ULONG>(number(0));
        e.ip = text(1);
        e.port = static_cast<LONG>(number(2));
        break;
      case kavlink::_IZrSocketEvents::kOnRecv:
        e.handle = static_cast<ULONG>(number(0));
        e.buffer = static_cast<PTRBUF>(number(1));
        e.len = static_cast<LONG>(number(2));
        break;
      case kavlink::_IZrSocketEvents::kOnRecvFrom:
        e.ip = text(0);
        e.port = static_cast<LONG>(number(1));
        e.buffer = static_cast<PTRBUF>(number(2));
        e.len = static_cast<LONG>(number(3));
        break;
      default:
        e.handle = static_cast<ULONG>(number(0));
        break;
    }
    if (keepData && e.buffer && e.len > 0) e.data.assign(reinterpret_cast<const char*>(e.buffer), e.len);
    if (handler) handler(e);
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(e));
    }
    changed_.notify_all();
    return S_OK;
  }

  std::vector<ServerEvent> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  size_t count(DISPID id) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const ServerEvent& e : events_) n += e.id == id ? 1 : 0;
    return n;
  }
  size_t total() const {
    std::lock_guard lock(mutex_);
    return events_.size();
  }
  // Waits until done() holds over the events, at most limit.
  bool waitFor(const std::function<bool(const std::vector<ServerEvent>&)>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(events_); });
  }
  bool waitCount(DISPID id, size_t n, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    return waitFor(
        [&](const std::vector<ServerEvent>& all) {
          size_t k = 0;
          for (const ServerEvent& e : all) k += e.id == id ? 1 : 0;
          return k >= n;
        },
        limit);
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ServerEvent> events_;
};

}  // namespace sockettest
