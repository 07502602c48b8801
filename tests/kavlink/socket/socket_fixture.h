// A socket object under test, an event sink that records what fired and on which thread,
// and pumping with a deadline.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "channels/socket/zr_socket.h"
#include "com/com_ptr.h"
#include "msg/message_queue.h"
#include "platform/net/loopback_peer.h"
#include "support/sink_base.h"
#include "text/ansi.h"

namespace sockettest {

using kavlink::CZrSocket;
using kavlink::IZrSocket;
using zr::com::Bstr;
using zr::com::ComPtr;

using namespace std::chrono_literals;

// How long a test gives something that must not happen.
constexpr auto kQuiet = 60ms;

struct Event {
  DISPID id;
  std::vector<long long> numbers;  // the numeric arguments in order
  bool nullText = false;           // the text argument (OnRecvFrom) was a null string
  std::thread::id thread;
};

// Records every event; `handler` (when set) runs inside the event, as a host's would.
class Sink final : public testhost::SinkFor<kavlink::_IZrSocketEvents> {
 public:
  std::vector<Event> events;
  std::function<void(const Event&)> handler;

  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    Event e{id, {}, false, std::this_thread::get_id()};
    for (UINT i = params->cArgs; i-- > 0;) {  // arguments come last first
      const VARIANT& v = params->rgvarg[i];
      switch (v.vt) {
        case VT_BSTR:
          e.nullText = v.bstrVal == nullptr;
          break;
        case VT_UI8:
          e.numbers.push_back(static_cast<long long>(v.ullVal));
          break;
        case VT_UI4:
          e.numbers.push_back(v.ulVal);
          break;
        default:
          e.numbers.push_back(v.lVal);
          break;
      }
    }
    events.push_back(e);
    if (handler) handler(events.back());
    return S_OK;
  }

  size_t count(DISPID id) const {
    size_t n = 0;
    for (const Event& e : events) n += e.id == id ? 1 : 0;
    return n;
  }
};

// Dispatches the calling thread's messages until done() holds; false at the deadline.
inline bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = nettest::kDeadline) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (zr::msg::waitFdOrQueue(-1, 0, 10) == zr::msg::WaitResult::Queue) zr::msg::pumpOne();
  }
  return true;
}

inline std::string narrow(const Bstr& s) { return zr::text::wideToAnsi(s.view()); }
inline Bstr wide(const std::string& s) { return Bstr(zr::text::ansiToWide(s)); }

class SocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    obj = CZrSocket::create();
    ASSERT_NE(obj, nullptr);
    socket = ComPtr<IZrSocket>::attach(static_cast<IZrSocket*>(obj));
  }
  void TearDown() override {
    if (cookie) point->Unadvise(cookie);
  }

  void advise() {
    auto container = socket.as<IConnectionPointContainer>();
    ASSERT_TRUE(container);
    ASSERT_EQ(container->FindConnectionPoint(kavlink::_IZrSocketEvents::iid, point.put()), S_OK);
    ASSERT_EQ(point->Advise(static_cast<IDispatch*>(&sink), &cookie), S_OK);
  }

  // Points the object at 127.0.0.1:port with the given protocol.
  void target(int port, kavlink::TIpProtocol protocol = kavlink::ipTCP) {
    socket->put_Host(wide("127.0.0.1").get());
    socket->put_Port(port);
    socket->put_IpProtocol(protocol);
  }
  bool connect() {
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(socket->Connect(&ok), S_OK);
    EXPECT_TRUE(ok == 0 || ok == 1) << "a BOOL result is 0 or 1, not " << ok;
    return ok != VARIANT_FALSE;
  }
  bool connected() {
    VARIANT_BOOL c = VARIANT_FALSE;
    socket->get_Connected(&c);
    EXPECT_TRUE(c == 0 || c == 1) << "a BOOL result is 0 or 1, not " << c;
    return c != VARIANT_FALSE;
  }
  LONG lastError() {
    LONG code = 0;
    socket->GetLastError(&code);
    return code;
  }
  std::string lastErrorText() {
    Bstr text;
    socket->GetLastErrorStr(text.put());
    return narrow(text);
  }
  LONG socketValue() {
    LONG s = 0;
    socket->get_socket(&s);
    return s;
  }
  bool send(const std::string& bytes) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    socket->Send(reinterpret_cast<PTRBUF>(bytes.data()), static_cast<LONG>(bytes.size()), &ok);
    EXPECT_TRUE(ok == 0 || ok == 1) << "a BOOL result is 0 or 1, not " << ok;
    return ok != VARIANT_FALSE;
  }
  // One Recv; the text received, or nothing with count set to the result.
  std::string recv(LONG* count = nullptr) {
    std::vector<char> buf(4096);
    LONG n = 0;
    socket->Recv(reinterpret_cast<PTRBUF>(buf.data()), &n);
    if (count) *count = n;
    return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
  }
  LONG waitForData(LONG timeout) {
    LONG r = -7;
    socket->WaitForData(timeout, &r);
    return r;
  }

  CZrSocket* obj = nullptr;
  ComPtr<IZrSocket> socket;
  Sink sink;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
};

}  // namespace sockettest
