// The DL/T 645 master against a simulated meter on a pseudo-terminal.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "com/com_ptr.h"
#include "com/dispatch.h"
#include "dlt645/zr_comm_dlt645.h"
#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"
#include "support/event_sink.h"
#include "support/outer_object.h"
#include "text/ansi.h"

using namespace zr::com;
using namespace kavlink;
using sim::Bytes;

namespace {

// The meter's answer to a read of 9010 at 000000012345: value 00 12 34 56, as on the wire.
const Bytes kReply9010 = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x81,
                          0x06, 0x43, 0xC3, 0x89, 0x67, 0x45, 0x33, 0x00, 0x16};

Bytes withChecksum(Bytes f) {
  uint8_t cs = 0;
  for (size_t i = 0; i + 2 < f.size(); ++i) cs = static_cast<uint8_t>(cs + f[i]);
  f[f.size() - 2] = cs;
  return f;
}

class Dlt645Master : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CZrCommDLT645::createInstance(nullptr, IZrCommDLT645::iid, control.putVoid()), S_OK);
    ASSERT_EQ(control->get_Serial(serial.put()), S_OK);
    serial->put_Port(Bstr(zr::text::ansiToWide(pty.slavePath())).get());
    ASSERT_EQ(serial->Open(), S_OK);
    control->put_WaitTimeout(300);
  }
  void TearDown() override {
    peer.stop();
    if (serial) serial->Close();
  }

  ComPtr<IFrame645> request(uint8_t di0 = 0x10, uint8_t di1 = 0x90) {
    ComPtr<IFrame645> f;
    EXPECT_EQ(control->GetNewIFrame645(f.put()), S_OK);
    f->put_Address(Bstr(u"12345").get());
    f->put_CtrlWord(0x01);
    f->put_DLen(2);
    f->put_Data(0, di0);
    f->put_Data(1, di1);
    return f;
  }

  // The meter's end sends the bytes; true once the port holds all of them.
  bool lineHolds(const Bytes& bytes) {
    peer.inject(bytes);
    return testhost::waitUntil([&] {
      LONG n = 0;
      serial->GetInputCount(&n);
      return n == static_cast<LONG>(bytes.size());
    });
  }

  static std::vector<BYTE> dataOf(IFrame645* f) {
    LONG n = 0;
    f->get_DLen(&n);
    std::vector<BYTE> d(static_cast<size_t>(n));
    for (LONG i = 0; i < n; ++i) f->get_Data(i, &d[static_cast<size_t>(i)]);
    return d;
  }

  sim::PtyPair pty;
  sim::Dlt645Meter meter;
  sim::MeterOnFd peer{meter, pty.master()};
  ComPtr<IZrCommDLT645> control;
  ComPtr<IZrSerial> serial;
};

}  // namespace

TEST(Dlt645MeterSim, AnswersTheReadRequestWithTheBytesOnTheWire) {
  sim::Dlt645Meter m;
  const Bytes req = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x01, 0x02, 0x43, 0xC3, 0x42, 0x16};
  auto replies = m.feed(req.data(), req.size());
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0], withChecksum(kReply9010));
}

TEST(Dlt645MeterSim, BroadcastRequestsAreAnsweredFromTheConfiguredAddress) {
  const Bytes readIdRequest = {0x68, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x68, 0x01, 0x02, 0x65, 0xF3, 0xC1, 0x16};
  const Bytes readEnergyRequest = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x01, 0x02, 0x43, 0xC3, 0x42, 0x16};
  // Meter number C032 = 000000012345, value bytes lowest first.
  const Bytes idFromOwn = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x81, 0x08,
                           0x65, 0xF3, 0x78, 0x56, 0x34, 0x33, 0x33, 0x33, 0xB5, 0x16};
  const Bytes idFromBroadcast = {0x68, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x68, 0x81, 0x08,
                                 0x65, 0xF3, 0x78, 0x56, 0x34, 0x33, 0x33, 0x33, 0xE2, 0x16};
  const Bytes energyFromOwn = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x81,
                               0x06, 0x43, 0xC3, 0x89, 0x67, 0x45, 0x33, 0x2E, 0x16};
  struct Row {
    const char* what;
    std::optional<std::string> broadcastFrom;
    Bytes request;
    Bytes reply;
  };
  const Row rows[] = {
      {"broadcast, default", std::nullopt, readIdRequest, idFromOwn},
      {"broadcast, echoed address", "999999999999", readIdRequest, idFromBroadcast},
      {"own address, echo set", "999999999999", readEnergyRequest, energyFromOwn},
  };
  for (const Row& r : rows) {
    sim::Dlt645Meter m;
    m.setBroadcastReplyAddress(r.broadcastFrom);
    auto replies = m.feed(r.request.data(), r.request.size());
    ASSERT_EQ(replies.size(), 1u) << r.what;
    EXPECT_EQ(replies[0], r.reply) << r.what;
  }
}

TEST_F(Dlt645Master, CommReturnsTheReply) {
  ComPtr<IFrame645> reply;
  ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK);
  ASSERT_TRUE(reply);
  BYTE c = 0;
  reply->get_CtrlWord(&c);
  EXPECT_EQ(c, 0x81);
  EXPECT_EQ(dataOf(reply.get()), (std::vector<BYTE>{0x10, 0x90, 0x56, 0x34, 0x12, 0x00}));
  Bstr a;
  reply->get_Address(a.put());
  EXPECT_EQ(a.view(), u"000000012345");
}

TEST_F(Dlt645Master, SilentMeterGetsEveryAttemptAndNullResult) {
  meter.setFaults({.silent = true});
  control->put_AttemptTimes(3);
  control->put_WaitTimeout(40);
  ComPtr<IFrame645> reply;
  ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK);
  EXPECT_FALSE(reply);
  EXPECT_TRUE(testhost::waitUntil([&] { return meter.requestCount() >= 3; }));
  EXPECT_EQ(meter.requestCount(), 3u);
}

TEST_F(Dlt645Master, NoAttemptsWriteNothing) {
  control->put_AttemptTimes(0);
  ComPtr<IFrame645> reply;
  ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK);
  EXPECT_FALSE(reply);
  // A marker request sent afterwards is the first the meter sees.
  VARIANT_BOOL sent = 0;
  ASSERT_EQ(control->Send(request(0x20, 0x90).get(), &sent), S_OK);
  EXPECT_EQ(sent, 1);
  ASSERT_TRUE(testhost::waitUntil([&] { return meter.requestCount() >= 1; }));
  EXPECT_EQ(meter.requests().front().data[0], 0x20);
}

TEST_F(Dlt645Master, PreambleBecomesTheFragment) {
  meter.setFaults({.preamble = 4});
  ComPtr<IFrame645> reply;
  ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK);
  ASSERT_TRUE(reply);
  Bstr frag;
  reply->GetFragment(frag.put());
  EXPECT_EQ(frag.view(), u"FE FE FE FE");
}

TEST_F(Dlt645Master, WrongChecksumIsDroppedUnlessCheckingIsOff) {
  meter.setFaults({.badChecksum = true});
  ComPtr<IFrame645> reply;
  ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK);
  EXPECT_FALSE(reply);
  control->SetCheckCS(0);
  ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK);
  ASSERT_TRUE(reply);
  EXPECT_EQ(dataOf(reply.get())[2], 0x56);
}

TEST_F(Dlt645Master, GoodFrameBehindABadOneInTheSameBurstIsFoundAtOnce) {
  Bytes bad = withChecksum(kReply9010);
  bad[16] = static_cast<uint8_t>(bad[16] + 1);
  meter.setFaults({.noise = bad});
  control->put_WaitTimeout(200);  // nothing follows the burst: only an immediate search finds it
  ComPtr<IFrame645> reply;
  ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK);
  ASSERT_TRUE(reply);
  EXPECT_EQ(dataOf(reply.get())[2], 0x56);
}

TEST_F(Dlt645Master, ReplyInPiecesAndLateReplyForALaterAttempt) {
  meter.setFaults({.chunkSize = 3, .chunkGapMs = 5});
  ComPtr<IFrame645> reply;
  ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK);
  EXPECT_TRUE(reply);

  meter.setFaults({.delayMs = 120});
  control->put_WaitTimeout(80);
  control->put_AttemptTimes(3);
  ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK);
  EXPECT_TRUE(reply);
}

TEST_F(Dlt645Master, CommDropsWhatCameBeforeItAndKeepsWhatCameForAnEarlierAttempt) {
  Bytes stale = kReply9010;
  stale[12] = 0x34;  // value byte 0x01
  struct Row {
    const char* what;
    Bytes before;  // on the line when Comm starts
    sim::MeterFaults faults;
    LONG attempts;
  } rows[] = {
      {"a reply left from an earlier exchange", withChecksum(stale), {}, 1},
      // The first half answers the first attempt; the rest comes only after the second
      // attempt was sent.
      {"a reply spread over two attempts", {}, {.chunkSize = 9, .chunkGapMs = 320}, 2},
  };
  control->put_WaitTimeout(200);
  for (const Row& r : rows) {
    meter.setFaults(r.faults);
    control->put_AttemptTimes(r.attempts);
    ASSERT_TRUE(lineHolds(r.before)) << r.what;
    ComPtr<IFrame645> reply;
    ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK) << r.what;
    ASSERT_TRUE(reply) << r.what;
    EXPECT_EQ(dataOf(reply.get())[2], 0x56) << r.what;
  }
}

TEST_F(Dlt645Master, TwoRepliesInOneBurstThenRecvReturnsTheSecondFromTheBuffer) {
  meter.setFaults({.twice = true});
  VARIANT_BOOL sent = 0;
  control->Send(request().get(), &sent);
  ComPtr<IFrame645> first, second;
  ASSERT_EQ(control->Recv(first.put()), S_OK);
  ASSERT_TRUE(first);
  peer.stop();  // nothing more can arrive
  ASSERT_EQ(control->Recv(second.put()), S_OK);
  ASSERT_TRUE(second);
  EXPECT_EQ(dataOf(second.get()), dataOf(first.get()));
}

TEST_F(Dlt645Master, SecondFrameOfABurstIsTakenFromTheBufferWithoutWaiting) {
  Bytes first = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x81,
                 0x06, 0x43, 0xC3, 0x89, 0x67, 0x45, 0x33, 0x2E, 0x16};
  // The same reply with the lowest value byte 0x01 (0x34 on the wire).
  const Bytes second = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x81,
                        0x06, 0x43, 0xC3, 0x34, 0x67, 0x45, 0x33, 0xD9, 0x16};
  first.insert(first.end(), second.begin(), second.end());
  ASSERT_TRUE(lineHolds(first));
  ComPtr<IFrame645> a, b;
  ASSERT_EQ(control->Recv(a.put()), S_OK);
  ASSERT_TRUE(a);
  EXPECT_EQ(dataOf(a.get())[2], 0x56);
  // With no time to wait at all, only a frame already in the buffer can come back.
  control->put_WaitTimeout(0);
  ASSERT_EQ(control->Recv(b.put()), S_OK);
  ASSERT_TRUE(b);
  EXPECT_EQ(dataOf(b.get())[2], 0x01);
  ASSERT_EQ(control->Recv(b.put()), S_OK);
  EXPECT_FALSE(b);
}

TEST_F(Dlt645Master, NoiseThatFillsTheBufferClearsIt) {
  meter.setFaults({.silent = true});
  control->put_WaitTimeout(500);
  Bytes noise(2100, 0x55);
  peer.inject(noise);
  ComPtr<IFrame645> reply;
  ASSERT_EQ(control->Recv(reply.put()), S_OK);
  EXPECT_FALSE(reply);
  // The receive side is empty afterwards: a clean reply is read normally.
  meter.setFaults({});
  ASSERT_EQ(control->Comm(request().get(), reply.put()), S_OK);
  EXPECT_TRUE(reply);
}

TEST_F(Dlt645Master, NullFrameIsAComError) {
  VARIANT_BOOL sent = 7;
  EXPECT_EQ(control->Send(nullptr, &sent), DISP_E_EXCEPTION);
  EXPECT_EQ(sent, 0);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  Bstr desc;
  info->GetDescription(desc.put());
  EXPECT_EQ(desc.view(), u"IFrame645 interface is null");
  ComPtr<IFrame645> reply;
  EXPECT_EQ(control->Comm(nullptr, reply.put()), DISP_E_EXCEPTION);
}

namespace {
struct NestedCall {
  IZrCommDLT645* control = nullptr;
  IFrame645* frame = nullptr;
  HRESULT hr = S_OK;
  std::u16string source, description;
  bool ran = false;
};
NestedCall* g_nested = nullptr;

zr::msg::LRESULT nestedProc(zr::msg::HWND, zr::msg::UINT msg, zr::msg::WPARAM, zr::msg::LPARAM) {
  if (msg != zr::msg::WM_USER + 7 || !g_nested) return 0;
  ComPtr<IFrame645> reply;
  g_nested->hr = g_nested->control->Comm(g_nested->frame, reply.put());
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) == S_OK) {
    Bstr s, d;
    info->GetSource(s.put());
    info->GetDescription(d.put());
    g_nested->source = s.str();
    g_nested->description = d.str();
  }
  g_nested->ran = true;
  return 1;
}
}  // namespace

TEST_F(Dlt645Master, NestedCommFromAMessageIsRefusedAndTheOuterCompletes) {
  meter.setFaults({.delayMs = 100});
  control->put_WaitTimeout(1000);
  auto frame = request();
  NestedCall nested{control.get(), frame.get()};
  g_nested = &nested;
  zr::msg::HWND w = zr::msg::createWindow("TestWindow", &nestedProc);
  ASSERT_TRUE(zr::msg::postMessage(w, zr::msg::WM_USER + 7, 0, 0));
  ComPtr<IFrame645> reply;
  ASSERT_EQ(control->Comm(frame.get(), reply.put()), S_OK);
  zr::msg::destroyWindow(w);
  g_nested = nullptr;
  EXPECT_TRUE(reply);
  ASSERT_TRUE(nested.ran);
  EXPECT_EQ(nested.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(nested.source, u"kavlink.ZrCommDLT645.1");
  EXPECT_EQ(nested.description, u"Devices is communicating......");
}

TEST_F(Dlt645Master, AutoReceiveDeliversEachFrameOfABurstAndNeverRxChar) {
  testhost::EventSink sink;
  ASSERT_TRUE(sink.advise(control.get(), _IZrCommDLT645Events::iid));
  std::vector<std::vector<BYTE>> seen;
  std::vector<IDispatch*> objects;
  sink.onEvent = [&](DISPID id, DISPPARAMS* p) {
    if (id != _IZrCommDLT645Events::kOnRecvFrame) return;
    ComPtr<IFrame645> f = ComPtr<IDispatch>(p->rgvarg[0].pdispVal).as<IFrame645>();
    seen.push_back(dataOf(f.get()));
    objects.push_back(p->rgvarg[0].pdispVal);
  };
  control->put_AutoReceive(-1);
  Bytes two = withChecksum(kReply9010);
  Bytes other = two;
  other[12] = 0x34;  // value byte 0x01
  other = withChecksum(other);
  two.insert(two.end(), other.begin(), other.end());
  peer.inject(two);
  ASSERT_TRUE(testhost::pumpUntil([&] { return seen.size() >= 2; }));
  EXPECT_EQ(seen[0][2], 0x56);
  EXPECT_EQ(seen[1][2], 0x01);
  EXPECT_EQ(objects[0], objects[1]);
  for (const auto& e : sink.events) {
    if (e.id == _IZrCommDLT645Events::kOnSerialEvent) {
      EXPECT_NE(e.args[0].lVal, 1) << "RXCHAR reached OnSerialEvent";
    }
  }
  sink.unadvise();
}

TEST_F(Dlt645Master, PortFailureInsideAutoReceiveEndsThatEventQuietly) {
  testhost::EventSink sink;
  ASSERT_TRUE(sink.advise(control.get(), _IZrCommDLT645Events::iid));
  std::vector<BYTE> values;
  sink.onEvent = [&](DISPID id, DISPPARAMS* p) {
    if (id != _IZrCommDLT645Events::kOnRecvFrame) return;
    ComPtr<IFrame645> f = ComPtr<IDispatch>(p->rgvarg[0].pdispVal).as<IFrame645>();
    values.push_back(dataOf(f.get())[2]);
    // The host closes the port after the first frame: the handler's next look at the
    // port fails while the second frame of the burst still waits in the buffer.
    if (values.size() == 1) serial->Close();
  };
  control->put_AutoReceive(-1);
  Bytes burst = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x81, 0x06, 0x43, 0xC3,
                 0x89, 0x67, 0x45, 0x33, 0x2E, 0x16, 0x68, 0x45, 0x23, 0x01, 0x00, 0x00,
                 0x00, 0x68, 0x81, 0x06, 0x43, 0xC3, 0x34, 0x67, 0x45, 0x33, 0xD9, 0x16};
  ASSERT_TRUE(lineHolds(burst));
  ASSERT_TRUE(testhost::pumpUntil([&] { return !values.empty(); }));
  EXPECT_EQ(values, std::vector<BYTE>{0x56});

  // The next event starts afresh: the frame left behind comes first, then the new one.
  ASSERT_EQ(serial->Open(), S_OK);
  const Bytes third = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x81,
                       0x06, 0x43, 0xC3, 0x35, 0x67, 0x45, 0x33, 0xDA, 0x16};
  peer.inject(third);
  ASSERT_TRUE(testhost::pumpUntil([&] { return values.size() >= 3; }));
  EXPECT_EQ(values, (std::vector<BYTE>{0x56, 0x01, 0x02}));
  sink.unadvise();
}

TEST_F(Dlt645Master, WithoutAutoReceiveRxCharGoesToOnSerialEvent) {
  testhost::EventSink sink;
  ASSERT_TRUE(sink.advise(control.get(), _IZrCommDLT645Events::iid));
  peer.inject(withChecksum(kReply9010));
  ASSERT_TRUE(testhost::pumpUntil([&] { return sink.count(_IZrCommDLT645Events::kOnSerialEvent) > 0; }));
  EXPECT_EQ(sink.events[0].args[0].vt, VT_I4);
  EXPECT_EQ(sink.events[0].args[0].lVal, 1);
  sink.unadvise();
}

TEST(Dlt645Persistence, NewControlSavesTheKnownBytesAndLoadsThem) {
  ComPtr<IZrCommDLT645> c;
  ASSERT_EQ(CZrCommDLT645::createInstance(nullptr, IZrCommDLT645::iid, c.putVoid()), S_OK);
  ComPtr<IPersistStreamInit> p = c.as<IPersistStreamInit>();
  ComPtr<IStream> s;
  CreateMemoryStream(s.put());
  ASSERT_EQ(p->Save(s.get(), TRUE), S_OK);
  const uint8_t expected[] = {0x00, 0x0E, 0x00, 0x00, 0x4F, 0x03, 0x00, 0x00, 0x4F, 0x03, 0x00,
                              0x00, 0x13, 0x00, 0x88, 0x13, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00};
  STATSTG st{};
  s->Stat(&st, 0);
  ASSERT_EQ(st.cbSize, sizeof expected);
  s->Seek(0, STREAM_SEEK_SET, nullptr);
  uint8_t got[sizeof expected];
  ULONG n = 0;
  s->Read(got, sizeof got, &n);
  EXPECT_EQ(std::vector<uint8_t>(got, got + n), std::vector<uint8_t>(expected, expected + sizeof expected));

  // A changed stream loads through the put accessors.
  ComPtr<IStream> s2;
  CreateMemoryStream(s2.put());
  uint8_t changed[sizeof expected];
  std::copy(std::begin(expected), std::end(expected), changed);
  changed[14] = 0xE8;  // 1000 ms
  changed[15] = 0x03;
  changed[20] = 0xFF;  // AutoReceive -1
  changed[21] = 0xFF;
  s2->Write(changed, sizeof changed, nullptr);
  s2->Seek(0, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(p->Load(s2.get()), S_OK);
  ULONG wt = 0;
  VARIANT_BOOL ar = 0;
  c->get_WaitTimeout(&wt);
  c->get_AutoReceive(&ar);
  EXPECT_EQ(wt, 1000u);
  EXPECT_EQ(ar, -1);
  // A stream cut short is refused.
  ComPtr<IStream> s3;
  CreateMemoryStream(s3.put());
  s3->Write(expected, 15, nullptr);
  s3->Seek(0, STREAM_SEEK_SET, nullptr);
  EXPECT_TRUE(FAILED(p->Load(s3.get())));
}

TEST(Dlt645Aggregation, InterfacesBelongToTheOuterObjectAndTheInnerOwnsTheControl) {
  long before = zr::com::liveObjects().load();
  testhost::OuterObject outer;
  void* pv = nullptr;
  ASSERT_EQ(CZrCommDLT645::createInstance(&outer, IZrCommDLT645::iid, &pv), CLASS_E_NOAGGREGATION);
  ASSERT_EQ(CZrCommDLT645::createInstance(&outer, IUnknown::iid, &pv), S_OK);
  outer.inner = static_cast<IUnknown*>(pv);
  EXPECT_EQ(outer.refs, 1u);

  ComPtr<IZrCommDLT645> c = ComPtr<IUnknown>(&outer).as<IZrCommDLT645>();
  ASSERT_TRUE(c);
  EXPECT_EQ(outer.refs, 2u);
  ComPtr<IUnknown> identity = c.as<IUnknown>();
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(&outer));
  identity.reset();

  // Event sinks and persistence reach the control through the outer object's identity.
  ComPtr<IConnectionPoint> cp;
  ASSERT_EQ(c.as<IConnectionPointContainer>()->FindConnectionPoint(_IZrCommDLT645Events::iid, cp.put()), S_OK);
  EXPECT_EQ(outer.refs, 3u);
  ComPtr<IPersistStreamInit> persist = c.as<IPersistStreamInit>();
  ASSERT_TRUE(persist);
  EXPECT_EQ(outer.refs, 4u);
  persist.reset();
  cp.reset();
  c.reset();
  EXPECT_EQ(outer.refs, 1u);

  EXPECT_GT(zr::com::liveObjects().load(), before);
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(zr::com::liveObjects().load(), before);
}

TEST(Dlt645Inner, InnerPortRunsEvenParityAt9600) {
  ComPtr<IZrCommDLT645> c;
  ASSERT_EQ(CZrCommDLT645::createInstance(nullptr, IZrCommDLT645::iid, c.putVoid()), S_OK);
  ComPtr<IZrSerial> s;
  c->get_Serial(s.put());
  TBaudRate br{};
  TParityBits pr{};
  s->get_BaudRate(&br);
  s->get_ParityBits(&pr);
  EXPECT_EQ(br, br9600);
  EXPECT_EQ(pr, prEven);
  LONG at = 0;
  c->get_AttemptTimes(&at);
  EXPECT_EQ(at, 1);
  ComPtr<IZrTools> t1, t2;
  c->get_Tools(t1.put());
  c->get_Tools(t2.put());
  EXPECT_EQ(t1.get(), t2.get());
}
