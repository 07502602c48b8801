// The xDLMS logical-name APDUs the client sends and the answers it reads: the AARQ and
// AARE of the association, GET, SET and ACTION requests, single and with list. Plain
// bytes in and out; the COM control binds them to its objects and its link.
#pragma once

#include <cstdint>
#include <string_view>

namespace kavlink {

constexpr int kCosemDataSize = 2048;

// One COSEM attribute or method reference with its data, held as the A-XDR bytes that
// travel in the APDU (tag first).
struct CosemData {
  uint16_t classId = 3;
  uint8_t index = 1;
  uint8_t obis[6] = {};
  uint8_t data[kCosemDataSize] = {};
  int32_t dataLen = 0;
  uint8_t accessType = 0;
  uint8_t accessResult = 1;

  // The clear state; the access type is left as it is.
  void clear();
  // Replaces the data with one byte (an access or action result).
  void setResultByte(uint8_t r);
};

// The client's last-error codes; their texts are the control's.
enum DlmsErrorCode : int32_t {
  kErrFrameMismatch = 1,
  kErrFcs = 2,
  kErrAddress = 3,
  kErrDisconnected = 4,
  kErrRefused = 5,
  kErrApduSize = 6,
  kErrConfirmedServiceError = 7,
  kErrCosemMismatch = 8,
  kErrGetFailed = 9,
  kErrSetFailed = 10,
  kErrActionFailed = 11,
  kErrAarqFailed = 12,
  kErrListReply = 13,
  kErrTimeout = 14,
};

// Confirmed, high priority, invoke id 1: a meter answers only confirmed requests.
constexpr uint8_t kInvokeIdAndPriority = 0xC1;
constexpr uint8_t kTagAare = 0x61;
constexpr uint8_t kTagGetResponse = 0xC4;
constexpr uint8_t kTagSetResponse = 0xC5;
constexpr uint8_t kTagActionResponse = 0xC7;
constexpr uint8_t kTagConfirmedServiceError = 0x0E;
// The AARQ's lengths are one-byte BER lengths: 46 + the password must stay below 128.
constexpr int kMaxPasswordBytes = 127 - 46;
// A list count travels in one byte.
constexpr int kMaxListItems = 255;
constexpr int kAuthBufferSize = 128;
constexpr uint8_t kAuthDiagnosticRequired = 14;
constexpr uint8_t kAuthDiagnosticFailed = 13;

// The AARQ for an authentication level (1 low, 2 high, any other none) into out (at least
// 48 + kMaxPasswordBytes bytes); its length, or 0 when the password is too long.
int BuildAarq(uint8_t* out, int32_t level, std::string_view password);

// Requests into out of room bytes; their length, or 0 when they do not fit.
int BuildGetRequest(uint8_t* out, int room, const CosemData& o);
int BuildSetRequest(uint8_t* out, int room, const CosemData& o);
int BuildActionRequest(uint8_t* out, int room, const CosemData& o);
int BuildGetListRequest(uint8_t* out, int room, CosemData* const* items, int n);
int BuildSetListRequest(uint8_t* out, int room, CosemData* const* items, int n);
int BuildActionListRequest(uint8_t* out, int room, CosemData* const* items, int n);

// Answers of R bytes: 0 when the service succeeded (the method's result TRUE), else the
// error code for the method's FALSE. The objects get their data and access results.
int DecodeGetReply(const uint8_t* p, int R, CosemData& o);
int DecodeSetReply(const uint8_t* p, int R, CosemData& o);
int DecodeActionReply(const uint8_t* p, int R, CosemData& o);
int DecodeGetListReply(const uint8_t* p, int R, CosemData* const* items, int n);
int DecodeSetListReply(const uint8_t* p, int R, CosemData* const* items, int n);
int DecodeActionListReply(const uint8_t* p, int R, CosemData* const* items, int n);

struct AareOutcome {
  int error = 0;  // 0: associated, or a challenge to answer
  uint8_t diagnostic = 0;
  bool challenge = false;  // high level: the server's challenge follows
  int challengeStart = 0;
  int challengeLength = 0;
};
AareOutcome DecodeAare(const uint8_t* p, int R, int32_t level);

}  // namespace kavlink
