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
constexpr uint8_t kTagAarq = 0x60;
constexpr uint8_t kTagAare = 0x61;
constexpr uint8_t kTagGetRequest = 0xC0;
constexpr uint8_t kTagSetRequest = 0xC1;
constexpr uint8_t kTagActionRequest = 0xC3;
constexpr uint8_t kTagGetResponse = 0xC4;
constexpr uint8_t kTagSetResponse = 0xC5;
constexpr uint8_t kTagActionResponse = 0xC7;
constexpr uint8_t kTagConfirmedServiceError = 0x0E;
// Request and answer types behind the tag.
constexpr uint8_t kTypeNormal = 1;
constexpr uint8_t kTypeGetWithList = 3;
constexpr uint8_t kTypeSetWithList = 4;
constexpr uint8_t kTypeSetWithListAnswer = 5;
constexpr uint8_t kTypeActionWithList = 3;

// Attribute descriptors (class, OBIS, id) with the access-selection byte of GET and SET;
// ACTION's have none.
constexpr int kDescriptorAt = 3;
constexpr int kAttributeDescriptor = 10;
constexpr int kMethodDescriptor = 9;
constexpr int kNormalDataAt = 13;  // SET's value, ACTION's parameter behind its presence byte
constexpr int kActionPresenceAt = 12;

// Where the AARQ's parts sit in the one shape both sides use: application context at 2,
// then either the user information or the mechanism and calling authentication value.
constexpr int kAarqContextTagAt = 2;   // kBerContextName
constexpr int kAarqContextAt = 3;      // the application context name's length and value
constexpr int kAarqAfterContext = 13;  // kBerAcseRequirements or the user information
constexpr int kAarqMechanismAt = 19;   // the 7 bytes of the mechanism name
constexpr int kAarqAuthTagAt = 26;     // kBerCallingAuthValue, then its length
constexpr int kAarqAuthChoiceAt = 28;  // kBerCharString, then its length
constexpr int kAarqAuthValueAt = 30;
constexpr uint8_t kBerContextName = 0xA1;
constexpr uint8_t kBerAcseRequirements = 0x8A;
constexpr uint8_t kBerCallingAuthValue = 0xAC;
constexpr uint8_t kBerCharString = 0x80;

// Where the AARE's values sit: each behind its BER header, the challenge of the high level
// form last.
constexpr int kAareLengthAt = 1;
constexpr int kAareContextTagAt = 2;  // kBerContextName
constexpr int kAareResultTagAt = 13;  // kBerResult, then kAareIntegerHeader
constexpr int kAareResultAt = 17;
constexpr int kAareDiagnosticTagAt = 18;     // kBerResultSourceDiagnostic and its length 5
constexpr int kAareDiagnosticSourceAt = 20;  // kBerServiceUser or kBerServiceProvider, then kAareIntegerHeader
constexpr int kAareDiagnosticAt = 24;
constexpr int kAareChallengeTagLengthAt = 39;  // the responding authentication value's length
constexpr int kAareChallengeChoiceAt = 40;     // kBerCharString
constexpr int kAareChallengeLengthAt = 41;
constexpr int kAareChallengeAt = 42;
constexpr uint8_t kBerResult = 0xA2;
constexpr uint8_t kBerResultSourceDiagnostic = 0xA3;
constexpr uint8_t kBerServiceUser = 0xA1;
constexpr uint8_t kBerServiceProvider = 0xA2;
// A field's length (3), then a one-byte INTEGER: its tag (2) and length (1).
constexpr uint8_t kAareIntegerHeader[] = {0x03, 0x02, 0x01};

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
