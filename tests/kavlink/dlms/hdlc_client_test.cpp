// The client's HDLC engine against byte tables: the frames it builds, what it makes of the
// replies it is fed, and what it keeps of them. No port, no COM.
#include "dlms/hdlc_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dlms/cosem_apdu.h"
#include "support/hdlc_frames.h"

using namespace kavlink;
using Bytes = std::vector<uint8_t>;
using Step = HdlcClient::Step;

namespace {

using dlmstest::reply;
using dlmstest::withLlc;

uint8_t controlOf(const HdlcClient& c) { return c.tx()[5]; }

Step feed(HdlcClient& c, const Bytes& b) { return c.feed(b.data(), static_cast<int>(b.size())); }

const Bytes kGet = {0xC0, 0x01, 0xC1, 0x00, 0x03, 1, 0, 1, 8, 0, 255, 2, 0};
const Bytes kEnergy = {0xC4, 0x01, 0xC1, 0x00, 0x06, 0x00, 0x01, 0xE2, 0x40};

TEST(HdlcClient, SequenceNumbersFollowEveryFrameAndWrap) {
  HdlcClient c;
  uint8_t apdu[HdlcClient::kApduSize + 8];
  c.BuildSnrm();
  EXPECT_EQ(Bytes(c.tx(), c.tx() + c.txLength()), (Bytes{0x7E, 0xA0, 0x07, 0x03, 0x21, 0x93, 0x0F, 0x01, 0x7E}));
  ASSERT_EQ(feed(c, reply(kCtrlUa)), Step::kReply);
  // I-frame k carries N(R) = N(S) = k; a segment is acknowledged with the next N(R).
  std::vector<uint8_t> sent;
  for (int k = 0; k < 9; ++k) {
    ASSERT_TRUE(c.BuildInformationFrame(kGet.data(), static_cast<int>(kGet.size())));
    sent.push_back(controlOf(c));
    c.ExpectReply(apdu, kTagGetResponse);
    if (k == 1) {
      ASSERT_EQ(feed(c, reply(0x52, withLlc({0xC4, 0x01}), true)), Step::kSendFrame);
      sent.push_back(controlOf(c));
      ASSERT_EQ(feed(c, reply(0x54, {0xC1, 0x00, 0x06, 0x00, 0x01, 0xE2, 0x40})), Step::kReply);
      EXPECT_EQ(Bytes(apdu, apdu + c.replyLength()), kEnergy);
    } else {
      ASSERT_EQ(feed(c, reply(0x10, withLlc(kEnergy))), Step::kReply) << k;
    }
  }
  EXPECT_EQ(sent, (Bytes{0x10, 0x32, 0x51, 0x74, 0x96, 0xB8, 0xDA, 0xFC, 0x1E, 0x30}));
  // DISC answered by a DISC-coded frame counts; the numbers start again.
  c.BuildDisc();
  EXPECT_EQ(controlOf(c), kCtrlDisc);
  ASSERT_EQ(feed(c, reply(kCtrlDisc)), Step::kReply);
  ASSERT_TRUE(c.BuildInformationFrame(kGet.data(), static_cast<int>(kGet.size())));
  EXPECT_EQ(controlOf(c), 0x10);
}

TEST(HdlcClient, RepliesAndWhatIsKeptOfThem) {
  Bytes badFcs = reply(0x30, withLlc(kEnergy));
  badFcs[badFcs.size() - 2] ^= 1;
  struct Row {
    const char* what;
    std::vector<Bytes> frames;  // fed in turn; all but the last are segments
    Step step;
    int error;
    bool kept;  // the last frame stays readable
  };
  const Row rows[] = {
      {"whole", {reply(0x30, withLlc(kEnergy))}, Step::kReply, 0, true},
      {"DM", {reply(kCtrlDm)}, Step::kError, kErrDisconnected, false},
      {"FRMR", {reply(kCtrlFrmr, {0x10, 0x00, 0x01})}, Step::kError, kErrRefused, true},
      {"UA", {reply(kCtrlUa)}, Step::kError, kErrFrameMismatch, true},
      {"bad FCS", {badFcs}, Step::kError, kErrFcs, false},
      {"no flag first", {{0x00}}, Step::kError, 0, false},
      {"no room for the LLC", {reply(0x30, {0xE6, 0xE7})}, Step::kError, kErrApduSize, true},
      {"service error",
       {reply(0x30, withLlc({0x0E, 0x05, 0x05, 0x01}))},
       Step::kError,
       kErrConfirmedServiceError,
       true},
      {"other tag", {reply(0x30, withLlc({0xC5, 0x01, 0xC1, 0x00}))}, Step::kError, kErrCosemMismatch, true},
      {"RR instead of a segment",
       {reply(0x30, withLlc({0xC4}), true), reply(0x51)},
       Step::kError,
       kErrFrameMismatch,
       true},
  };
  for (const Row& r : rows) {
    HdlcClient c;
    uint8_t apdu[HdlcClient::kApduSize];
    ASSERT_TRUE(c.BuildInformationFrame(kGet.data(), static_cast<int>(kGet.size())));
    c.ExpectReply(apdu, kTagGetResponse);
    Step s = Step::kNeedMore;
    // Fed a byte at a time: the frame is judged once, when its last byte comes.
    for (const Bytes& f : r.frames) {
      for (size_t i = 0; i < f.size(); ++i) {
        s = c.feed(&f[i], 1);
        if (s != Step::kNeedMore) {
          EXPECT_EQ(i, f.size() - 1) << r.what;
          break;
        }
      }
    }
    EXPECT_EQ(s, r.step) << r.what;
    EXPECT_EQ(c.error(), r.error) << r.what;
    EXPECT_EQ(c.rxCount(), r.kept ? static_cast<int>(r.frames.back().size()) : 0) << r.what;
  }
}

TEST(HdlcClient, ReassemblyStopsAtItsBuffer) {
  // Three segments of 2000 bytes: the third would carry the reply past 4096 bytes.
  struct Guarded {
    uint8_t apdu[HdlcClient::kApduSize];
    uint8_t guard[64];
  } g;
  std::memset(g.guard, 0xCC, sizeof g.guard);
  HdlcClient c;
  ASSERT_TRUE(c.BuildInformationFrame(kGet.data(), static_cast<int>(kGet.size())));
  c.ExpectReply(g.apdu, kTagGetResponse);
  Bytes piece(2000, 0x41);
  piece[0] = kTagGetResponse;
  EXPECT_EQ(feed(c, reply(0x30, withLlc(piece), true)), Step::kSendFrame);
  EXPECT_EQ(feed(c, reply(0x30, piece, true)), Step::kSendFrame);
  EXPECT_EQ(feed(c, reply(0x30, piece, false)), Step::kError);
  EXPECT_EQ(c.error(), kErrApduSize);
  EXPECT_EQ(c.replyLength(), 4000);
  for (uint8_t b : g.guard) EXPECT_EQ(b, 0xCC);
  // A request is refused unbuilt when it does not fit one frame.
  Bytes big(static_cast<size_t>(c.requestRoom()) + 1, 0x00);
  const Bytes before(c.tx(), c.tx() + c.txLength());
  EXPECT_FALSE(c.BuildInformationFrame(big.data(), static_cast<int>(big.size())));
  EXPECT_EQ(Bytes(c.tx(), c.tx() + c.txLength()), before);
}

}  // namespace
