#include <sys/resource.h>
#include <unistd.h>

#include "serial_support.h"

namespace kavlink::test {
namespace {

class ZrSerialEvents : public ::testing::Test {
 protected:
  void SetUp() override { zr::msg::pumpAll(); }  // nothing of an earlier test may linger
  void TearDown() override {
    if (port) port->Close();
    sink.unadvise();
  }
  void open(VARIANT_BOOL autoEvent = 1) {
    port->put_AutoEvent(autoEvent);
    sink.adviseTo(static_cast<IZrSerial*>(port.get()));
    ASSERT_EQ(failureOf(port->Open()), "");
  }
  zr::test::PtyPair pty;
  ComPtr<CZrSerial> port = newSerial(pty.slaveName());
  EventSink sink;
};

struct CallbackLog {
  std::vector<LONG> bits;
  static void record(void* user, DWORD bit) { static_cast<CallbackLog*>(user)->bits.push_back(bit); }
};

TEST_F(ZrSerialEvents, OneCallPerBitInTheFixedOrderAndTheCallbackFirst) {
  open(0);
  const std::pair<DWORD, std::vector<LONG>> cases[] = {
      {ef_RXCHAR | ef_TXEMPTY, {ef_RXCHAR, ef_TXEMPTY}},
      {ef_ERR | ef_RXFLAG | ef_BREAK | ef_RXCHAR, {ef_RXCHAR, ef_BREAK, ef_RXFLAG, ef_ERR}},
      {0x1FF, {ef_RXCHAR, ef_TXEMPTY, ef_BREAK, ef_CTS, ef_DSR, ef_RXFLAG, ef_RLSD, ef_ERR, ef_RING}},
      {0x200, {}},
  };
  CallbackLog log;
  for (bool callback : {false, true}) {
    port->SetEventCallback(callback ? &CallbackLog::record : nullptr, &log);
    for (const auto& [mask, calls] : cases) {
      sink.events.clear(), log.bits.clear();
      port->DispatchCommEvents(mask);
      EXPECT_EQ(callback ? log.bits : sink.events, calls) << mask;
      EXPECT_TRUE((callback ? sink.events : log.bits).empty()) << mask;
    }
  }
}

TEST_F(ZrSerialEvents, LineEventsArriveOnTheOpeningThreadAlsoInsideWaits) {
  port->put_EventChar('\n');
  open();
  pty.send("ab\n");
  ASSERT_TRUE(pumpUntil([&] { return sink.saw(ef_RXCHAR) && sink.saw(ef_RXFLAG); }));
  EXPECT_EQ(sink.events.front(), ef_RXCHAR);
  port->ClearBuf();
  sink.events.clear();
  VARIANT_BOOL ok = 0;
  port->Send(reinterpret_cast<PTRBUF>("ping"), 4, &ok);
  LONG n = -1;
  port->WaitForData(100, &n);  // nothing comes back; the wait hands over TXEMPTY
  EXPECT_EQ(sink.events, std::vector<LONG>{ef_TXEMPTY});
  for (std::thread::id id : sink.threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(ZrSerialEvents, AnExchangeRaisesItsEventsAtTheNextPumpAndTheLineIsWatchedAgainAfter) {
  open();
  VARIANT_BOOL ok = 0;
  port->Send(reinterpret_cast<PTRBUF>("ping"), 4, &ok);
  std::thread reply([&] {
    poll(nullptr, 0, 30);  // a meter that answers late, after the wait's first step
    pty.send("ab");
  });
  LONG n = 0;
  port->WaitForData(2000, &n);
  reply.join();
  ASSERT_GT(n, 0);
  char buf[8];
  LONG got = 0;
  port->Recv(reinterpret_cast<PTRBUF>(buf), 8, &got);
  EXPECT_GT(got, 0);
  // Within the wait only TXEMPTY was due (the pump runs before the reply came).
  EXPECT_EQ(sink.events, std::vector<LONG>{ef_TXEMPTY});
  ASSERT_TRUE(pumpUntil([&] { return sink.saw(ef_RXCHAR); }));

  // With nobody waiting, bytes that come on their own are still noticed.
  sink.events.clear();
  pty.send("c");
  ASSERT_TRUE(pumpUntil([&] { return sink.saw(ef_RXCHAR); }));
  for (std::thread::id id : sink.threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(ZrSerialEvents, CloseFromInsideOnCommEndsDelivery) {
  open();
  sink.onEvent = [&](LONG) { port->Close(); };
  pty.send("x");
  ASSERT_TRUE(pumpUntil([&] { return !sink.events.empty(); }));
  EXPECT_FALSE(port->EventWatcherRunning());
  ASSERT_EQ(failureOf(port->Open()), "");
  sink.events.clear();
  port->DispatchCommEvents(ef_RXCHAR | ef_TXEMPTY);  // the rest of the mask is dropped
  EXPECT_EQ(sink.events, std::vector<LONG>{ef_RXCHAR});
}

TEST_F(ZrSerialEvents, TheLastReleaseInsideOnCommIsSafe) {
  open();
  const long before = zr::com::liveObjects();
  CZrSerial* raw = port.detach();
  sink.onEvent = [&](LONG) {
    sink.unadvise();  // as a host does: the connection first, then the object
    if (raw) std::exchange(raw, nullptr)->Release();
  };
  pty.send("x");
  ASSERT_TRUE(pumpUntil([&] { return raw == nullptr; }));
  EXPECT_EQ(zr::com::liveObjects(), before - 2);  // the port and its tools object
}

TEST_F(ZrSerialEvents, CloseCompletesWhileAHandOverWaits) {
  open();
  pty.send("x");
  ASSERT_TRUE(zr::test::eventually([] {
    pollfd p{zr::msg::queueFd(), POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }));
  EXPECT_EQ(port->Close(), S_OK);
  zr::msg::pumpAll();
  EXPECT_TRUE(sink.events.empty());
}

TEST_F(ZrSerialEvents, AHangUpIsReportedOnceAndEndsTheWatcher) {
  open();
  pty.closeMaster();
  ASSERT_TRUE(pumpUntil([&] { return sink.saw(ef_ERR) && !port->EventWatcherRunning(); }));
  EXPECT_FALSE(pumpUntil([&] { return sink.events.size() > 1; }, 30));
  LONG n = -1;
  EXPECT_EQ(failureOf(port->GetInputCount(&n)), "ClearCommError function failed");
}

TEST_F(ZrSerialEvents, AWatcherThatCannotStartFailsTheOpen) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer runtime needs descriptors of its own and fails in its own ways when the
  // limit is this tight; the plain build runs this case.
  GTEST_SKIP() << "descriptor limits are not meaningful under the sanitizers";
#endif
  // With few descriptors left, some limit lets the device open but not its events.
  zr::msg::queueFd();
  int lowest = dup(0);
  close(lowest);
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  std::string failure;
  for (int extra = 0; extra < 16 && (failure.empty() || failure == "Unable to open com port"); ++extra) {
    rlimit tight{static_cast<rlim_t>(lowest + extra), saved.rlim_max};
    setrlimit(RLIMIT_NOFILE, &tight);
    HRESULT h = port->Open();
    setrlimit(RLIMIT_NOFILE, &saved);
    failure = failureOf(h);
  }
  EXPECT_EQ(failure, "Unable to start the comm event thread");
  EXPECT_EQ(failureOf(port->Open()), "");  // nothing was left holding the device
}

}  // namespace
}  // namespace kavlink::test
