// The IEC control against the simulated meter on a pseudo-terminal: readout in modes A, B
// and C, programming connections, batches, faults of the meter, busy refusal and events.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "com/com_ptr.h"
#include "iec62056/zr_iec62056_21.h"
#include "sim/iec_meter.h"
#include "sim/pty_pair.h"
#include "support/event_sink.h"
#include "text/ansi.h"

using namespace kavlink;
using namespace std::string_literals;
using zr::com::Bstr;
using zr::com::ComPtr;

namespace {

const std::string kReadoutText =
    "\x02"
    "0.0.0(12345678)\r\n1.8.0(001234.5*kWh)\r\n32.7.0(230.1*V)\r\n!\r\n\x03"s;
const std::string kPassword = "\x01P1\x02(00000000)\x03\x61"s;
const std::string kBreak =
    "\x01"
    "B0\x03\x71"s;

std::string text(BSTR b) { return zr::text::wideToAnsi(zr::com::bstrView(b)); }
Bstr wide(const std::string& s) { return Bstr(zr::text::ansiToWide(s)); }
std::string str(const sim::IecBytes& b) { return std::string(b.begin(), b.end()); }

std::string errorText(HRESULT h) {
  ComPtr<IErrorInfo> info;
  if (h != DISP_E_EXCEPTION || GetErrorInfo(0, info.put()) != S_OK) return "no error info";
  Bstr desc, source;
  info->GetDescription(desc.put());
  info->GetSource(source.put());
  EXPECT_EQ(source.view(), u"kavlink.ZrIEC62056_21.1");
  return zr::text::wideToAnsi(desc.view());
}

class IecMeterLine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CZrIEC62056_21::createInstance(nullptr, IZrIEC62056_21::iid, control.putVoid()), S_OK);
    ASSERT_EQ(control->get_Serial(serial.put()), S_OK);
    serial->put_Port(wide(pty.slavePath()).get());
    control->put_DeviceAddress(Bstr(u"12345678").get());
    control->put_Password(Bstr(u"00000000").get());
    control->put_MsgTimeout(400);
    meter.setRegister("96.1.0", "00000001");
  }
  void TearDown() override {
    peer.stop();
    serial->Close();
  }
  LONG lastError() {
    LONG e = -1;
    control->GetLastError(&e);
    return e;
  }
  bool connected() {
    VARIANT_BOOL c = 0;
    serial->get_Connected(&c);
    return c != 0;
  }
  LONG baud() {
    TBaudRate r{};
    serial->get_BaudRate(&r);
    return r;
  }
  VARIANT_BOOL readout(std::string& out) {
    Bstr msg;
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(control->DataReadout(msg.put(), &ok), S_OK);
    out = text(msg.get());
    return ok;
  }
  VARIANT_BOOL progBegin() {
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(control->ProgBegin(&ok), S_OK);
    return ok;
  }

  sim::PtyPair pty;
  sim::IecMeter meter;
  sim::IecMeterOnFd peer{meter, pty.master()};
  ComPtr<IZrIEC62056_21> control;
  ComPtr<IZrSerial> serial;
};

}  // namespace

TEST_F(IecMeterLine, ReadoutInEachMode) {
  struct Row {
    char baudChar;
    std::vector<int> meterSpeeds;
    LONG rateAfter;
    std::string sent;
  } rows[] = {
      {'5',
       {9600},
       9600,
       "/?12345678!\r\n\x06"
       "050\r\n"},
      {'3',
       {2400},
       2400,
       "/?12345678!\r\n\x06"
       "030\r\n"},
      {'E', {9600}, 9600, "/?12345678!\r\n"},
      {'Z', {}, 300, "/?12345678!\r\n"},
  };
  size_t before = 0;
  for (const Row& r : rows) {
    meter.setBaudChar(r.baudChar);
    const size_t speedsBefore = meter.speeds().size();
    std::string msg;
    EXPECT_EQ(readout(msg), 1) << r.baudChar << " error " << lastError();
    EXPECT_EQ(msg, kReadoutText) << r.baudChar;
    auto speeds = meter.speeds();
    EXPECT_EQ(std::vector<int>(speeds.begin() + static_cast<long>(speedsBefore), speeds.end()), r.meterSpeeds);
    // The port was switched to the rate the identification named; a pseudo-terminal has
    // no rate, so the request is what the serial object reports.
    EXPECT_EQ(baud(), r.rateAfter) << r.baudChar;
    EXPECT_FALSE(connected());
    const std::string wire = str(peer.received());
    EXPECT_EQ(wire.substr(before), r.sent) << r.baudChar;
    before = wire.size();
  }
}

TEST_F(IecMeterLine, EmptyAddressIsAnsweredAndAForeignOneIsNot) {
  control->put_DeviceAddress(Bstr(u"").get());
  std::string msg;
  EXPECT_EQ(readout(msg), 1);
  control->put_DeviceAddress(Bstr(u"999").get());
  EXPECT_EQ(readout(msg), 0);
  EXPECT_EQ(lastError(), 1);
}

TEST_F(IecMeterLine, ReadoutFaults) {
  struct Row {
    const char* name;
    sim::IecMeterFaults faults;
    VARIANT_BOOL ok;
    LONG error;
  } rows[] = {
      {"silent", {.silent = true}, 0, 1},
      {"wrong BCC", {.badBcc = true}, 0, 5},
      {"slow", {.delayMs = 150}, 1, 0},
      {"in pieces", {.chunkSize = 3, .chunkGapMs = 5}, 1, 0},
  };
  for (const Row& r : rows) {
    meter.setFaults(r.faults);
    std::string msg;
    EXPECT_EQ(readout(msg), r.ok) << r.name;
    if (!r.ok) {
      EXPECT_EQ(lastError(), r.error) << r.name;
    } else {
      EXPECT_EQ(msg, kReadoutText) << r.name;
    }
  }
}

TEST_F(IecMeterLine, ProgrammingConnection) {
  ASSERT_EQ(progBegin(), 1) << lastError();
  EXPECT_TRUE(connected());
  EXPECT_EQ(baud(), 9600);
  EXPECT_TRUE(meter.inProgrammingMode());
  EXPECT_EQ(str(peer.received()),
            "/?12345678!\r\n\x06"
            "051\r\n" +
                kPassword);

  VARIANT_BOOL ok = 7;
  ASSERT_EQ(control->ProgWrite(Bstr(u"96.1.0(12345678)junk").get(), &ok), S_OK);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(meter.registerValue("96.1.0"), "12345678");
  Bstr reply;
  ASSERT_EQ(control->ProgRead(Bstr(u"96.1.0()").get(), reply.put(), &ok), S_OK);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(text(reply.get()),
            "\x02"
            "96.1.0(12345678)\x03"s);
  ASSERT_EQ(control->ProgExec(Bstr(u"C.9.9(1)").get(), &ok), S_OK);
  EXPECT_EQ(ok, 1);
  ASSERT_EQ(control->ProgEnd(), S_OK);
  EXPECT_FALSE(connected());

  auto commands = meter.commands();
  ASSERT_EQ(commands.size(), 5u);
  EXPECT_EQ(str(commands[1]),
            "\x01W2\x02"
            "96.1.0(12345678)\x03\x63"s);
  EXPECT_EQ(str(commands[2]),
            "\x01R2\x02"
            "96.1.0()\x03\x6e"s);
  EXPECT_EQ(str(commands[4]), kBreak);
  EXPECT_TRUE(testhost::waitUntil([&] { return !meter.inProgrammingMode(); }));
}

TEST_F(IecMeterLine, CommandsWithoutAConnectionAndProgEndOnAClosedPort) {
  const size_t before = peer.received().size();
  EXPECT_EQ(control->ProgEnd(), S_OK);
  VARIANT_BOOL ok = 7;
  EXPECT_EQ(errorText(control->ProgWrite(Bstr(u"1(2)").get(), &ok)), "WriteFile function failed");
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(peer.received().size(), before);
}

TEST_F(IecMeterLine, ProgrammingFaults) {
  struct Row {
    const char* name;
    bool read;
    sim::IecMeterFaults faults;
    LONG error;
    bool breakFollows;
  } rows[] = {
      {"write: meter breaks off", false, {.breakOnCommand = true}, 4, false},
      {"write: three NAKs", false, {.nakReplies = 3}, 6, true},
      {"read: wrong BCC", true, {.badBcc = true}, 5, true},
      {"read: error message", true, {.errorOnRead = true}, 2, true},
      {"read: silence", true, {.silent = true}, 1, false},
  };
  for (const Row& r : rows) {
    meter.setFaults({});
    ASSERT_EQ(progBegin(), 1) << r.name;
    meter.setFaults(r.faults);
    const size_t before = peer.received().size();
    VARIANT_BOOL ok = 7;
    Bstr reply;
    ASSERT_EQ(r.read ? control->ProgRead(Bstr(u"96.1.0()").get(), reply.put(), &ok)
                     : control->ProgWrite(Bstr(u"96.1.0(5)").get(), &ok),
              S_OK);
    EXPECT_EQ(ok, 0) << r.name;
    EXPECT_EQ(lastError(), r.error) << r.name;
    EXPECT_FALSE(connected()) << r.name;
    const std::string sent = str(peer.received()).substr(before);
    EXPECT_EQ(sent.size() >= kBreak.size() && sent.compare(sent.size() - kBreak.size(), kBreak.size(), kBreak) == 0,
              r.breakFollows)
        << r.name;
  }
  meter.setFaults({});
}

TEST_F(IecMeterLine, PortThatFailsPartWayIsClosedWithTheReceiveLimitAtItsDefault) {
  // Smaller than the identification: a sign-on that gets it in pieces passes only at the
  // default limit.
  control->put_MsgMaxLen(12);
  control->put_SwitchBaudDelay(50);
  meter.setRegister("P.01", "1)(2)(3");
  struct Row {
    const char* what;
    bool programming;        // runs inside a programming connection
    std::u16string shownAt;  // the line goes when OnComm shows a text that starts so
    bool rateRefusedOnly;    // else the port loses its device at once
    std::function<HRESULT(BSTR*, VARIANT_BOOL*)> run;
    std::string failure;
  } rows[] = {
      {"readout: the new rate is refused", false, u"[ACK]", true,
       [&](BSTR* msg, VARIANT_BOOL* ok) { return control->DataReadout(msg, ok); }, "SetCommState function failed"},
      {"read: the line fails between blocks", true, u"[STX]", false,
       [&](BSTR* msg, VARIANT_BOOL* ok) { return control->ProgRead(Bstr(u"P.01()").get(), msg, ok); },
       "WriteFile function failed"},
  };
  testhost::EventSink sink;
  ASSERT_TRUE(sink.advise(control.get(), _IZrIEC62056_21Events::iid));
  const Row* armed = nullptr;
  sink.onEvent = [&](DISPID id, DISPPARAMS* p) {
    if (!armed || id != _IZrIEC62056_21Events::kOnComm) return;
    if (!zr::com::bstrView(p->rgvarg[1].bstrVal).starts_with(armed->shownAt)) return;
    // Nine data bits: a setting no line takes.
    serial->put_DataBits(static_cast<TDataBits>(9));
    if (!armed->rateRefusedOnly) serial->UpdateDCB();
    armed = nullptr;
  };
  for (const Row& r : rows) {
    meter.setFaults({.readBlockSize = 6});
    if (r.programming) {
      ASSERT_EQ(progBegin(), 1) << r.what;
    }
    armed = &r;
    Bstr msg;
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(errorText(r.run(msg.put(), &ok)), r.failure) << r.what;
    EXPECT_FALSE(connected()) << r.what;
    serial->put_DataBits(dbSeven);
    meter.setFaults({.chunkSize = 3, .chunkGapMs = 30});
    EXPECT_EQ(progBegin(), 1) << r.what << ", error " << lastError();
    control->ProgEnd();
  }
  sink.unadvise();
}

TEST_F(IecMeterLine, WrongPasswordIsRefusedAfterFourSends) {
  control->put_Password(Bstr(u"99999999").get());
  EXPECT_EQ(progBegin(), 0);
  EXPECT_EQ(lastError(), 2);
  EXPECT_FALSE(connected());
  size_t sends = 0;
  for (const auto& c : meter.commands()) sends += c.size() > 1 && c[1] == 'P';
  EXPECT_EQ(sends, 4u);
}

TEST_F(IecMeterLine, ReadInPartialBlocks) {
  meter.setRegister("P.01", "1)(2)(3");
  meter.setFaults({.readBlockSize = 6});
  ASSERT_EQ(progBegin(), 1);
  Bstr reply;
  VARIANT_BOOL ok = 7;
  ASSERT_EQ(control->ProgRead(Bstr(u"P.01()").get(), reply.put(), &ok), S_OK);
  EXPECT_EQ(ok, 1) << lastError();
  EXPECT_EQ(text(reply.get()), "\x02P.01(1)\x04\x02(2)(3)\x03"s);
}

TEST_F(IecMeterLine, BatchWriteSendsBlocksUnchangedAndEndsWithBreak) {
  ComPtr<IDataMsg> dm;
  ASSERT_EQ(control->GetNewIDataMsg(dm.put()), S_OK);
  dm->Add(Bstr(u"1.8.0(5)").get());
  dm->AddBlock(Bstr(u"2.8.0(6)(7").get());
  dm->Add(Bstr(u"8)").get());  // no data set: no group
  dm->Add(Bstr(u"3.8.0(9)").get());
  VARIANT_BOOL ok = 7;
  ASSERT_EQ(control->ProgBatWrite(dm.get(), &ok), S_OK);
  EXPECT_EQ(ok, 1) << lastError();
  auto commands = meter.commands();
  ASSERT_EQ(commands.size(), 5u);
  EXPECT_EQ(str(commands[1]),
            "\x01W2\x02"
            "1.8.0(5)\x03\x69"s);
  EXPECT_EQ(str(commands[2]),
            "\x01W2\x02"
            "2.8.0(6)(7\x04\x71"s);
  EXPECT_EQ(str(commands[3]),
            "\x01W2\x02"
            "3.8.0(9)\x03\x67"s);
  EXPECT_EQ(str(commands[4]), kBreak);
  EXPECT_EQ(meter.registerValue("1.8.0"), "5");
  EXPECT_FALSE(connected());
}

TEST_F(IecMeterLine, BatchReadAndExec) {
  ComPtr<IDataMsg> dm;
  control->GetNewIDataMsg(dm.put());
  Bstr joined;
  VARIANT_BOOL ok = 7;
  // An empty batch signs on and only says goodbye.
  ASSERT_EQ(control->ProgBatRead(dm.get(), joined.put(), &ok), S_OK);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(text(joined.get()), "");
  ASSERT_EQ(meter.commands().size(), 2u);
  EXPECT_EQ(str(meter.commands()[1]), kBreak);

  meter.setRegister("1.8.0", "5");
  dm->Add(Bstr(u"96.1.0()1.8.0()").get());
  ASSERT_EQ(control->ProgBatRead(dm.get(), joined.put(), &ok), S_OK);
  EXPECT_EQ(ok, 1) << lastError();
  EXPECT_EQ(text(joined.get()),
            "\x02"
            "96.1.0(00000001)\x03\x02"
            "1.8.0(5)\x03"s);
  ASSERT_EQ(control->ProgBatExec(dm.get(), &ok), S_OK);
  EXPECT_EQ(ok, 1);
}

TEST_F(IecMeterLine, BatchFailureStillEndsWithBreak) {
  ComPtr<IDataMsg> dm;
  control->GetNewIDataMsg(dm.put());
  dm->Add(Bstr(u"1.8.0(5)2.8.0(6)").get());
  // The meter breaks off at the first write (after the password): that command sends no
  // break of its own, and the batch still sends one before it closes.
  meter.setFaults({.breakOnCommand = true, .faultAfter = 1});
  VARIANT_BOOL ok = 7;
  ASSERT_EQ(control->ProgBatWrite(dm.get(), &ok), S_OK);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(lastError(), 4);
  const std::string sent = str(peer.received());
  ASSERT_GE(sent.size(), kBreak.size());
  EXPECT_EQ(sent.substr(sent.size() - kBreak.size()), kBreak);
  EXPECT_EQ(sent.find("2.8.0"), std::string::npos);
  EXPECT_FALSE(connected());
}

namespace {
// An IDataMsg of someone else's making.
struct ForeignDataMsg final : IDataMsg {
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    *ppv = riid == IUnknown::iid || riid == IDispatch::iid || riid == IDataMsg::iid ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  HRESULT Clear() override { return S_OK; }
  HRESULT Add(BSTR) override { return S_OK; }
  HRESULT AddBlock(BSTR) override { return S_OK; }
  HRESULT GetCount(LONG* n) override {
    *n = 1;
    return S_OK;
  }
  HRESULT GetGroup(LONG, BSTR*) override { return E_NOTIMPL; }
  HRESULT GetDI(LONG, BSTR*) override { return E_NOTIMPL; }
  HRESULT GetValue(LONG, BSTR*) override { return E_NOTIMPL; }
  HRESULT GetUnit(LONG, BSTR*) override { return E_NOTIMPL; }
};
}  // namespace

TEST_F(IecMeterLine, NullOrForeignDataMsgIsRefusedBeforeTheLineIsTouched) {
  ForeignDataMsg foreign;
  VARIANT_BOOL ok = 7;
  Bstr joined;
  EXPECT_EQ(control->ProgBatWrite(nullptr, &ok), E_POINTER);
  EXPECT_EQ(control->ProgBatRead(nullptr, joined.put(), &ok), E_POINTER);
  EXPECT_EQ(control->ProgBatExec(&foreign, &ok), E_INVALIDARG);
  EXPECT_EQ(control->ProgBatWrite(&foreign, &ok), E_INVALIDARG);
  EXPECT_EQ(ok, 0);
  EXPECT_TRUE(peer.received().empty());
  EXPECT_FALSE(connected());
}

TEST_F(IecMeterLine, EventsOnTheHostThreadAndANestedOperationIsRefused) {
  testhost::EventSink sink;
  ASSERT_TRUE(sink.advise(control.get(), _IZrIEC62056_21Events::iid));
  std::vector<std::thread::id> threads;
  HRESULT nested = S_OK;
  std::string nestedText;
  sink.onEvent = [&](DISPID, DISPPARAMS*) {
    threads.push_back(std::this_thread::get_id());
    if (threads.size() == 1) {
      Bstr msg;
      VARIANT_BOOL ok = 7;
      nested = control->DataReadout(msg.put(), &ok);
      nestedText = errorText(nested);
    }
  };
  std::string msg;
  EXPECT_EQ(readout(msg), 1);
  EXPECT_EQ(msg, kReadoutText);
  EXPECT_EQ(nested, DISP_E_EXCEPTION);
  EXPECT_EQ(nestedText, "Devices is communicating......");
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
  // Sent: request and acknowledgement; received: identification and readout; groups: 3.
  ASSERT_EQ(sink.count(_IZrIEC62056_21Events::kOnComm), 4u);
  ASSERT_EQ(sink.count(_IZrIEC62056_21Events::kOnDataGroup), 3u);
  EXPECT_EQ(std::u16string(zr::com::bstrView(sink.events[0].args[0].bstrVal)), u"/?12345678![CR][LF]");
  EXPECT_EQ(sink.events[0].args[1].boolVal, 1);
  std::vector<std::u16string> groups;
  for (auto& e : sink.events)
    if (e.id == _IZrIEC62056_21Events::kOnDataGroup) groups.emplace_back(zr::com::bstrView(e.args[0].bstrVal));
  EXPECT_EQ(groups, (std::vector<std::u16string>{u"0.0.0(12345678)", u"1.8.0(001234.5*kWh)", u"32.7.0(230.1*V)"}));
  sink.unadvise();
}
