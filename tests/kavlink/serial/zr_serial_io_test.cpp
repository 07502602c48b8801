#include <thread>

#include "platform/serial/termios_probe.h"
#include "serial_support.h"

namespace kavlink::test {
namespace {

// Time-outs count whole ticks, so one may end up to a millisecond of real time early.
constexpr long kTickSlackMs = 1;

class ZrSerialIo : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(failureOf(port->Open()), ""); }
  LONG inputCount() {
    LONG n = -1;
    port->GetInputCount(&n);
    return n;
  }
  void farEndSends(const std::string& bytes) {
    pty.send(bytes);
    ASSERT_TRUE(zr::test::eventually([&] { return inputCount() == static_cast<LONG>(bytes.size()); }));
  }
  zr::test::PtyPair pty;
  ComPtr<CZrSerial> port = newSerial(pty.slaveName());
};

TEST_F(ZrSerialIo, OpenFailuresLeaveTheStateAsItWas) {
  EXPECT_EQ(failureOf(port->Open()), "Port already opened");
  auto other = newSerial(pty.slaveName());
  EXPECT_EQ(failureOf(other->Open()), "Unable to open com port");  // the first one holds it
  port->put_AutoEvent(0);                                          // ignored while open
  VARIANT_BOOL autoEvent = 0;
  port->get_AutoEvent(&autoEvent);
  EXPECT_EQ(autoEvent, 1);
  EXPECT_TRUE(port->EventWatcherRunning());
  EXPECT_EQ(port->Close(), S_OK);
  EXPECT_EQ(port->Close(), S_OK);
  EXPECT_EQ(failureOf(other->Open()), "");
  for (std::string name : {std::string("/nonexistent/ttyX"), std::string(), std::string("/dev/null"),
                           std::string("ttyNoSuch9"), "/" + std::string(255, 'a')}) {
    auto bad = newSerial(name);
    EXPECT_EQ(failureOf(bad->Open()), "Unable to open com port") << name;
    VARIANT_BOOL connected = -1;
    bad->get_Connected(&connected);
    EXPECT_EQ(connected, 0);
  }
  // Values outside the enums are refused at open, and the device is let go again.
  other->Close();
  for (int i = 0; i < 2; ++i) {
    auto bad = newSerial(pty.slaveName());
    i ? bad->put_DataBits(static_cast<TDataBits>(9)) : bad->put_BaudRate(static_cast<TBaudRate>(-9600));
    EXPECT_EQ(failureOf(bad->Open()), "SetCommState function failed");
    EXPECT_EQ(failureOf(other->Open()), "");
    other->Close();
  }
}

TEST_F(ZrSerialIo, LineSettingsReachTheTerminalAtOpenAndUpdate) {
  struct Case {
    TBaudRate baud;
    TParityBits parity;
    TStopBits stop;
    TFlow flow;
    bool update;
  };
  const Case cases[] = {{br128000, prNone, sbOneStopBit, fcNone, false},
                        {br256000, prOdd, sbTwoStopBits, fcHardWare, false},
                        {br9600, prEven, sbOneStopBit, fcXonXoff, true},
                        {br300, prMark, sbOneStopBit, fcNone, true},
                        {br57600, prSpace, sbTwoStopBits, fcHardWare, true}};
  for (const Case& c : cases) {
    port->put_BaudRate(c.baud), port->put_ParityBits(c.parity), port->put_StopBits(c.stop);
    port->put_FlowControl(c.flow), port->SetXonChar_XoffChar(0x1A, 0x1B);
    if (c.update) {
      ASSERT_EQ(failureOf(port->UpdateDCB()), "");
    } else {
      port->Close();
      ASSERT_EQ(failureOf(port->Open()), "");
    }
    termios2 t = zr::test::readTermios(pty.slave());
    EXPECT_EQ(t.c_ospeed, static_cast<unsigned>(c.baud));
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.parity == prOdd || c.parity == prMark) << c.baud;
    EXPECT_EQ((t.c_cflag & CMSPAR) != 0, c.parity == prMark || c.parity == prSpace) << c.baud;
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.stop == sbTwoStopBits) << c.baud;
    EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.flow == fcHardWare) << c.baud;
    EXPECT_EQ((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF), c.flow == fcXonXoff) << c.baud;
    EXPECT_EQ(t.c_cc[VSTART] * 256 + t.c_cc[VSTOP], 0x1B1A) << c.baud;
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u) << c.baud;
  }
}

TEST_F(ZrSerialIo, RefusedUpdateLeavesAConnectedPortWithoutDevice) {
  EXPECT_EQ(failureOf(newSerial()->UpdateDCB()), "SetCommState function failed");  // never opened
  port->put_DataBits(static_cast<TDataBits>(9));
  EXPECT_EQ(failureOf(port->UpdateDCB()), "SetCommState function failed");
  EXPECT_FALSE(port->EventWatcherRunning());  // stopped before the device went
  uint8_t buf[4] = {};
  VARIANT_BOOL ok = -1, connected = 0;
  LONG n = -1;
  EXPECT_EQ(failureOf(port->Send(reinterpret_cast<PTRBUF>(buf), 4, &ok)), "WriteFile function failed");
  EXPECT_EQ(failureOf(port->SendStr(zr::com::Bstr(u"").get(), &ok)), "WriteFile function failed");
  EXPECT_EQ(ok, 0);  // an empty text is no success on a port without its device
  EXPECT_EQ(failureOf(port->Recv(reinterpret_cast<PTRBUF>(buf), 4, &n)), "ReadFile function failed");
  EXPECT_EQ(failureOf(port->WaitForData(50, &n)), "ClearCommError function failed");
  EXPECT_EQ(failureOf(port->ClearBuf()), "PurgeComm function failed");
  EXPECT_EQ(failureOf(port->UpdateDCB()), "SetCommState function failed");
  port->get_Connected(&connected);
  EXPECT_EQ(connected, 1);
  EXPECT_EQ(port->Close(), S_OK);
  port->put_DataBits(dbEight);
  EXPECT_EQ(failureOf(port->Open()), "");
}

TEST_F(ZrSerialIo, TransfersHonourTheirLengths) {
  const char frame[] = "\x68\x11\x22\x33\x44\x55\x66\x68\x11\x04\x33\x33\x34\x33";
  const std::tuple<LONG, VARIANT_BOOL, size_t> sends[] = {{14, 1, 14}, {0, 1, 0}, {-1, 0, 0}};
  for (const auto& [len, result, written] : sends) {
    VARIANT_BOOL ok = -5;
    ASSERT_EQ(port->Send(reinterpret_cast<PTRBUF>(frame), len, &ok), S_OK);
    EXPECT_EQ(ok, result) << len;
    EXPECT_EQ(pty.receive(14, 20).size(), written) << len;
  }
  // The whole converted text goes out, then the result is 1; an empty text sends nothing.
  for (const auto& [chars, bytes] :
       {std::pair{std::u16string(u"a\u4E2Db"), Bytes{'a', 0xE4, 0xB8, 0xAD, 'b'}}, std::pair{std::u16string(), Bytes{}}}) {
    VARIANT_BOOL ok = 0;
    ASSERT_EQ(failureOf(port->SendStr(zr::com::Bstr(chars).get(), &ok)), "");
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(pty.receive(bytes.size(), 20), bytes);
  }
  zr::com::Bstr text;
  char in[8] = {};
  LONG n = -1;
  port->Recv(reinterpret_cast<PTRBUF>(in), 8, &n);
  EXPECT_EQ(n, 0);  // nothing received: at once
  farEndSends(std::string("\x01\x02\x03\x00\xC3\xA9\xFF", 7));
  port->Recv(reinterpret_cast<PTRBUF>(in), -3, &n);
  EXPECT_EQ(n, 0);
  port->Recv(reinterpret_cast<PTRBUF>(in), 2, &n);
  EXPECT_EQ(n, 2);
  port->RecvStr(text.put());
  // UTF-8 text comes through as its characters; a byte that is no UTF-8 is U+FFFD.
  EXPECT_EQ(text.str(), std::u16string(u"\x03\0\u00E9\uFFFD", 4));
}

// How soon a wait must see a byte that arrives while it waits: well inside one 20 ms step.
constexpr long kPromptMs = 10;

struct FarEndAnswer {
  zr::test::PtyPair* pty;
  std::chrono::steady_clock::time_point sentAt;
};

zr::msg::LRESULT answerProc(zr::msg::HWND, zr::msg::UINT, zr::msg::WPARAM w, zr::msg::LPARAM) {
  auto* answer = reinterpret_cast<FarEndAnswer*>(w);
  answer->sentAt = std::chrono::steady_clock::now();
  answer->pty->send("!");
  return 0;
}

zr::msg::LRESULT stopProc(zr::msg::HWND, zr::msg::UINT, zr::msg::WPARAM w, zr::msg::LPARAM) {
  reinterpret_cast<CZrSerial*>(w)->Stop();
  return 0;
}

TEST_F(ZrSerialIo, WaitForDataEndsAtOnceOnTimeOnInputOrOnStop) {
  LONG n = -1;
  for (LONG timeout : {0, -1}) {
    auto t0 = std::chrono::steady_clock::now();
    port->WaitForData(timeout, &n);
    EXPECT_EQ(n, 0);
    EXPECT_LT(msSince(t0), 15);
  }
  auto t0 = std::chrono::steady_clock::now();
  port->WaitForData(60, &n);
  EXPECT_EQ(n, 0);
  EXPECT_GE(msSince(t0), 60 - kTickSlackMs);

  // The far end answers from a message the wait dispatches, so the byte comes mid-wait; the
  // wait sees it at once, not at the end of its 20 ms step.
  FarEndAnswer answer{&pty, {}};
  zr::msg::HWND answering = zr::msg::createWindow("ZrSerialTest", answerProc);
  zr::msg::postMessage(answering, zr::msg::WM_USER, reinterpret_cast<zr::msg::WPARAM>(&answer), 0);
  port->WaitForData(5000, &n);
  EXPECT_EQ(n, 1);
  EXPECT_LT(msSince(answer.sentAt), kPromptMs);
  zr::msg::destroyWindow(answering);
  port->ClearBuf();

  // Stop comes from a message the wait dispatches; with Blocking nothing is dispatched.
  zr::msg::HWND w = zr::msg::createWindow("ZrSerialTest", stopProc);
  for (VARIANT_BOOL blocking : {VARIANT_FALSE, VARIANT_TRUE}) {
    port->put_Blocking(blocking);
    zr::msg::postMessage(w, zr::msg::WM_USER, reinterpret_cast<zr::msg::WPARAM>(port.get()), 0);
    t0 = std::chrono::steady_clock::now();
    port->WaitForData(blocking ? 40 : 5000, &n);
    EXPECT_EQ(n, 0);
    long spent = msSince(t0);
    EXPECT_TRUE(blocking ? spent >= 40 - kTickSlackMs : spent < 2500) << spent;
  }
  zr::msg::destroyWindow(w);
}

TEST_F(ZrSerialIo, RecvWaitPartialOverfullAndNothingAsked) {
  uint8_t buf[16] = {};
  LONG n = -1;
  farEndSends(std::string("\x01\x02\x03\x04", 4));
  for (auto [len, timeout] : {std::pair{0, 100}, std::pair{10, 0}, std::pair{-1, 100}}) {
    port->RecvWait(reinterpret_cast<PTRBUF>(buf), len, timeout, &n);
    EXPECT_EQ(n, 0);
  }
  EXPECT_EQ(inputCount(), 4);
  auto t0 = std::chrono::steady_clock::now();
  port->RecvWait(reinterpret_cast<PTRBUF>(buf), 10, 60, &n);
  EXPECT_EQ(n, 4);  // after the next wait ran out
  EXPECT_GE(msSince(t0), 60 - kTickSlackMs);
  EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{1, 2, 3, 4}));
  farEndSends("abcdefghijklmno");
  port->RecvWait(reinterpret_cast<PTRBUF>(buf), 10, 60, &n);
  EXPECT_EQ(n, 10);
  EXPECT_EQ(std::string(buf, buf + 10), "abcdefghij");
  EXPECT_EQ(inputCount(), 5);
}

TEST_F(ZrSerialIo, AReadIntoNoBufferFailsAndLeavesTheBytesWaiting) {
  farEndSends("abc");
  LONG n = -1;
  const std::function<HRESULT()> reads[] = {[&] { return port->Recv(0, 3, &n); },
                                            [&] { return port->RecvWait(0, 3, 50, &n); }};
  for (const auto& read : reads) {
    EXPECT_EQ(failureOf(read()), "ReadFile function failed");
    EXPECT_EQ(n, 0);
  }
  char in[4] = {};
  ASSERT_EQ(failureOf(port->Recv(reinterpret_cast<PTRBUF>(in), 4, &n)), "");
  EXPECT_EQ(std::string(in, static_cast<size_t>(n)), "abc");
}

TEST_F(ZrSerialIo, CloseKeepsWhatWasWritten) {
  Bytes out(600);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 3);
  EXPECT_EQ(port->WritePort(out.data(), 600), 600u);
  port->Close();
  EXPECT_EQ(pty.receive(out.size()), out);
}

}  // namespace
}  // namespace kavlink::test
