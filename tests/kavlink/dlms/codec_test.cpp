// The plain codings pinned by value: CRC, control kinds, addresses, frames, A-XDR lengths,
// AARQ and request bytes, answer decoding, and the COSEM object's own behaviour.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dlms/axdr.h"
#include "dlms/cosem_apdu.h"
#include "dlms/hdlc.h"
#include "dlms_client_host.h"
#include "support/hdlc_frames.h"

using namespace kavlink;
using dlmstest::Bytes;

namespace {

Bytes frameOf(uint16_t pa, uint16_t la, uint8_t client, uint8_t control, const Bytes& info = {}) {
  Bytes address(kHdlcMaxAddressBytes);
  address.resize(static_cast<size_t>(EncodeServerAddress(pa, la, address.data())));
  address.push_back(static_cast<uint8_t>(client * 2 + 1));
  return dlmstest::hdlcFrame(address, control, info);
}

TEST(DlmsHdlc, CrcOfTheCheckText) {
  const char* text = "123456789";
  EXPECT_EQ(Crc16X25(reinterpret_cast<const uint8_t*>(text), 9), 0x906E);
}

TEST(DlmsHdlc, ControlBytesAreClassifiedInOrder) {
  const std::pair<uint8_t, HdlcFrameKind> rows[] = {
      {0x10, hfkI},    {0x32, hfkI},    {0x11, hfkRR},      {0xF1, hfkRR},     {0x15, hfkRNR},
      {0x93, hfkSNRM}, {0x83, hfkSNRM}, {0x53, hfkDISC},    {0x43, hfkDISC},   {0x73, hfkUA},
      {0x63, hfkUA},   {0x1F, hfkDM},   {0x0F, hfkDM},      {0x97, hfkFRMR},   {0x87, hfkFRMR},
      {0x13, hfkUI},   {0x03, hfkUI},   {0xFF, hfkUnknown}, {0x23, hfkUnknown}};
  for (auto [c, kind] : rows) EXPECT_EQ(ClassifyControlByte(c), kind) << std::hex << int(c);
}

TEST(DlmsHdlc, ServerAddressForms) {
  struct Row {
    uint16_t pa, la;
    Bytes bytes;
  };
  const Row rows[] = {
      {1, 0, {0x03}}, {200, 0, {0x02, 0x91}}, {17, 1, {0x02, 0x23}}, {1, 300, {0x04, 0x58, 0x00, 0x03}}};
  for (const Row& r : rows) {
    uint8_t out[4];
    int n = EncodeServerAddress(r.pa, r.la, out);
    EXPECT_EQ(Bytes(out, out + n), r.bytes) << r.pa << "/" << r.la;
    EXPECT_EQ(MatchServerAddress(out, n, r.pa, r.la), n);
    // Another server of the same form is not this one.
    EXPECT_EQ(MatchServerAddress(out, n, static_cast<uint16_t>(r.pa + 1), r.la), 0);
    // An address that runs past the bytes at hand matches nothing.
    EXPECT_EQ(MatchServerAddress(out, n - 1, r.pa, r.la), 0);
  }
}

TEST(DlmsHdlc, SnrmAndDiscWithTheDefaults) {
  EXPECT_EQ(frameOf(1, 0, 16, kCtrlSnrm), (Bytes{0x7E, 0xA0, 0x07, 0x03, 0x21, 0x93, 0x0F, 0x01, 0x7E}));
  EXPECT_EQ(frameOf(1, 0, 16, kCtrlDisc), (Bytes{0x7E, 0xA0, 0x07, 0x03, 0x21, 0x53, 0x03, 0xC7, 0x7E}));
}

TEST(DlmsHdlc, FramesAreReadBackAndShortOnesRefused) {
  Bytes f = frameOf(300, 1, 16, 0x10, {0xE6, 0xE6, 0x00, 0xC0});
  ASSERT_EQ(CheckHdlcGathered(f.data(), static_cast<int>(f.size())), HdlcGather::kComplete);
  EXPECT_TRUE(HdlcCheckSumOk(f.data(), static_cast<int>(f.size())));
  HdlcFrameView v;
  ASSERT_EQ(ReadHdlcFrame(f.data(), static_cast<int>(f.size()), 3, 300, 1, v), HdlcRead::kOk);
  EXPECT_EQ(v.header, 5);
  EXPECT_EQ(v.control, 0x10);
  EXPECT_EQ(v.infoLength, 4);
  EXPECT_EQ(f[v.infoStart + 3], 0xC0);
  EXPECT_EQ(CheckHdlcGathered(f.data(), 5), HdlcGather::kIncomplete);
  Bytes bad = f;
  bad[0] = 0x00;
  EXPECT_EQ(CheckHdlcGathered(bad.data(), static_cast<int>(bad.size())), HdlcGather::kBadStart);
  // A frame whose length claims fewer bytes than its own header has no fields to read.
  const Bytes tiny = {0x7E, 0xA0, 0x05, 0x21, 0x03, 0x73, 0x7E};
  EXPECT_EQ(ReadHdlcFrame(tiny.data(), 7, 4, 1, 0, v), HdlcRead::kTooShort);
}

TEST(DlmsAxdr, ElementLengths) {
  struct Row {
    Bytes bytes;
    int32_t length;
  };
  const Row rows[] = {
      {{0x09, 0x03, 0x41, 0x42, 0x43}, 5},
      {{0x02, 0x02, 0x11, 0x05, 0x12, 0x00, 0x64}, 7},
      {{0x01, 0x00}, 2},
      {{0x04, 0x0A, 0x00, 0x00}, 4},
      {{0x04, 0x08, 0x00}, 3},
      {{0x00}, 1},
      {{0x1A, 1, 2, 3, 4, 5}, 6},
      {{0x19, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 13},
      {{0x0D, 0x01}, 0},                    // bcd: unknown to the rule
      {{0x09, 0x05, 0x41}, 0},              // runs past the bytes at hand
      {{0x02, 0x02, 0x11, 0x05, 0x0D}, 0},  // an unknown element inside
  };
  for (const Row& r : rows)
    EXPECT_EQ(AxdrDataLength(r.bytes.data(), static_cast<int32_t>(r.bytes.size())), r.length)
        << std::hex << int(r.bytes[0]);
  // Nesting is followed only so deep.
  Bytes deep;
  for (int i = 0; i < 200; ++i) deep.insert(deep.end(), {0x02, 0x01});
  deep.push_back(0x00);
  EXPECT_EQ(AxdrDataLength(deep.data(), static_cast<int32_t>(deep.size())), 0);
}

TEST(DlmsApdu, AarqForEachAuthenticationLevel) {
  uint8_t out[200];
  const Bytes none = {0x60, 0x1D, 0xA1, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01, 0xBE, 0x10, 0x04,
                      0x0E, 0x01, 0x00, 0x00, 0x00, 0x06, 0x5F, 0x1F, 0x04, 0x00, 0x00, 0x7E, 0x1F, 0xFF, 0xFF};
  ASSERT_EQ(BuildAarq(out, 0, "ignored"), 31);
  EXPECT_EQ(Bytes(out, out + 31), none);
  ASSERT_EQ(BuildAarq(out, 1, "12345678"), 56);
  EXPECT_EQ(out[1], 0x36);
  EXPECT_EQ(out[25], 0x01);
  EXPECT_EQ(Bytes(out + 26, out + 30), (Bytes{0xAC, 0x0A, 0x80, 0x08}));
  ASSERT_EQ(BuildAarq(out, 2, ""), 48);
  EXPECT_EQ(out[25], 0x02);
  EXPECT_EQ(Bytes(out + 26, out + 30), (Bytes{0xAC, 0x02, 0x80, 0x00}));
  // 81 password bytes still fit one-byte BER lengths; 82 do not.
  EXPECT_EQ(BuildAarq(out, 1, std::string(81, 'p')), 48 + 81);
  EXPECT_EQ(out[1], 0x7F);
  EXPECT_EQ(BuildAarq(out, 1, std::string(82, 'p')), 0);
}

TEST(DlmsApdu, RequestsCarryAConfirmedInvokeId) {
  CosemData o;
  o.classId = 3;
  const uint8_t obis[6] = {1, 0, 1, 8, 0, 255};
  std::memcpy(o.obis, obis, 6);
  o.index = 2;
  uint8_t out[64];
  ASSERT_EQ(BuildGetRequest(out, 64, o), 13);
  EXPECT_EQ(Bytes(out, out + 13), (Bytes{0xC0, 0x01, 0xC1, 0x00, 0x03, 1, 0, 1, 8, 0, 255, 0x02, 0x00}));
  o.data[0] = 0x11;
  o.data[1] = 0x05;
  o.dataLen = 2;
  ASSERT_EQ(BuildSetRequest(out, 64, o), 15);
  EXPECT_EQ(Bytes(out, out + 3), (Bytes{0xC1, 0x01, 0xC1}));
  ASSERT_EQ(BuildActionRequest(out, 64, o), 15);
  EXPECT_EQ(out[12], 0x01);
  o.dataLen = 0;
  ASSERT_EQ(BuildActionRequest(out, 64, o), 13);
  EXPECT_EQ(out[12], 0x00);
  // A request that does not fit is not built.
  o.dataLen = 60;
  EXPECT_EQ(BuildSetRequest(out, 64, o), 0);
  CosemData* items[] = {&o, &o};
  o.dataLen = 2;
  ASSERT_EQ(BuildGetListRequest(out, 64, items, 2), 24);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0xC0, 0x03, 0xC1, 0x02}));
  ASSERT_EQ(BuildSetListRequest(out, 64, items, 2), 29);
  EXPECT_EQ(out[24], 0x02);
  ASSERT_EQ(BuildActionListRequest(out, 64, items, 2), 27);
  EXPECT_EQ(out[22], 0x02);
}

TEST(DlmsApdu, GetAnswersAreJudgedByTagTypeAndInvokeId) {
  struct Row {
    const char* what;
    Bytes reply;
    int error;
    Bytes data;
    uint8_t accessResult;
  };
  const Row rows[] = {
      {"data", {0xC4, 0x01, 0xC1, 0x00, 0x11, 0x05}, 0, {0x11, 0x05}, 0},
      {"meter echoing the unconfirmed bit", {0xC4, 0x01, 0x81, 0x00, 0x11, 0x05}, 0, {0x11, 0x05}, 0},
      {"access result", {0xC4, 0x01, 0xC1, 0x01, 0x04}, kErrGetFailed, {0x04}, 4},
      {"another invoke id", {0xC4, 0x01, 0xC2, 0x00, 0x11, 0x05}, kErrCosemMismatch, {}, 1},
      {"data block",
       {0xC4, 0x02, 0xC1, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x11, 0x05},
       kErrCosemMismatch,
       {},
       1},
      {"set answer", {0xC5, 0x01, 0xC1, 0x00}, kErrCosemMismatch, {}, 1},
      {"service error", {0x0E, 0x05, 0x05, 0x01}, kErrConfirmedServiceError, {}, 1},
      {"too short", {0xC4, 0x01, 0xC1, 0x00}, kErrCosemMismatch, {}, 1},
  };
  for (const Row& r : rows) {
    CosemData o;
    int e = DecodeGetReply(r.reply.data(), static_cast<int>(r.reply.size()), o);
    EXPECT_EQ(e, r.error) << r.what;
    EXPECT_EQ(Bytes(o.data, o.data + o.dataLen), r.data) << r.what;
    EXPECT_EQ(o.accessResult, r.accessResult) << r.what;
  }
  // A datum larger than the object holds is refused, not copied.
  Bytes big = {0xC4, 0x01, 0xC1, 0x00};
  big.resize(4 + kCosemDataSize + 1, 0x11);
  CosemData o;
  EXPECT_EQ(DecodeGetReply(big.data(), static_cast<int>(big.size()), o), kErrApduSize);
  EXPECT_EQ(o.dataLen, 0);
}

TEST(DlmsApdu, ActionAndSetAnswers) {
  struct Row {
    const char* what;
    Bytes reply;
    int error;
    int32_t dataLen;
    uint8_t accessResult;
  };
  const Row rows[] = {
      {"no return data", {0xC7, 0x01, 0xC1, 0x00, 0x00}, 0, 0, 0},
      {"return data", {0xC7, 0x01, 0xC1, 0x00, 0x01, 0x00, 0x03, 0x01}, 0, 2, 0},
      {"return access result", {0xC7, 0x01, 0xC1, 0x00, 0x01, 0x01, 0x04}, 0, 1, 4},
      {"refused", {0xC7, 0x01, 0xC1, 0x0B, 0x00}, kErrActionFailed, 1, 0x0B},
      {"cut after the result", {0xC7, 0x01, 0xC1, 0x00}, kErrCosemMismatch, 0, 1},
      {"cut after presence", {0xC7, 0x01, 0xC1, 0x00, 0x01, 0x00}, kErrCosemMismatch, 0, 1},
  };
  for (const Row& r : rows) {
    CosemData o;
    EXPECT_EQ(DecodeActionReply(r.reply.data(), static_cast<int>(r.reply.size()), o), r.error) << r.what;
    EXPECT_EQ(o.dataLen, r.dataLen) << r.what;
    EXPECT_EQ(o.accessResult, r.accessResult) << r.what;
  }
  CosemData o;
  const Bytes refused = {0xC5, 0x01, 0xC1, 0x03};
  EXPECT_EQ(DecodeSetReply(refused.data(), 4, o), kErrSetFailed);
  EXPECT_EQ(o.accessResult, 3);
}

TEST(DlmsApdu, ListAnswersAreWalkedWithinTheReply) {
  CosemData a, b;
  CosemData* items[] = {&a, &b};
  struct Row {
    const char* what;
    Bytes reply;
    int error;
  };
  const Row rows[] = {
      {"data and refusal", {0xC4, 0x03, 0xC1, 0x02, 0x00, 0x11, 0x05, 0x01, 0x04}, 0},
      {"count differs", {0xC4, 0x03, 0xC1, 0x01, 0x00, 0x11, 0x05}, kErrListReply},
      {"runs out", {0xC4, 0x03, 0xC1, 0x02, 0x00, 0x11, 0x05}, kErrListReply},
      {"element cut", {0xC4, 0x03, 0xC1, 0x02, 0x00, 0x09, 0x08, 0x41}, kErrListReply},
      {"null data", {0xC4, 0x03, 0xC1, 0x02, 0x00, 0x00, 0x01, 0x04}, kErrListReply},
      {"unknown choice", {0xC4, 0x03, 0xC1, 0x02, 0x02, 0x11}, kErrListReply},
  };
  for (const Row& r : rows)
    EXPECT_EQ(DecodeGetListReply(r.reply.data(), static_cast<int>(r.reply.size()), items, 2), r.error) << r.what;
  const Bytes good = rows[0].reply;
  ASSERT_EQ(DecodeGetListReply(good.data(), static_cast<int>(good.size()), items, 2), 0);
  EXPECT_EQ(Bytes(a.data, a.data + a.dataLen), (Bytes{0x11, 0x05}));
  EXPECT_EQ(b.accessResult, 4);

  const Bytes actions = {0xC7, 0x03, 0xC1, 0x02, 0x00, 0x01, 0x00, 0x11, 0x07, 0x03};
  ASSERT_EQ(DecodeActionListReply(actions.data(), static_cast<int>(actions.size()), items, 2), 0);
  EXPECT_EQ(Bytes(a.data, a.data + a.dataLen), (Bytes{0x11, 0x07}));
  EXPECT_EQ(b.accessResult, 3);
  const Bytes cut = {0xC7, 0x03, 0xC1, 0x02, 0x00, 0x01};
  EXPECT_EQ(DecodeActionListReply(cut.data(), static_cast<int>(cut.size()), items, 2), kErrListReply);
  const Bytes sets = {0xC5, 0x05, 0xC1, 0x02, 0x00};
  EXPECT_EQ(DecodeSetListReply(sets.data(), static_cast<int>(sets.size()), items, 2), kErrSetFailed);
}

Bytes aare(uint8_t result, uint8_t diagnostic) {
  return {0x61, 0x29, 0xA1,   0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05,       0x08, 0x01, 0x01, 0xA2, 0x03,
          0x02, 0x01, result, 0xA3, 0x05, 0xA1, 0x03, 0x02, 0x01, diagnostic, 0xBE, 0x10, 0x04, 0x0E, 0x08,
          0x00, 0x06, 0x5F,   0x1F, 0x04, 0x00, 0x00, 0x40, 0x1F, 0x04,       0x00, 0x00, 0x07};
}

TEST(DlmsApdu, AareNeedsItsShapeAndResult) {
  EXPECT_EQ(DecodeAare(aare(0, 0).data(), 43, 0).error, 0);
  AareOutcome rejected = DecodeAare(aare(1, 13).data(), 43, 1);
  EXPECT_EQ(rejected.error, kErrAarqFailed);
  EXPECT_EQ(rejected.diagnostic, 13);
  // Too short to hold the result, or without its tags: no association.
  EXPECT_EQ(DecodeAare(aare(0, 0).data(), 24, 0).error, kErrCosemMismatch);
  Bytes untagged = aare(0, 0);
  untagged[13] = 0x00;
  EXPECT_EQ(DecodeAare(untagged.data(), 43, 0).error, kErrCosemMismatch);
  const Bytes tiny = {0x61, 0x00};
  EXPECT_EQ(DecodeAare(tiny.data(), 2, 0).error, kErrCosemMismatch);

  // High level: a challenge must be whole and fit the 128-byte work buffer.
  Bytes hls = aare(0, 14);
  hls.resize(42);
  hls[40] = 0x80;
  hls[41] = 4;
  hls.insert(hls.end(), {1, 2, 3, 4});
  AareOutcome c = DecodeAare(hls.data(), static_cast<int>(hls.size()), 2);
  EXPECT_TRUE(c.challenge);
  EXPECT_EQ(c.challengeLength, 4);
  EXPECT_EQ(DecodeAare(hls.data(), static_cast<int>(hls.size()) - 1, 2).error, kErrCosemMismatch);
  hls[41] = 200;
  hls.resize(42 + 200, 0);
  EXPECT_EQ(DecodeAare(hls.data(), static_cast<int>(hls.size()), 2).error, kErrApduSize);
}

TEST(DlmsCosemObject, NewObjectAndObisText) {
  auto o = dlmstest::ComPtr<IZrCosemObject>::attach(CZrCosemObject::create());
  USHORT cls = 0;
  BYTE index = 0;
  TZrCosemDataType type = cdtARRAY;
  o->get_ClassID(&cls);
  o->get_index(&index);
  o->GetDataType(&type);
  EXPECT_EQ(cls, 3);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(dlmstest::accessResultOf(o.get()), 1);
  EXPECT_EQ(type, cdtNONE);
  struct Row {
    const char16_t* text;
    const char* back;
  };
  const Row rows[] = {{u"0.0.0.0.0.0", "0.0.0.0.0.0"},
                      {u"0.0.40.0.0.255", "0.0.40.0.0.255"},
                      {u"1.0.1.8.7", "1.0.1.8.0.7"},
                      {u"1.0.1.8.0.255.9", "1.0.1.8.0.255"},
                      {u" 1.x.257.-1.0.255", "1.0.1.255.0.255"}};
  for (const Row& r : rows) {
    o->put_OBIS(zr::com::Bstr(r.text).get());
    zr::com::Bstr t;
    o->get_OBIS(t.put());
    EXPECT_EQ(dlmstest::narrow(t.get()), r.back);
  }
  o->put_Data(0, 0x1A);
  o->GetDataType(&type);
  EXPECT_EQ(type, cdtDATE);
  // Positions and lengths outside the 2048-byte buffer are refused.
  BYTE b = 0;
  EXPECT_EQ(o->put_Data(2048, 1), E_INVALIDARG);
  EXPECT_EQ(o->get_Data(-1, &b), E_INVALIDARG);
  EXPECT_EQ(o->put_DataLen(2049), E_INVALIDARG);
  EXPECT_EQ(o->put_DataLen(2048), S_OK);
}

}  // namespace
