#include "dlms/cosem_apdu.h"

#include <cstring>

#include "dlms/axdr.h"

namespace kavlink {
namespace {

constexpr uint8_t kAppContext[] = {kBerContextName, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01};
constexpr uint8_t kInitiateRequest[] = {0xBE, 0x10, 0x04, 0x0E, 0x01, 0x00, 0x00, 0x00, 0x06,
                                        0x5F, 0x1F, 0x04, 0x00, 0x00, 0x7E, 0x1F, 0xFF, 0xFF};
constexpr uint8_t kMechanismPrefix[] = {
    kBerAcseRequirements, 0x02, 0x07, 0x80, 0x8B, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x02};
// The AARQ is written front to back; its parts must land where the server reads them.
static_assert(kAarqContextTagAt + sizeof kAppContext == kAarqAfterContext);
static_assert(kAarqAfterContext + sizeof kMechanismPrefix + 1 == kAarqAuthTagAt);
static_assert(kAarqAuthTagAt + 2 == kAarqAuthChoiceAt && kAarqAuthChoiceAt + 2 == kAarqAuthValueAt);
static_assert(kDescriptorAt + kMethodDescriptor == kActionPresenceAt && kActionPresenceAt + 1 == kNormalDataAt);
static_assert(kAttributeDescriptor == kMethodDescriptor + 1);  // the access selection

uint8_t* putDescriptor(uint8_t* q, const CosemData& o) {
  *q++ = static_cast<uint8_t>(o.classId >> 8);
  *q++ = static_cast<uint8_t>(o.classId & 0xFF);
  std::memcpy(q, o.obis, 6);
  q += 6;
  *q++ = o.index;
  return q;
}

uint8_t* putHeader(uint8_t* q, uint8_t tag, uint8_t type) {
  *q++ = tag;
  *q++ = type;
  *q++ = kInvokeIdAndPriority;
  return q;
}

int dataLenOf(const CosemData& o) {
  return o.dataLen > 0 ? (o.dataLen < kCosemDataSize ? o.dataLen : kCosemDataSize) : 0;
}

// The first three bytes of an answer against the request: tag, type and invoke id (the
// service-class bit may differ: some meters echo an unconfirmed request's byte). A
// data-block answer is never what was asked for.
int checkHeader(const uint8_t* p, int R, uint8_t tag, uint8_t type, int minLength) {
  if (R < 1) return kErrCosemMismatch;
  if (p[0] == kTagConfirmedServiceError) return kErrConfirmedServiceError;
  if (p[0] != tag || R < 3 || p[1] != type) return kErrCosemMismatch;
  if ((p[2] & 0x0F) != (kInvokeIdAndPriority & 0x0F)) return kErrCosemMismatch;
  if (R < minLength) return kErrCosemMismatch;
  return 0;
}

// Takes the datum p[0 .. n-1] into o; a datum larger than the object holds is an error.
int takeData(CosemData& o, const uint8_t* p, int n) {
  if (n > kCosemDataSize) return kErrApduSize;
  std::memcpy(o.data, p, static_cast<size_t>(n));
  o.dataLen = n;
  o.accessResult = 0;
  return 0;
}

// The element at p[pos] of an answer of R bytes, as a list item's data.
int takeElement(CosemData& o, const uint8_t* p, int R, int pos, int& length) {
  length = pos < R ? AxdrDataLength(p + pos, R - pos) : 0;
  if (length < 2) return kErrListReply;
  return takeData(o, p + pos, length);
}

}  // namespace

void CosemData::clear() {
  classId = 3;
  index = 1;
  std::memset(obis, 0, sizeof obis);
  std::memset(data, 0, sizeof data);
  dataLen = 0;
  accessResult = 1;
}

void CosemData::setResultByte(uint8_t r) {
  accessResult = r;
  dataLen = 1;
  data[0] = r;
}

int BuildAarq(uint8_t* out, int32_t level, std::string_view password) {
  uint8_t* q = out;
  *q++ = kTagAarq;
  if (level != 1 && level != 2) {
    *q++ = 0x1D;
    std::memcpy(q, kAppContext, sizeof kAppContext);
    q += sizeof kAppContext;
  } else {
    if (password.size() > static_cast<size_t>(kMaxPasswordBytes)) return 0;
    const auto p = static_cast<uint8_t>(password.size());
    *q++ = static_cast<uint8_t>(p + 46);
    std::memcpy(q, kAppContext, sizeof kAppContext);
    q += sizeof kAppContext;
    std::memcpy(q, kMechanismPrefix, sizeof kMechanismPrefix);
    q += sizeof kMechanismPrefix;
    *q++ = level == 1 ? 0x01 : 0x02;
    *q++ = kBerCallingAuthValue;
    *q++ = static_cast<uint8_t>(p + 2);
    *q++ = kBerCharString;
    *q++ = p;
    std::memcpy(q, password.data(), p);
    q += p;
  }
  std::memcpy(q, kInitiateRequest, sizeof kInitiateRequest);
  q += sizeof kInitiateRequest;
  return static_cast<int>(q - out);
}

int BuildGetRequest(uint8_t* out, int room, const CosemData& o) {
  if (room < kNormalDataAt) return 0;
  uint8_t* q = putDescriptor(putHeader(out, kTagGetRequest, kTypeNormal), o);
  *q++ = 0x00;
  return kNormalDataAt;
}

int BuildSetRequest(uint8_t* out, int room, const CosemData& o) {
  const int n = dataLenOf(o);
  if (room < kNormalDataAt + n) return 0;
  uint8_t* q = putDescriptor(putHeader(out, kTagSetRequest, kTypeNormal), o);
  *q++ = 0x00;
  std::memcpy(q, o.data, static_cast<size_t>(n));
  return kNormalDataAt + n;
}

int BuildActionRequest(uint8_t* out, int room, const CosemData& o) {
  const int n = dataLenOf(o);
  if (room < kNormalDataAt + n) return 0;
  uint8_t* q = putDescriptor(putHeader(out, kTagActionRequest, kTypeNormal), o);
  if (n == 0) {
    *q++ = 0x00;
    return kNormalDataAt;
  }
  *q++ = 0x01;
  std::memcpy(q, o.data, static_cast<size_t>(n));
  return kNormalDataAt + n;
}

int BuildGetListRequest(uint8_t* out, int room, CosemData* const* items, int n) {
  if (n < 0 || n > kMaxListItems || room < 4 + kAttributeDescriptor * n) return 0;
  uint8_t* q = putHeader(out, kTagGetRequest, kTypeGetWithList);
  *q++ = static_cast<uint8_t>(n);
  for (int k = 0; k < n; ++k) {
    q = putDescriptor(q, *items[k]);
    *q++ = 0x00;
  }
  return static_cast<int>(q - out);
}

int BuildSetListRequest(uint8_t* out, int room, CosemData* const* items, int n) {
  if (n < 0 || n > kMaxListItems) return 0;
  long need = 5 + static_cast<long>(kAttributeDescriptor) * n;
  for (int k = 0; k < n; ++k) need += dataLenOf(*items[k]);
  if (need > room) return 0;
  uint8_t* q = putHeader(out, kTagSetRequest, kTypeSetWithList);
  *q++ = static_cast<uint8_t>(n);
  for (int k = 0; k < n; ++k) {
    q = putDescriptor(q, *items[k]);
    *q++ = 0x00;
  }
  *q++ = static_cast<uint8_t>(n);
  for (int k = 0; k < n; ++k) {
    const int len = dataLenOf(*items[k]);
    std::memcpy(q, items[k]->data, static_cast<size_t>(len));
    q += len;
  }
  return static_cast<int>(q - out);
}

int BuildActionListRequest(uint8_t* out, int room, CosemData* const* items, int n) {
  if (n < 0 || n > kMaxListItems) return 0;
  long need = 5 + static_cast<long>(kMethodDescriptor) * n;
  for (int k = 0; k < n; ++k) need += dataLenOf(*items[k]) > 0 ? dataLenOf(*items[k]) : 1;
  if (need > room) return 0;
  uint8_t* q = putHeader(out, kTagActionRequest, kTypeActionWithList);
  *q++ = static_cast<uint8_t>(n);
  for (int k = 0; k < n; ++k) q = putDescriptor(q, *items[k]);
  *q++ = static_cast<uint8_t>(n);
  for (int k = 0; k < n; ++k) {
    const int len = dataLenOf(*items[k]);
    if (len == 0) {
      *q++ = 0x00;
      continue;
    }
    std::memcpy(q, items[k]->data, static_cast<size_t>(len));
    q += len;
  }
  return static_cast<int>(q - out);
}

int DecodeGetReply(const uint8_t* p, int R, CosemData& o) {
  if (int e = checkHeader(p, R, kTagGetResponse, kTypeNormal, 5)) return e;
  if (p[3] == 0) return takeData(o, p + 4, R - 4);
  o.setResultByte(p[4]);
  return kErrGetFailed;
}

int DecodeSetReply(const uint8_t* p, int R, CosemData& o) {
  if (int e = checkHeader(p, R, kTagSetResponse, kTypeNormal, 4)) return e;
  if (p[3] == 0) {
    o.accessResult = 0;
    return 0;
  }
  o.setResultByte(p[3]);
  return kErrSetFailed;
}

int DecodeActionReply(const uint8_t* p, int R, CosemData& o) {
  if (int e = checkHeader(p, R, kTagActionResponse, kTypeNormal, 4)) return e;
  if (p[3] != 0) {
    o.setResultByte(p[3]);
    return kErrActionFailed;
  }
  if (R < 5) return kErrCosemMismatch;
  if (p[4] == 0) {
    o.dataLen = 0;
    o.accessResult = 0;
    return 0;
  }
  if (R < 7) return kErrCosemMismatch;
  if (p[5] == 0) return takeData(o, p + 6, R - 6);
  o.setResultByte(p[6]);
  return 0;
}

int DecodeGetListReply(const uint8_t* p, int R, CosemData* const* items, int n) {
  if (int e = checkHeader(p, R, kTagGetResponse, kTypeGetWithList, 4)) return e;
  if (p[3] != n) return kErrListReply;
  int pos = 4;
  for (int k = 0; k < n; ++k) {
    if (pos >= R) return kErrListReply;
    CosemData& o = *items[k];
    if (p[pos] == 1) {
      if (pos + 1 >= R) return kErrListReply;
      o.setResultByte(p[pos + 1]);
      pos += 2;
    } else if (p[pos] == 0) {
      int length = 0;
      if (int e = takeElement(o, p, R, pos + 1, length)) return e;
      pos += 1 + length;
    } else {
      return kErrListReply;
    }
  }
  return 0;
}

int DecodeSetListReply(const uint8_t* p, int R, CosemData* const* items, int n) {
  if (int e = checkHeader(p, R, kTagSetResponse, kTypeSetWithListAnswer, 4)) return e;
  if (p[3] != n || R < 4 + n) return kErrSetFailed;
  for (int k = 0; k < n; ++k) items[k]->setResultByte(p[4 + k]);
  return 0;
}

int DecodeActionListReply(const uint8_t* p, int R, CosemData* const* items, int n) {
  if (int e = checkHeader(p, R, kTagActionResponse, kTypeActionWithList, 4)) return e;
  if (p[3] != n) return kErrActionFailed;
  int pos = 4;
  for (int k = 0; k < n; ++k) {
    if (pos >= R) return kErrListReply;
    CosemData& o = *items[k];
    const uint8_t r = p[pos];
    if (r != 0) {
      o.setResultByte(r);
      pos += 1;
      continue;
    }
    if (pos + 1 >= R) return kErrListReply;
    if (p[pos + 1] == 0) {
      o.accessResult = 0;
      pos += 2;
      continue;
    }
    if (pos + 2 >= R) return kErrListReply;
    if (p[pos + 2] == 0) {
      int length = 0;
      if (int e = takeElement(o, p, R, pos + 3, length)) return e;
      pos += 3 + length;
    } else {
      if (pos + 3 >= R) return kErrListReply;
      o.setResultByte(p[pos + 3]);
      pos += 4;
    }
  }
  return 0;
}

AareOutcome DecodeAare(const uint8_t* p, int R, int32_t level) {
  AareOutcome out;
  // The result and its diagnostic sit at fixed places; a reply without the tags around
  // them says nothing about the association.
  auto integerAt = [p](int at) { return std::memcmp(p + at, kAareIntegerHeader, sizeof kAareIntegerHeader) == 0; };
  const bool shaped =
      R > kAareDiagnosticAt && p[0] == kTagAare && p[kAareLengthAt] + 2 <= R &&
      p[kAareContextTagAt] == kBerContextName && p[kAareResultTagAt] == kBerResult && integerAt(kAareResultTagAt + 1) &&
      p[kAareDiagnosticTagAt] == kBerResultSourceDiagnostic && p[kAareDiagnosticTagAt + 1] == 0x05 &&
      (p[kAareDiagnosticSourceAt] == kBerServiceUser || p[kAareDiagnosticSourceAt] == kBerServiceProvider) &&
      integerAt(kAareDiagnosticSourceAt + 1);
  if (!shaped) {
    out.error = R >= 1 && p[0] == kTagConfirmedServiceError ? kErrConfirmedServiceError : kErrCosemMismatch;
    return out;
  }
  out.diagnostic = p[kAareDiagnosticAt];
  if (p[kAareResultAt] != 0) {
    out.error = kErrAarqFailed;
    return out;
  }
  if (level != 2 || p[kAareDiagnosticAt] != kAuthDiagnosticRequired) return out;
  if (R < kAareChallengeAt || p[kAareChallengeChoiceAt] != kBerCharString ||
      kAareChallengeAt + p[kAareChallengeLengthAt] > R) {
    out.error = kErrCosemMismatch;
    return out;
  }
  if (p[kAareChallengeLengthAt] > kAuthBufferSize) {
    out.error = kErrApduSize;
    return out;
  }
  out.challenge = true;
  out.challengeStart = kAareChallengeAt;
  out.challengeLength = p[kAareChallengeLengthAt];
  return out;
}

}  // namespace kavlink
