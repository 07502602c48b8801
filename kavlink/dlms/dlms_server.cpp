#include "dlms/dlms_server.h"

#include <algorithm>
#include <cstring>

#include "dlms/axdr.h"
#include "dlms/cosem_apdu.h"
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
// The template is read by the client at the shared positions.
static_assert(kAareTemplate[kAareContextTagAt] == kBerContextName && kAareTemplate[kAareResultTagAt] == kBerResult &&
              kAareTemplate[kAareDiagnosticTagAt] == kBerResultSourceDiagnostic &&
              kAareTemplate[kAareDiagnosticSourceAt] == kBerServiceUser);

// The InitiateRequest starts behind the 4-byte user-information header.
constexpr int kUserInfoHeaderBytes = 4;

// Positions in the AARE template and its high level form besides the shared ones.
constexpr int kAareHlsAt = 25;               // kAareHls in place of the user information
constexpr int kAareInitiateRejectedAt = 26;  // kInitiateRejected behind BE
constexpr int kAareConformanceAt = 37;       // conformance and max PDU size
constexpr int kUserInfoConformanceAt = 12;   // in kAareUserInfo
// The high level AARE carries these bytes besides the challenge; byte 1 counts all but
// the tag and the length byte.
constexpr int kAareHlsBytes = 60;
static_assert(kAareHlsAt + sizeof kAareHls == kAareChallengeTagLengthAt);
constexpr uint8_t kAareRejectedPermanent = 1;
constexpr uint8_t kAareInitiateRejectedLength = 0x1F;
constexpr int kAareInitiateRejectedBytes = 33;

// acse-service-user diagnostics (13 and 14 are the client's as well).
constexpr uint8_t kDiagNoReason = 1;
constexpr uint8_t kDiagContextNotSupported = 2;
constexpr uint8_t kDiagMechanismNotRecognised = 11;
constexpr uint8_t kDiagMechanismRequired = 12;
constexpr uint8_t kDiagAuthFailed = kAuthDiagnosticFailed;
constexpr uint8_t kDiagAuthRequired = kAuthDiagnosticRequired;

// The association object's method 1 carries the client's high level authentication reply.
constexpr uint16_t kAssociationClass = 15;
constexpr uint8_t kReplyToHlsMethod = 1;

constexpr uint8_t kOtherReason = 0xFA;
constexpr uint8_t kDefaultRefusal = 3;
// The AARE's lengths are one-byte BER lengths (byte 1 = challenge + 58).
constexpr int kMaxChallenge = 127 - (kAareHlsBytes - 2);

// FRMR reasons: the control byte is unknown, or a sequence number is out of turn.
constexpr uint8_t kFrmrUnknownControl[] = {0x00, 0x01};
constexpr uint8_t kFrmrSequence[] = {0x22, 0x08};

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

int frameReject(DlmsServerContext& ctx, uint8_t received, const uint8_t (&reason)[2]) {
  const uint8_t info[] = {received, reason[0], reason[1]};
  return frameWith(ctx, kCtrlFrmr, info);
}

int HdlcServerSendDm(DlmsServerContext& ctx) { return HdlcServerBuildFrame(ctx, kCtrlDm, 0); }

int HdlcServerSnrm(DlmsServerContext& ctx) {
  ctx.connected = 1;
  ctx.vr = 0;
  ctx.vs = 0;
  ctx.pending = 0;
  ctx.segmentsLength = 0;
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
    if (ReceivedNr(received) != ctx.vs) return frameReject(ctx, received, kFrmrSequence);
    const int piece = std::min<int>(ctx.pending, kServerNextSegment);
    MemCopy(answerInfo(ctx), ctx.segments + (ctx.segmentsLength - ctx.pending), piece);
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
  if (ReceivedNs(received) != ctx.vr || ReceivedNr(received) != ctx.vs)
    return frameReject(ctx, received, kFrmrSequence);
  const uint8_t* info = ctx.frame + ctx.infoStart;
  if (!startsWith(info, ctx.infoLength, kLlcRequest)) return HdlcServerNextSegment(ctx);
  const int A = CosemServerHandleApdu(ctx.cosem, info + sizeof kLlcRequest,
                                      ctx.infoLength - static_cast<int>(sizeof kLlcRequest));
  const int first = std::min(A, kServerFirstSegment);
  uint8_t* out = answerInfo(ctx);
  MemCopy(out, kLlcAnswer, sizeof kLlcAnswer);
  MemCopy(out + sizeof kLlcAnswer, ctx.cosem.answer, first);
  ctx.segmentsLength = static_cast<uint16_t>(A - first);
  MemCopy(ctx.segments, ctx.cosem.answer + first, ctx.segmentsLength);
  ctx.pending = ctx.segmentsLength;
  ctx.vr = (ctx.vr + 1) & 7;
  int n = HdlcServerBuildFrame(ctx, IFrameControl(ctx.vr, ctx.vs), static_cast<int>(sizeof kLlcAnswer) + first);
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
  int ui = kAarqAfterContext;
  if (L < kAarqAfterContext || p[kAarqContextTagAt] != kBerContextName ||
      MemCompare(p + kAarqContextAt, kAppContext, sizeof kAppContext) != 0) {
    d = kDiagContextNotSupported;
  } else if (L > kAarqAfterContext && p[kAarqAfterContext] == kBerAcseRequirements) {
    if (L < kAarqAuthValueAt || !startsWith(p + kAarqAfterContext, L - kAarqAfterContext, kMechanismHeader) ||
        p[kAarqAuthTagAt] != kBerCallingAuthValue || p[kAarqAuthChoiceAt] != kBerCharString ||
        p[kAarqAuthTagAt + 1] != p[kAarqAuthChoiceAt + 1] + 2 || kAarqAuthValueAt + p[kAarqAuthChoiceAt + 1] > L) {
      d = kDiagMechanismNotRecognised;
    } else {
      mechanism = p + kAarqMechanismAt;
      authValue = p + kAarqAuthValueAt;
      authLength = p[kAarqAuthChoiceAt + 1];
      ui = kAarqAuthValueAt + authLength;
    }
  }
  if (d == 0 && !startsWith(p + ui, L - ui, kUserInfoHeader)) d = kDiagNoReason;

  MemCopy(s.answer, kAareTemplate, sizeof kAareTemplate);
  MemCopy(s.answer + kAareConformanceAt, kConformance, sizeof kConformance);
  const bool level1 = s.authLevel == 1;
  const bool level2 = s.authLevel == 2;
  int challenge = 0;
  if (d == 0 && (level1 || level2)) {
    if (!mechanism) {
      d = kDiagMechanismRequired;
    } else if (MemCompare(mechanism, level1 ? kMechanismLow : kMechanismHigh, sizeof kMechanismLow) != 0) {
      d = kDiagMechanismNotRecognised;
    } else {
      CosemServerRequest r;
      r.service = level1 ? kServiceLowAuth : kServiceHighAuthStart;
      r.data = authValue;
      r.dataLength = static_cast<uint16_t>(authLength);
      if (!askHost(s, r, kAareChallengeAt)) {
        d = kDiagAuthFailed;
      } else if (level2) {
        // The challenge must leave the AARE's one-byte lengths intact.
        if (r.answerLength > kMaxChallenge) d = kDiagAuthFailed;
        challenge = r.answerLength;
      }
    }
  }
  const int initiate = ui + kUserInfoHeaderBytes;
  if (d == 0 && !startsWith(p + initiate, L - initiate, kInitiatePrefix)) d = kDiagNoReason;

  if (d != 0) {
    MemCopy(s.answer, kAareTemplate, sizeof kAareTemplate);
    s.answer[kAareResultAt] = kAareRejectedPermanent;
    s.answer[kAareDiagnosticAt] = d;
    if (d == kDiagNoReason) {
      MemCopy(s.answer + kAareInitiateRejectedAt, kInitiateRejected, sizeof kInitiateRejected);
      s.answer[kAareLengthAt] = kAareInitiateRejectedLength;
      return kAareInitiateRejectedBytes;
    }
    return static_cast<int>(sizeof kAareTemplate);
  }
  if (level2) {
    s.answer[kAareDiagnosticAt] = kDiagAuthRequired;
    MemCopy(s.answer + kAareHlsAt, kAareHls, sizeof kAareHls);
    s.answer[kAareChallengeTagLengthAt] = static_cast<uint8_t>(challenge + 2);
    s.answer[kAareChallengeChoiceAt] = kBerCharString;
    s.answer[kAareChallengeLengthAt] = static_cast<uint8_t>(challenge);
    uint8_t* u = s.answer + kAareChallengeAt + challenge;
    MemCopy(u, kAareUserInfo, sizeof kAareUserInfo);
    MemCopy(u + kUserInfoConformanceAt, kConformance, sizeof kConformance);
    s.answer[kAareLengthAt] = static_cast<uint8_t>(challenge + kAareHlsBytes - 2);
    s.hlsPending = 1;
    return challenge + kAareHlsBytes;
  }
  s.associated = 1;
  return static_cast<int>(sizeof kAareTemplate);
}

int CosemServerGet(CosemServerState& s, const uint8_t* p, int L) {
  const uint8_t type = p[1];
  const uint8_t id = p[2];
  uint8_t* a = s.answer;
  a[0] = kTagGetResponse;
  a[2] = id;
  // Normal: C4 01 id 00 data, or C4 01 id 01 result.
  // The access-selection byte is not read.
  if (type == kTypeNormal && L >= kDescriptorAt + kAttributeDescriptor - 1) {
    CosemServerRequest r;
    readDescriptor(p + kDescriptorAt, r);
    r.service = kServiceGet;
    a[1] = kTypeNormal;
    if (askHost(s, r, 4) && r.answerLength >= 1) {
      a[3] = 0;
      return 4 + r.answerLength;
    }
    a[3] = 1;
    a[4] = refusal(r);
    return 5;
  }
  // With list: C4 03 id n, then per item 00 data or 01 result.
  if (type == kTypeGetWithList && L >= 4 && L == 4 + kAttributeDescriptor * p[3]) {
    const int n = p[3];
    a[1] = kTypeGetWithList;
    a[3] = static_cast<uint8_t>(n);
    int pos = 4;
    int k = 0;
    for (; k < n; ++k) {
      CosemServerRequest r;
      readDescriptor(p + 4 + kAttributeDescriptor * k, r);
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
  a[1] = kTypeNormal;
  a[3] = 1;
  a[4] = kOtherReason;
  return 5;
}

int CosemServerSet(CosemServerState& s, const uint8_t* p, int L) {
  const uint8_t type = p[1];
  uint8_t* a = s.answer;
  a[0] = kTagSetResponse;
  a[1] = type;
  a[2] = p[2];
  // Normal: C5 01 id result.
  if (type == kTypeNormal && L >= kNormalDataAt) {
    CosemServerRequest r;
    readDescriptor(p + kDescriptorAt, r);
    r.service = kServiceSet;
    r.data = p + kNormalDataAt;
    r.dataLength = static_cast<uint16_t>(L - kNormalDataAt);
    a[3] = askHost(s, r, 4) ? 0 : refusal(r);
    return 4;
  }
  // With list: n descriptors, n again, the n values; C5 05 id n and a result per item.
  if (type == kTypeSetWithList && L >= 4) {
    const int n = p[3];
    int pos = 5 + kAttributeDescriptor * n;
    if (L >= pos && p[4 + kAttributeDescriptor * n] == n) {
      a[1] = kTypeSetWithListAnswer;
      a[3] = static_cast<uint8_t>(n);
      int k = 0;
      for (; k < n; ++k) {
        const int len = pos < L ? AxdrDataLength(p + pos, L - pos) : 0;
        if (len == 0) break;
        CosemServerRequest r;
        readDescriptor(p + 4 + kAttributeDescriptor * k, r);
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
  a[0] = kTagActionResponse;
  a[1] = type;
  a[2] = p[2];
  // Normal: C7 01 id result 00, or C7 01 id 00 01 00 data.
  if (type == kTypeNormal && L >= kNormalDataAt) {
    CosemServerRequest r;
    readDescriptor(p + kDescriptorAt, r);
    const bool hlsReply = r.classId == kAssociationClass && r.id == kReplyToHlsMethod;
    r.service = hlsReply ? kServiceHighAuthReply : kServiceAction;
    if (p[kActionPresenceAt] == 1) {
      r.data = p + kNormalDataAt;
      r.dataLength = static_cast<uint16_t>(L - kNormalDataAt);
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
  // With list: n descriptors, n again, a parameter (or 00) per item; C7 03 id n, then per
  // item 00 00, 00 01 00 data, or the result alone.
  if (type == kTypeActionWithList && L >= 4) {
    const int n = p[3];
    int pos = 5 + kMethodDescriptor * n;
    if (L >= pos && p[4 + kMethodDescriptor * n] == n) {
      a[3] = static_cast<uint8_t>(n);
      int out = 4;
      int k = 0;
      for (; k < n; ++k) {
        const int len = pos < L ? AxdrDataLength(p + pos, L - pos) : 0;
        if (len == 0 || out + 4 > kServerAnswerSize) break;
        CosemServerRequest r;
        readDescriptor(p + 4 + kMethodDescriptor * k, r);
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
    n = frameReject(ctx, ctx.control, kFrmrUnknownControl);
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
  const uint8_t tag = L >= 3 ? p[0] : 0;
  if (tag != kTagAarq && tag != kTagGetRequest && tag != kTagSetRequest && tag != kTagActionRequest)
    return answerWith(s, kUnsupported);
  if (!s.associated) {
    if (tag == kTagGetRequest) return answerWith(s, kGetBeforeAssociation);
    // Only the reply our own AARE asked for may come before the association.
    const bool hlsReply = tag == kTagActionRequest && L >= kNormalDataAt && p[1] == kTypeNormal &&
                          p[kDescriptorAt] * 256 + p[kDescriptorAt + 1] == kAssociationClass &&
                          p[kDescriptorAt + 8] == kReplyToHlsMethod;
    if (tag == kTagSetRequest || (tag == kTagActionRequest && !(hlsReply && s.hlsPending)))
      return answerWith(s, kWriteBeforeAssociation);
  }
  if (!s.callback) return answerWith(s, kUnsupported);
  MemFill(s.answer, 0, kServerAnswerSize);
  int n = 0;
  switch (tag) {
    case kTagAarq:
      n = CosemServerAssociate(s, p, L);
      break;
    case kTagGetRequest:
      n = CosemServerGet(s, p, L);
      break;
    case kTagSetRequest:
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
