// The meter-side engine pinned by value and fed hostile frames and requests: link
// answers, segmentation, association rules, bounds of every request and answer.
#include <gtest/gtest.h>

#include <cstring>

#include "dlms/dlms_server.h"
#include "dlms/hdlc.h"
#include "dlms_client_host.h"
#include "support/hdlc_frames.h"

using namespace kavlink;
using dlmstest::Bytes;

namespace {

const Bytes kSnrm = {0x7E, 0xA0, 0x07, 0x03, 0x21, 0x93, 0x0F, 0x01, 0x7E};
const Bytes kUaInfo = {0x81, 0x80, 0x12, 0x05, 0x01, 0x80, 0x06, 0x01, 0x80, 0x07, 0x04,
                       0x00, 0x00, 0x00, 0x01, 0x08, 0x04, 0x00, 0x00, 0x00, 0x01};
const Bytes kAarqNone = {0x60, 0x1D, 0xA1, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01, 0xBE, 0x10, 0x04,
                         0x0E, 0x01, 0x00, 0x00, 0x00, 0x06, 0x5F, 0x1F, 0x04, 0x00, 0x00, 0x7E, 0x1F, 0xFF, 0xFF};
const Bytes kGetEnergy = {0xC0, 0x01, 0xC1, 0x00, 0x03, 1, 0, 1, 8, 0, 255, 0x02, 0x00};

using dlmstest::command;
using dlmstest::withRequestLlc;

struct Answer {
  uint8_t control = 0;
  bool segmented = false;
  Bytes info;
};

class Engine : public ::testing::Test {
 protected:
  void make(LONG level) { engine = std::make_unique<sim::DlmsEngine>(table, level); }
  void SetUp() override { make(0); }

  // Feeds a frame; the single answer expected (or none).
  std::vector<Answer> send(const Bytes& f) {
    std::vector<Answer> out;
    for (const Bytes& a : engine->feed(f.data(), f.size())) {
      EXPECT_LE(a.size(), 256u);
      HdlcFrameView v;
      EXPECT_TRUE(HdlcCheckSumOk(a.data(), static_cast<int>(a.size())));
      EXPECT_EQ(ReadHdlcFrame(a.data(), static_cast<int>(a.size()), 4, 1, 0, v), HdlcRead::kOk);
      EXPECT_EQ(a[3], 0x21);
      out.push_back({v.control, v.segmented, Bytes(a.begin() + v.infoStart, a.begin() + v.infoStart + v.infoLength)});
    }
    return out;
  }
  Answer one(const Bytes& f) {
    auto all = send(f);
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? Answer{} : all[0];
  }
  // An APDU in the next I-frame; the answer APDU without its LLC.
  Bytes apdu(const Bytes& request) {
    Answer a = one(command(IFrameControl(vr, vs), withRequestLlc(request)));
    vr = (vr + 1) & 7;
    vs = (vs + 1) & 7;
    EXPECT_GE(a.info.size(), 3u);
    if (a.info.size() < 3) return {};
    EXPECT_EQ(Bytes(a.info.begin(), a.info.begin() + 3), (Bytes{0xE6, 0xE7, 0x00}));
    return Bytes(a.info.begin() + 3, a.info.end());
  }
  void connect() {
    EXPECT_EQ(one(kSnrm).control, kCtrlUa);
    vr = vs = 0;
  }
  void associate() {
    connect();
    Bytes aare = apdu(kAarqNone);
    ASSERT_GE(aare.size(), 25u);
    EXPECT_EQ(aare[17], 0);
  }
  // A bare APDU through CosemHandleRequest.
  Bytes bare(const Bytes& request) {
    uint8_t out[1024];
    LONG n = 0;
    EXPECT_EQ(
        engine->control()->CosemHandleRequest(reinterpret_cast<PTRBUF>(request.data()),
                                              static_cast<LONG>(request.size()), reinterpret_cast<PTRBUF>(out), &n),
        S_OK);
    EXPECT_LE(n, 1024);
    return Bytes(out, out + n);
  }

  sim::DlmsObjectTable table;
  std::unique_ptr<sim::DlmsEngine> engine;
  uint8_t vr = 0, vs = 0;
};

TEST_F(Engine, SnrmIsAnsweredWithUaAndItsLinkParameters) {
  Bytes a = engine->feed(kSnrm.data(), kSnrm.size()).at(0);
  EXPECT_EQ(a[3], 0x21);
  EXPECT_EQ(a[4], 0x03);
  EXPECT_EQ(a[5], 0x73);
  EXPECT_EQ(Bytes(a.begin() + 8, a.end() - 3), kUaInfo);
}

TEST_F(Engine, LinkAnswersBeforeAndAfterConnecting) {
  EXPECT_EQ(one(command(0x10, withRequestLlc(kGetEnergy))).control, kCtrlDm);
  EXPECT_EQ(one(command(0x11)).control, kCtrlDm);
  connect();
  Answer unknown = one(command(0xFF));
  EXPECT_EQ(unknown.control, kCtrlFrmr);
  EXPECT_EQ(unknown.info, (Bytes{0xFF, 0x00, 0x01}));
  // A sequence number out of turn is refused.
  Answer seq = one(command(IFrameControl(0, 3), withRequestLlc(kGetEnergy)));
  EXPECT_EQ(seq.control, kCtrlFrmr);
  EXPECT_EQ(seq.info, (Bytes{IFrameControl(0, 3), 0x22, 0x08}));
  // A UA from the client drops the link: no answer, and DM until the next SNRM.
  EXPECT_TRUE(send(command(0x73)).empty());
  EXPECT_EQ(one(command(0x11)).control, kCtrlDm);
  connect();
  Answer disc = one(command(kCtrlDisc));
  EXPECT_EQ(disc.control, kCtrlUa);
  EXPECT_EQ(disc.info, kUaInfo);
  EXPECT_EQ(one(command(0x11)).control, kCtrlDm);
}

TEST_F(Engine, ServicesBeforeAssociationAreRefused) {
  connect();
  EXPECT_EQ(apdu(kGetEnergy), (Bytes{0x0E, 0x05, 0x05, 0x01}));
  EXPECT_EQ(apdu({0xC1, 0x01, 0xC1, 0x00, 0x03, 1, 0, 1, 8, 0, 255, 0x02, 0x00, 0x11, 0x01}),
            (Bytes{0x0E, 0x06, 0x05, 0x01}));
  EXPECT_EQ(apdu({0xC2, 0x01}), (Bytes{0x0E, 0x01, 0x03, 0x02}));
}

TEST_F(Engine, HighLevelReplyCompletesOnlyAnAssociationTheEngineLeftPending) {
  const Bytes hlsReply = {0xC3, 0x01, 0xC1, 0x00, 0x0F, 0, 0, 40, 0, 0, 255, 0x01, 0x01, 0x09, 0x02, 0xAA, 0xBB};
  for (LONG level : {0, 1}) {
    make(level);
    connect();
    EXPECT_EQ(apdu(hlsReply), (Bytes{0x0E, 0x06, 0x05, 0x01})) << level;
    EXPECT_EQ(apdu(kGetEnergy), (Bytes{0x0E, 0x05, 0x05, 0x01})) << level;
  }
  // Level 2: the AARE asks for the reply, and only the right reply associates.
  make(2);
  connect();
  Bytes aarq = {0x60, 0x36, 0xA1, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01, 0x8A, 0x02,
                0x07, 0x80, 0x8B, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x02, 0x02, 0xAC, 0x0A, 0x80, 0x08};
  const std::string ctos = "CtoS1234";
  aarq.insert(aarq.end(), ctos.begin(), ctos.end());
  aarq.insert(aarq.end(), kAarqNone.begin() + 13, kAarqNone.end());
  Bytes aare = apdu(aarq);
  ASSERT_EQ(aare.size(), 60u + table.serverChallenge.size());
  EXPECT_EQ(aare[24], 0x0E);
  EXPECT_EQ(aare[41], table.serverChallenge.size());
  EXPECT_EQ(apdu(kGetEnergy), (Bytes{0x0E, 0x05, 0x05, 0x01}));
  Bytes f = sim::dlmsHlsAnswer(table.hlsSecret, table.serverChallenge.data(), table.serverChallenge.size());
  Bytes good = {0xC3, 0x01, 0xC1, 0x00, 0x0F, 0, 0, 40, 0, 0, 255, 0x01, 0x01, 0x09, static_cast<uint8_t>(f.size())};
  good.insert(good.end(), f.begin(), f.end());
  Bytes answer = apdu(good);
  ASSERT_GE(answer.size(), 6u);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 6), (Bytes{0xC7, 0x01, 0xC1, 0x00, 0x01, 0x00}));
  // The meter's own answer: an octet-string of whole cipher blocks, however short the
  // client's challenge.
  const Bytes back = sim::dlmsHlsAnswer(table.hlsSecret, reinterpret_cast<const uint8_t*>(ctos.data()), ctos.size());
  Bytes returned = {0x09, 16};
  returned.insert(returned.end(), back.begin(), back.end());
  EXPECT_EQ(Bytes(answer.begin() + 6, answer.end()), returned);
  EXPECT_EQ(apdu(kGetEnergy), (Bytes{0xC4, 0x01, 0xC1, 0x00, 0x06, 0x00, 0x01, 0xE2, 0x40}));
}

TEST_F(Engine, LongAnswerIsSegmentedAfterEachReceiveReady) {
  associate();
  table.setAttribute(1, {0, 0, 96, 1, 0, 255}, 2, [] {
    Bytes v = {0x09, 0x81, 0xFF};  // 296 bytes: the answer APDU is 300
    v.resize(296, 0x55);
    return v;
  }());
  Answer first =
      one(command(IFrameControl(vr, vs), withRequestLlc({0xC0, 0x01, 0x81, 0x00, 0x01, 0, 0, 96, 1, 0, 255, 2, 0})));
  EXPECT_TRUE(first.segmented);
  EXPECT_EQ(first.info.size(), 3u + 125u);
  // The engine echoes the request's invoke-id byte.
  EXPECT_EQ(first.info[5], 0x81);
  Answer second = one(command(RrControl(2)));
  EXPECT_TRUE(second.segmented);
  EXPECT_EQ(second.info.size(), 128u);
  // An RR that does not acknowledge the last segment is refused.
  EXPECT_EQ(one(command(RrControl(2))).control, kCtrlFrmr);
  connect();
}

TEST_F(Engine, SegmentsCountDownToTheLast) {
  associate();
  Bytes v = {0x09, 0x81, 0xFF};
  v.resize(296, 0x55);
  table.setAttribute(1, {0, 0, 96, 1, 0, 255}, 2, v);
  Answer a =
      one(command(IFrameControl(vr, vs), withRequestLlc({0xC0, 0x01, 0xC1, 0x00, 0x01, 0, 0, 96, 1, 0, 255, 2, 0})));
  Answer b = one(command(RrControl(2)));
  Answer c = one(command(RrControl(3)));
  EXPECT_EQ(a.info.size() - 3, 125u);
  EXPECT_EQ(b.info.size(), 128u);
  EXPECT_EQ(c.info.size(), 47u);
  EXPECT_FALSE(c.segmented);
  // Nothing pending: an RR is answered by an RR.
  EXPECT_EQ(one(command(RrControl(4))).control, RrControl(4));
}

TEST_F(Engine, BareApduBetweenSegmentsLeavesTheLongAnswerWhole) {
  associate();
  Bytes v = {0x09, 0x81, 0xFF};
  v.resize(296, 0x55);
  v.back() = 0xAB;
  table.setAttribute(1, {0, 0, 96, 1, 0, 255}, 2, v);
  Bytes whole = {0xC4, 0x01, 0xC1, 0x00};
  whole.insert(whole.end(), v.begin(), v.end());
  Answer a =
      one(command(IFrameControl(vr, vs), withRequestLlc({0xC0, 0x01, 0xC1, 0x00, 0x01, 0, 0, 96, 1, 0, 255, 2, 0})));
  ASSERT_TRUE(a.segmented);
  // The bare path answers from its own state, short and in between.
  EXPECT_EQ(bare({0xC0, 0x02, 0xC1}), (Bytes{0xC4, 0x01, 0xC1, 0x01, 0xFA}));
  Answer b = one(command(RrControl(2)));
  Answer c = one(command(RrControl(3)));
  EXPECT_TRUE(b.segmented);
  EXPECT_FALSE(c.segmented);
  Bytes got(a.info.begin() + 3, a.info.end());
  got.insert(got.end(), b.info.begin(), b.info.end());
  got.insert(got.end(), c.info.begin(), c.info.end());
  EXPECT_EQ(got, whole);
}

TEST_F(Engine, MalformedRequestsGetOtherReason) {
  associate();
  struct Row {
    const char* what;
    Bytes request;
    Bytes answer;
  };
  const Row rows[] = {
      {"list length mismatch",
       {0xC0, 0x03, 0xC1, 0x01, 0x00, 0x03, 1, 0, 1, 8, 0, 255, 2},
       {0xC4, 0x01, 0xC1, 0x01, 0xFA}},
      {"get cut short", {0xC0, 0x01, 0xC1, 0x00, 0x03}, {0xC4, 0x01, 0xC1, 0x01, 0xFA}},
      {"get of another type", {0xC0, 0x02, 0xC1, 0x00, 0x00, 0x00, 0x01}, {0xC4, 0x01, 0xC1, 0x01, 0xFA}},
      {"set cut short", {0xC1, 0x01, 0xC1, 0x00, 0x03, 1}, {0xC5, 0x01, 0xC1, 0xFA}},
      {"set list count runs past", {0xC1, 0x04, 0xC1, 0x09, 0x00}, {0xC5, 0x04, 0xC1, 0xFA}},
      {"set list value cut",
       {0xC1, 0x04, 0xC1, 0x01, 0x00, 0x03, 1, 0, 1, 8, 0, 255, 2, 0, 0x01, 0x09, 0x05, 0x41},
       {0xC5, 0x04, 0xC1, 0xFA}},
      {"action cut short", {0xC3, 0x01, 0xC1, 0x00, 0x46, 0, 0, 96, 3, 10, 255, 1}, {0xC7, 0x01, 0xC1, 0xFA, 0x00}},
      {"action list count runs past", {0xC3, 0x03, 0xC1, 0x05, 0x00}, {0xC7, 0x03, 0xC1, 0xFA, 0x00}},
      {"action list no parameter",
       {0xC3, 0x03, 0xC1, 0x01, 0x00, 0x46, 0, 0, 96, 3, 10, 255, 1, 0x01},
       {0xC7, 0x03, 0xC1, 0xFA, 0x00}},
  };
  for (const Row& r : rows) EXPECT_EQ(bare(r.request), r.answer) << r.what;
  const Bytes ok = {0xC3, 0x03, 0xC1, 0x01, 0x00, 0x46, 0, 0, 96, 3, 10, 255, 1, 0x01, 0x00};
  EXPECT_EQ(bare(ok), (Bytes{0xC7, 0x03, 0xC1, 0x01, 0x00, 0x00}));
}

TEST_F(Engine, HostAnswersThatPassTheAnswerBufferAreRefusedUnwritten) {
  associate();
  Bytes big = {0x09, 0x82, 0x03, 0xFD};
  big.resize(1021, 0x33);  // 4 + 1021 passes the 1024-byte buffer
  table.setAttribute(1, {0, 0, 96, 1, 0, 255}, 2, big);
  EXPECT_EQ(bare({0xC0, 0x01, 0xC1, 0x00, 0x01, 0, 0, 96, 1, 0, 255, 2, 0}), (Bytes{0xC4, 0x01, 0xC1, 0x01, 0x03}));
  big.resize(1020);
  table.setAttribute(1, {0, 0, 96, 1, 0, 255}, 2, big);
  EXPECT_EQ(bare({0xC0, 0x01, 0xC1, 0x00, 0x01, 0, 0, 96, 1, 0, 255, 2, 0}).size(), 1024u);
  // In a list the answers stop at the end of the buffer too: the first fits, the second
  // does not.
  big.resize(1015);
  table.setAttribute(1, {0, 0, 96, 1, 0, 255}, 2, big);
  Bytes list = {0xC0, 0x03, 0xC1, 0x02};
  for (int k = 0; k < 2; ++k) list.insert(list.end(), {0x00, 0x01, 0, 0, 96, 1, 0, 255, 2, 0});
  Bytes a = bare(list);
  ASSERT_EQ(a.size(), 4u + 1u + 1015u + 2u);
  EXPECT_EQ(Bytes(a.end() - 2, a.end()), (Bytes{0x01, 0x03}));
}

TEST_F(Engine, FramesAreGatheredAcrossCallsAndHostileOnesDropped) {
  LONG n = -1;
  CZrDLMS* c = engine->control();
  EXPECT_EQ(c->DlmsCheckRequest(reinterpret_cast<PTRBUF>(kSnrm.data()), 2, &n), S_OK);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(c->DlmsCheckRequest(reinterpret_cast<PTRBUF>(kSnrm.data() + 2), 7, &n), S_OK);
  EXPECT_EQ(n, 9);
  uint8_t out[256];
  EXPECT_EQ(c->DlmsHandleRequest(reinterpret_cast<PTRBUF>(out), &n), S_OK);
  EXPECT_GT(n, 0);
  // No complete frame: nothing to answer.
  EXPECT_EQ(c->DlmsHandleRequest(reinterpret_cast<PTRBUF>(out), &n), S_OK);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(c->DlmsCheckRequest(reinterpret_cast<PTRBUF>(kSnrm.data()), 0, &n), S_OK);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(c->DlmsCheckRequest(reinterpret_cast<PTRBUF>(kSnrm.data()), -5, &n), S_OK);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(c->CosemHandleRequest(reinterpret_cast<PTRBUF>(kSnrm.data()), 0, reinterpret_cast<PTRBUF>(out), &n), S_OK);
  EXPECT_EQ(n, 0);
  struct Row {
    const char* what;
    Bytes bytes;
  };
  Bytes badFcs = command(0x10, withRequestLlc(kGetEnergy));
  badFcs[badFcs.size() - 2] ^= 1;
  Bytes otherServer = kSnrm;
  otherServer[3] = 0x05;
  const Row rows[] = {
      {"bad first byte", {0x00, 0x7E, 0xA0, 0x07}},
      {"bad FCS", badFcs},
      {"other server", otherServer},
      {"shorter than its header", {0x7E, 0xA0, 0x04, 0x03, 0x21, 0x7E}},
      {"overflow", Bytes(256, 0x7E)},
  };
  for (const Row& r : rows) {
    make(0);
    connect();
    EXPECT_TRUE(send(r.bytes).empty()) << r.what;
    // Dropped with the link: the next request meets DM.
    if (r.bytes[0] == 0x7E) {
      EXPECT_EQ(one(command(0x11)).control, kCtrlDm) << r.what;
    }
  }
}

}  // namespace
