#include "dlms/dlms_server.h"

#include <algorithm>
#include <cstring>

#include "dlms/axdr.h"
#include "dlms/hdlc.h"

namespace kavlink {
namespace {

// Link parameters the UA announces: 128-byte information fields, windows of 1.
constexpr uint8_t kUaInformation[] = {0x81, 0x80, 0x12, 0x05, 0x01, 0x80, 0x06, 0x01, 0x80, 0x07, 0x04,
                                      0x00, 0x00, 0x00, 0x01, 0x08, 0x04, 0x00, 0x00, 0x00, 0x01};
constexpr uint8_t kLlcRequest[] = {0xE6, 0xE6, 0x00};
constexpr uint8_t kLlcAnswer[] = {0xE6, 0xE7, 0x00};
constexpr uint8_t kAareTemplate[] = {0x61, 0x29, 0xA1, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08,
                                     0x01, 0x01, 0xA2, 0x03, 0x02, 0x01, 0x00, 0xA3, 0x05, 0xA1, 0x03,
                                     0x02, 0x01, 0x00, 0xBE, 0x10, 0x04, 0x0E, 0x08, 0x00, 0x06, 0x5F,
                                     0x1F, 0x04, 0x00, 0x00, 0x50, 0x1F, 0x01, 0xF4, 0x00, 0x07};
constexpr uint8_t kAareHls[] = {0x88, 0x02, 0x07, 0x80, 0x89, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x02, 0x02, 0xAA};
constexpr uint8_t kAareUserInfo[] = {0xBE, 0x10, 0x04, 0x0E, 0x08, 0x00, 0x06, 0x5F, 0x1F,
                                     0x04, 0x00, 0x00, 0x50, 0x1F, 0x01, 0xF4, 0x00, 0x07};
constexpr uint8_t kConformance[] = {0x40, 0x1F, 0x04, 0x00};
constexpr uint8_t kAppContext[] = {0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01};
constexpr uint8_t kMechanismHeader[] = {0x8A, 0x02, 0x07, 0x80, 0x8B, 0x07};
constexpr uint8_t kMechanismLow[] = {0x60, 0x85, 0x74, 0x05, 0x08, 0x02, 0x01};
constexpr uint8_t kMechanismHigh[] = {0x60, 0x85, 0x74, 0x05, 0x08, 0x02, 0x02};
constexpr uint8_t kUserInfoHeader[] = {0xBE, 0x10, 0x04, 0x0E};
constexpr uint8_t kInitiatePrefix[] = {0x01, 0x00, 0x00, 0x00, 0x06, 0x5F, 0x1F, 0x04, 0x00};
constexpr uint8_t kInitiateRejected[] = {0x06, 0x04, 0x04, 0x0E, 0x01, 0x06, 0x01};
constexpr uint8_t kUnsupported[] = {0x0E, 0x01, 0x03, 0x02};
constexpr uint8_t kGetBeforeAssociation[] = {0x0E, 0x05, 0x05, 0x01};
constexpr uint8_t kWriteBeforeAssociation[] = {0x0E, 0x06, 0x05, 0x01};
static_assert(sizeof kAareTemplate == 43);

constexpr uint8_t kOtherReason = 0xFA;
constexpr uint8_t kDefaultRefusal = 3;
// The AARE's lengths are one-byte BER lengths (byte 1 = challenge + 58).
constexpr int kMaxChallenge = 127 - 58;
constexpr int kFirstSegment = 125;
constexpr int kNextSegment = 128;

int MemCompare(const uint8_t* a, const uint8_t* b, int n) { return std::memcmp(a, b, static_cast<size_t>(n)); }
void MemCopy(uint8_t* to, const uint8_t* from, int n) { std::memmove(to, from, static_cast<size_t>(n)); }
void MemFill(uint8_t* to, uint8_t v, int n) { std::memset(to, v, static_cast<size_t>(n)); }

template <size_t N>
bool startsWith(const uint8_t* p, int avail, const uint8_t (&bytes)[N]) {
  return avail >= static_cast<int>(N) && MemCompare(p, bytes, static_cast<int>(N)) == 0;
}

template <size_t N>
int answerWith(CosemServerState& s, const uint8_t (&bytes)[N]) {
  MemCopy(s.answer, bytes, static_cast<int>(N));
  return static_cast<int>(N);
}

// ---- the link ------------------------------------------------------------------------

void HdlcServerResetReceive(DlmsServerContext& ctx) {
  MemFill(ctx.frame, 0, kServerFrameSize);
  ctx.frameLength = 0;
  ctx.frameComplete = 0;
}

void dropFrame(DlmsServerContext& ctx) {
  HdlcServerResetReceive(ctx);
  ctx.connected = 0;
}

bool HdlcServerParseAddress(DlmsServerContext& ctx) {
  if (ctx.frameLength == 0) return false;
  HdlcFrameView v;
  if (ReadHdlcFrame(ctx.frame, ctx.frameLength, 3, ctx.physicalAddr, ctx.logicalAddr, v) != HdlcRead::kOk) return false;
  ctx.headerSize = static_cast<uint8_t>(v.header);
  MemCopy(ctx.serverAddr, ctx.frame + 3, v.header - 1);
  ctx.clientAddr = ctx.frame[v.header + 2];
  ctx.control = v.control;
  ctx.frameKind = v.kind;
  ctx.infoStart = static_cast<uint16_t>(v.infoStart);
  ctx.infoLength = static_cast<uint16_t>(v.infoLength);
  return true;
}

HdlcFrameKind HdlcServerFrameType(uint8_t control) { return ClassifyControlByte(control); }

// Builds the answer frame around the n information bytes already at the information
// offset of the frame buffer.
int HdlcServerBuildFrame(DlmsServerContext& ctx, uint8_t control, int n) {
  uint8_t address[kHdlcMaxAddressBytes];
  address[0] = ctx.clientAddr;
  MemCopy(address + 1, ctx.serverAddr, ctx.headerSize - 1);
  ctx.control = control;
  ctx.frameKind = HdlcServerFrameType(control);
  ctx.infoLength = static_cast<uint16_t>(n);
  return BuildHdlcFrame(ctx.frame, address, ctx.headerSize, control, n, ctx.pending > 0);
}

uint8_t* answerInfo(DlmsServerContext& ctx) { return ctx.frame + HdlcInfoOffset(ctx.headerSize); }

template <size_t N>
int frameWith(DlmsServerContext& ctx, uint8_t control, const uint8_t (&info)[N]) {
  MemCopy(answerInfo(ctx), info, static_cast<int>(N));
  return HdlcServerBuildFrame(ctx, control, static_cast<int>(N));
}

int frameReject(DlmsServerContext& ctx, uint8_t received, uint8_t a, uint8_t b) {
  const uint8_t info[] = {received, a, b};
  return frameWith(ctx, kCtrlFrmr, info);
}

int HdlcServerSendDm(DlmsServerContext& ctx) { return HdlcServerBuildFrame(ctx, kCtrlDm, 0); }

int HdlcServerSnrm(DlmsServerContext& ctx) {
  ctx.connected = 1;
  ctx.vr = 0;
  ctx.vs = 0;
  ctx.pending = 0;
  ctx.cosem.associated = 0;
  ctx.cosem.hlsPending = 0;
  ctx.cosem.requestLength = 0;
  ctx.cosem.answerLength = 0;
  return frameWith(ctx, kCtrlUa, kUaInformation);
}

int HdlcServerDisconnect(DlmsServerContext& ctx) {
  int n = frameWith(ctx, kCtrlUa, kUaInformation);
  ctx.connected = 0;
  ctx.cosem.associated = 0;
  ctx.cosem.hlsPending = 0;
  return n;
}

int HdlcServerNextSegment(DlmsServerContext& ctx) {
  const uint8_t received = ctx.control;
  if (ctx.pending > 0) {
    if (ReceivedNr(received) != ctx.vs) return frameReject(ctx, received, 0x22, 0x08);
    const int piece = std::min<int>(ctx.pending, kNextSegment);
    MemCopy(answerInfo(ctx), ctx.cosem.answer + (ctx.cosem.answerLength - ctx.pending), piece);
    ctx.pending = static_cast<uint16_t>(ctx.pending - piece);
    int n = HdlcServerBuildFrame(ctx, IFrameControl(ctx.vr, ctx.vs), piece);
    ctx.vs = (ctx.vs + 1) & 7;
    return n;
  }
  const uint8_t control = ctx.frameKind == hfkRR ? received : RrControl(ctx.vr);
  return HdlcServerBuildFrame(ctx, control, 0);
}

int HdlcServerInfoFrame(DlmsServerContext& ctx) {
  const uint8_t received = ctx.control;
  if (ReceivedNs(received) != ctx.vr || ReceivedNr(received) != ctx.vs) return frameReject(ctx, received, 0x22, 0x08);
  const uint8_t* info = ctx.frame + ctx.infoStart;
  if (!startsWith(info, ctx.infoLength, kLlcRequest)) return HdlcServerNextSegment(ctx);
  const int A = CosemServerHandleApdu(ctx.cosem, info + 3, ctx.infoLength - 3);
  ctx.cosem.answerLength = static_cast<uint16_t>(A);
  const int first = std::min(A, kFirstSegment);
  uint8_t* out = answerInfo(ctx);
  MemCopy(out, kLlcAnswer, 3);
  MemCopy(out + 3, ctx.cosem.answer, first);
  ctx.pending = static_cast<uint16_t>(A > kFirstSegment ? A - kFirstSegment : 0);
  ctx.vr = (ctx.vr + 1) & 7;
  int n = HdlcServerBuildFrame(ctx, IFrameControl(ctx.vr, ctx.vs), 3 + first);
  ctx.vs = (ctx.vs + 1) & 7;
  return n;
}

// ---- the COSEM services --------------------------------------------------------------

uint8_t refusal(const CosemServerRequest& r) { return r.result != 0 ? r.result : kDefaultRefusal; }

void readDescriptor(const uint8_t* d, CosemServerRequest& r) {
  r.classId = static_cast<uint16_t>(d[0] * 256 + d[1]);
  MemCopy(r.obis, d + 2, 6);
  r.id = d[8];
}

// Asks the host about one item whose answer may go to answer[at ..] up to the end of the
// answer buffer; whether it was accepted. An answer that would not fit is a refusal.
bool askHost(CosemServerState& s, CosemServerRequest& r, int at) {
  r.answer = s.answer + at;
  r.answerLength = 0;
  r.answerRoom = static_cast<uint16_t>(at < kServerAnswerSize ? kServerAnswerSize - at : 0);
  bool accepted = s.callback(&s, &r) != 0;
  if (r.answerLength > r.answerRoom) {
    r.answerLength = 0;
    return false;
  }
  return accepted;
}

int CosemServerAssociate(CosemServerState& s, const uint8_t* p, int L) {
  s.associated = 0;
  s.hlsPending = 0;
  uint8_t d = 0;
  const uint8_t* mechanism = nullptr;
  const uint8_t* authValue = nullptr;
  int authLength = 0;
  int ui = 13;
  if (L < 13 || p[2] != 0xA1 || MemCompare(p + 3, kAppContext, sizeof kAppContext) != 0) {
    d = 2;
  } else if (L > 13 && p[13] == 0x8A) {
    if (L < 30 || !startsWith(p + 13, L - 13, kMechanismHeader) || p[26] != 0xAC || p[28] != 0x80 ||
        p[27] != p[29] + 2 || 30 + p[29] > L) {
      d = 11;
    } else {
      mechanism = p + 19;
      authValue = p + 30;
      authLength = p[29];
      ui = 30 + authLength;
    }
  }
  if (d == 0 && !startsWith(p + ui, L - ui, kUserInfoHeader)) d = 1;

  MemCopy(s.answer, kAareTemplate, sizeof kAareTemplate);
  MemCopy(s.answer + 37, kConformance, sizeof kConformance);
  const bool level1 = s.authLevel == 1;
  const bool level2 = s.authLevel == 2;
  int challenge = 0;
  if (d == 0 && (level1 || level2)) {
    if (!mechanism) {
      d = 12;
    } else if (MemCompare(mechanism, level1 ? kMechanismLow : kMechanismHigh, sizeof kMechanismLow) != 0) {
      d = 11;
    } else {
      CosemServerRequest r;
      r.service = level1 ? kServiceLowAuth : kServiceHighAuthStart;
      r.data = authValue;
      r.dataLength = static_cast<uint16_t>(authLength);
      if (!askHost(s, r, 42)) {
        d = 13;
      } else if (level2) {
        // The challenge must leave the AARE's one-byte lengths intact.
        if (r.answerLength > kMaxChallenge) d = 13;
        challenge = r.answerLength;
      }
    }
  }
  if (d == 0 && !startsWith(p + ui + 4, L - ui - 4, kInitiatePrefix)) d = 1;

  if (d != 0) {
    MemCopy(s.answer, kAareTemplate, sizeof kAareTemplate);
    s.answer[17] = 1;
    s.answer[24] = d;
    if (d == 1) {
      MemCopy(s.answer + 26, kInitiateRejected, sizeof kInitiateRejected);
      s.answer[1] = 0x1F;
      return 33;
    }
    return static_cast<int>(sizeof kAareTemplate);
  }
  if (level2) {
    s.answer[24] = 0x0E;
    MemCopy(s.answer + 25, kAareHls, sizeof kAareHls);
    s.answer[39] = static_cast<uint8_t>(challenge + 2);
    s.answer[40] = 0x80;
    s.answer[41] = static_cast<uint8_t>(challenge);
    uint8_t* u = s.answer + 42 + challenge;
    MemCopy(u, kAareUserInfo, sizeof kAareUserInfo);
    MemCopy(u + 12, kConformance, sizeof kConformance);
    s.answer[1] = static_cast<uint8_t>(challenge + 58);
    s.hlsPending = 1;
    return challenge + 60;
  }
  s.associated = 1;
  return static_cast<int>(sizeof kAareTemplate);
}

int CosemServerGet(CosemServerState& s, const uint8_t* p, int L) {
  const uint8_t type = p[1];
  const uint8_t id = p[2];
  uint8_t* a = s.answer;
  a[0] = 0xC4;
  a[2] = id;
  if (type == 1 && L >= 12) {
    CosemServerRequest r;
    readDescriptor(p + 3, r);
    r.service = kServiceGet;
    a[1] = 1;
    if (askHost(s, r, 4) && r.answerLength >= 1) {
      a[3] = 0;
      return 4 + r.answerLength;
    }
    a[3] = 1;
    a[4] = refusal(r);
    return 5;
  }
  if (type == 3 && L >= 4 && L == 4 + 10 * p[3]) {
    const int n = p[3];
    a[1] = 3;
    a[3] = static_cast<uint8_t>(n);
    int pos = 4;
    int k = 0;
    for (; k < n; ++k) {
      CosemServerRequest r;
      readDescriptor(p + 4 + 10 * k, r);
      r.service = kServiceGet;
      if (pos + 2 > kServerAnswerSize) break;
      if (askHost(s, r, pos + 1) && r.answerLength >= 1) {
        a[pos] = 0;
        pos += 1 + r.answerLength;
      } else {
        a[pos] = 1;
        a[pos + 1] = refusal(r);
        pos += 2;
      }
    }
    if (k == n) return pos;
  }
  a[1] = 1;
  a[3] = 1;
  a[4] = kOtherReason;
  return 5;
}

int CosemServerSet(CosemServerState& s, const uint8_t* p, int L) {
  const uint8_t type = p[1];
  uint8_t* a = s.answer;
  a[0] = 0xC5;
  a[1] = type;
  a[2] = p[2];
  if (type == 1 && L >= 13) {
    CosemServerRequest r;
    readDescriptor(p + 3, r);
    r.service = kServiceSet;
    r.data = p + 13;
    r.dataLength = static_cast<uint16_t>(L - 13);
    a[3] = askHost(s, r, 4) ? 0 : refusal(r);
    return 4;
  }
  if (type == 4 && L >= 4) {
    const int n = p[3];
    int pos = 5 + 10 * n;
    if (L >= pos && p[4 + 10 * n] == n) {
      a[1] = 5;
      a[3] = static_cast<uint8_t>(n);
      int k = 0;
      for (; k < n; ++k) {
        const int len = pos < L ? AxdrDataLength(p + pos, L - pos) : 0;
        if (len == 0) break;
        CosemServerRequest r;
        readDescriptor(p + 4 + 10 * k, r);
        r.service = kServiceSet;
        r.data = p + pos;
        r.dataLength = static_cast<uint16_t>(len);
        a[4 + k] = askHost(s, r, 4 + n) ? 0 : refusal(r);
        pos += len;
      }
      if (k == n) return 4 + n;
    }
  }
  a[1] = type;
  a[3] = kOtherReason;
  return 4;
}

int CosemServerAction(CosemServerState& s, const uint8_t* p, int L) {
  const uint8_t type = p[1];
  uint8_t* a = s.answer;
  a[0] = 0xC7;
  a[1] = type;
  a[2] = p[2];
  if (type == 1 && L >= 13) {
    CosemServerRequest r;
    readDescriptor(p + 3, r);
    const bool hlsReply = r.classId == 15 && r.id == 1;
    r.service = hlsReply ? kServiceHighAuthReply : kServiceAction;
    if (p[12] == 1) {
      r.data = p + 13;
      r.dataLength = static_cast<uint16_t>(L - 13);
    }
    const bool completesHls = hlsReply && s.hlsPending;
    if (hlsReply) s.hlsPending = 0;
    const bool accepted = askHost(s, r, 6);
    if (!accepted) {
      a[3] = refusal(r);
      a[4] = 0;
      return 5;
    }
    a[3] = 0;
    if (r.answerLength == 0) {
      a[4] = 0;
      return 5;
    }
    a[4] = 1;
    a[5] = 0;
    if (completesHls) s.associated = 1;
    return 6 + r.answerLength;
  }
  if (type == 3 && L >= 4) {
    const int n = p[3];
    int pos = 5 + 9 * n;
    if (L >= pos && p[4 + 9 * n] == n) {
      a[3] = static_cast<uint8_t>(n);
      int out = 4;
      int k = 0;
      for (; k < n; ++k) {
        const int len = pos < L ? AxdrDataLength(p + pos, L - pos) : 0;
        if (len == 0 || out + 4 > kServerAnswerSize) break;
        CosemServerRequest r;
        readDescriptor(p + 4 + 9 * k, r);
        r.service = kServiceAction;
        if (p[pos] != 0) {
          r.data = p + pos;
          r.dataLength = static_cast<uint16_t>(len);
        }
        pos += len;
        if (!askHost(s, r, out + 3)) {
          a[out++] = refusal(r);
        } else if (r.answerLength == 0) {
          a[out++] = 0;
          a[out++] = 0;
        } else {
          a[out] = 0;
          a[out + 1] = 1;
          a[out + 2] = 0;
          out += 3 + r.answerLength;
        }
      }
      if (k == n) return out;
    }
  }
  a[1] = type;
  a[3] = kOtherReason;
  a[4] = 0;
  return 5;
}

}  // namespace

void DlmsServerInit(DlmsServerContext& ctx, uint16_t physicalAddr, uint16_t logicalAddr, uint8_t authLevel,
                    CosemServerCallback callback) {
  ctx = DlmsServerContext{};
  ctx.physicalAddr = physicalAddr;
  ctx.logicalAddr = logicalAddr;
  ctx.cosem.authLevel = authLevel;
  ctx.cosem.callback = callback;
}

int HdlcServerReceive(DlmsServerContext& ctx, const uint8_t* bytes, int count) {
  if (count <= 0 || !bytes) return 0;
  if (ctx.frameLength == 0 || ctx.frameComplete) HdlcServerResetReceive(ctx);
  if (ctx.frameLength + count >= kServerFrameSize) {
    dropFrame(ctx);
    return 0;
  }
  MemCopy(ctx.frame + ctx.frameLength, bytes, count);
  ctx.frameLength = static_cast<uint16_t>(ctx.frameLength + count);
  switch (CheckHdlcGathered(ctx.frame, ctx.frameLength)) {
    case HdlcGather::kBadStart:
      dropFrame(ctx);
      return 0;
    case HdlcGather::kIncomplete:
      return 0;
    case HdlcGather::kComplete:
      break;
  }
  if (!HdlcCheckSumOk(ctx.frame, ctx.frameLength)) {
    dropFrame(ctx);
    return 0;
  }
  ctx.frameComplete = 1;
  return ctx.frameLength;
}

int HdlcServerHandleFrame(DlmsServerContext& ctx) {
  if (!ctx.frameComplete) return 0;
  if (!HdlcServerParseAddress(ctx)) {
    dropFrame(ctx);
    return 0;
  }
  int n = 0;
  const HdlcFrameKind kind = static_cast<HdlcFrameKind>(ctx.frameKind);
  if (kind == hfkUnknown) {
    n = frameReject(ctx, ctx.control, 0x00, 0x01);
  } else if (kind == hfkSNRM) {
    n = HdlcServerSnrm(ctx);
  } else if (!ctx.connected) {
    n = HdlcServerSendDm(ctx);
  } else if (kind == hfkI) {
    n = HdlcServerInfoFrame(ctx);
  } else if (kind == hfkRR) {
    n = HdlcServerNextSegment(ctx);
  } else if (kind == hfkDISC) {
    n = HdlcServerDisconnect(ctx);
  }
  if (n == 0) {
    dropFrame(ctx);
    return 0;
  }
  ctx.frameLength = 0;
  ctx.frameComplete = 0;
  return n;
}

int CosemServerHandleApdu(CosemServerState& s, const uint8_t* p, int L) {
  s.request = p;
  s.requestLength = static_cast<uint16_t>(L > 0 ? L : 0);
  // Every service reads its type and invoke id; shorter requests are of no kind.
  if (L < 3 || (p[0] != 0x60 && p[0] != 0xC0 && p[0] != 0xC1 && p[0] != 0xC3)) return answerWith(s, kUnsupported);
  if (!s.associated) {
    if (p[0] == 0xC0) return answerWith(s, kGetBeforeAssociation);
    const bool hlsReply = p[0] == 0xC3 && L >= 13 && p[1] == 1 && p[3] * 256 + p[4] == 15 && p[11] == 1;
    if (p[0] == 0xC1 || (p[0] == 0xC3 && !(hlsReply && s.hlsPending))) return answerWith(s, kWriteBeforeAssociation);
  }
  if (!s.callback) return answerWith(s, kUnsupported);
  MemFill(s.answer, 0, kServerAnswerSize);
  int n = 0;
  switch (p[0]) {
    case 0x60:
      n = CosemServerAssociate(s, p, L);
      break;
    case 0xC0:
      n = CosemServerGet(s, p, L);
      break;
    case 0xC1:
      n = CosemServerSet(s, p, L);
      break;
    default:
      n = CosemServerAction(s, p, L);
      break;
  }
  s.answerLength = static_cast<uint16_t>(n);
  return n;
}

}  // namespace kavlink
