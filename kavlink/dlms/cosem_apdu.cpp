#include "dlms/cosem_apdu.h"

#include <cstring>

#include "dlms/axdr.h"

namespace kavlink {
namespace {

constexpr uint8_t kAppContext[] = {0xA1, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01};
constexpr uint8_t kInitiateRequest[] = {0xBE, 0x10, 0x04, 0x0E, 0x01, 0x00, 0x00, 0x00, 0x06,
                                        0x5F, 0x1F, 0x04, 0x00, 0x00, 0x7E, 0x1F, 0xFF, 0xFF};
constexpr uint8_t kMechanismPrefix[] = {0x8A, 0x02, 0x07, 0x80, 0x8B, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x02};

constexpr uint8_t kGetRequest = 0xC0;
constexpr uint8_t kSetRequest = 0xC1;
constexpr uint8_t kActionRequest = 0xC3;
constexpr int kDescriptor = 9;  // class id, OBIS, attribute or method

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
  *q++ = 0x60;
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
    *q++ = 0xAC;
    *q++ = static_cast<uint8_t>(p + 2);
    *q++ = 0x80;
    *q++ = p;
    std::memcpy(q, password.data(), p);
    q += p;
  }
  std::memcpy(q, kInitiateRequest, sizeof kInitiateRequest);
  q += sizeof kInitiateRequest;
  return static_cast<int>(q - out);
}

int BuildGetRequest(uint8_t* out, int room, const CosemData& o) {
  if (room < 13) return 0;
  uint8_t* q = putDescriptor(putHeader(out, kGetRequest, 1), o);
  *q++ = 0x00;
  return 13;
}

int BuildSetRequest(uint8_t* out, int room, const CosemData& o) {
  const int n = dataLenOf(o);
  if (room < 13 + n) return 0;
  uint8_t* q = putDescriptor(putHeader(out, kSetRequest, 1), o);
  *q++ = 0x00;
  std::memcpy(q, o.data, static_cast<size_t>(n));
  return 13 + n;
}

int BuildActionRequest(uint8_t* out, int room, const CosemData& o) {
  const int n = dataLenOf(o);
  if (room < 13 + n) return 0;
  uint8_t* q = putDescriptor(putHeader(out, kActionRequest, 1), o);
  if (n == 0) {
    *q++ = 0x00;
    return 13;
  }
  *q++ = 0x01;
  std::memcpy(q, o.data, static_cast<size_t>(n));
  return 13 + n;
}

int BuildGetListRequest(uint8_t* out, int room, CosemData* const* items, int n) {
  if (n < 0 || n > kMaxListItems || room < 4 + 10 * n) return 0;
  uint8_t* q = putHeader(out, kGetRequest, 3);
  *q++ = static_cast<uint8_t>(n);
  for (int k = 0; k < n; ++k) {
    q = putDescriptor(q, *items[k]);
    *q++ = 0x00;
  }
  return static_cast<int>(q - out);
}

int BuildSetListRequest(uint8_t* out, int room, CosemData* const* items, int n) {
  if (n < 0 || n > kMaxListItems) return 0;
  long need = 5 + 10L * n;
  for (int k = 0; k < n; ++k) need += dataLenOf(*items[k]);
  if (need > room) return 0;
  uint8_t* q = putHeader(out, kSetRequest, 4);
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
  long need = 5 + static_cast<long>(kDescriptor) * n;
  for (int k = 0; k < n; ++k) need += dataLenOf(*items[k]) > 0 ? dataLenOf(*items[k]) : 1;
  if (need > room) return 0;
  uint8_t* q = putHeader(out, kActionRequest, 3);
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
  if (int e = checkHeader(p, R, kTagGetResponse, 1, 5)) return e;
  if (p[3] == 0) return takeData(o, p + 4, R - 4);
  o.setResultByte(p[4]);
  return kErrGetFailed;
}

int DecodeSetReply(const uint8_t* p, int R, CosemData& o) {
  if (int e = checkHeader(p, R, kTagSetResponse, 1, 4)) return e;
  if (p[3] == 0) {
    o.accessResult = 0;
    return 0;
  }
  o.setResultByte(p[3]);
  return kErrSetFailed;
}

int DecodeActionReply(const uint8_t* p, int R, CosemData& o) {
  if (int e = checkHeader(p, R, kTagActionResponse, 1, 4)) return e;
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
  if (int e = checkHeader(p, R, kTagGetResponse, 3, 4)) return e;
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
  if (int e = checkHeader(p, R, kTagSetResponse, 5, 4)) return e;
  if (p[3] != n || R < 4 + n) return kErrSetFailed;
  for (int k = 0; k < n; ++k) items[k]->setResultByte(p[4 + k]);
  return 0;
}

int DecodeActionListReply(const uint8_t* p, int R, CosemData* const* items, int n) {
  if (int e = checkHeader(p, R, kTagActionResponse, 3, 4)) return e;
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
  const bool shaped = R >= 25 && p[0] == kTagAare && p[1] + 2 <= R && p[2] == 0xA1 && p[13] == 0xA2 && p[14] == 0x03 &&
                      p[15] == 0x02 && p[16] == 0x01 && p[18] == 0xA3 && p[19] == 0x05 &&
                      (p[20] == 0xA1 || p[20] == 0xA2) && p[21] == 0x03 && p[22] == 0x02 && p[23] == 0x01;
  if (!shaped) {
    out.error = R >= 1 && p[0] == kTagConfirmedServiceError ? kErrConfirmedServiceError : kErrCosemMismatch;
    return out;
  }
  out.diagnostic = p[24];
  if (p[17] != 0) {
    out.error = kErrAarqFailed;
    return out;
  }
  if (level != 2 || p[24] != kAuthDiagnosticRequired) return out;
  if (R < 42 || p[40] != 0x80 || 42 + p[41] > R) {
    out.error = kErrCosemMismatch;
    return out;
  }
  if (p[41] > kAuthBufferSize) {
    out.error = kErrApduSize;
    return out;
  }
  out.challenge = true;
  out.challengeStart = 42;
  out.challengeLength = p[41];
  return out;
}

}  // namespace kavlink
