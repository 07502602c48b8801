// The meter side of DLMS/COSEM: an engine that lets a host play a meter over HDLC or with
// bare APDUs. The host owns the transport and feeds received bytes in; the engine does the
// link (connect, disconnect, I-frames, segmentation of long answers), the association and
// the decoding of GET, SET and ACTION requests, and asks the host for every item through
// the request callback. Plain functions over one context record; no threads, no
// allocation.
#pragma once

#include <cstdint>

namespace kavlink {

constexpr int kServerFrameSize = 256;
constexpr int kServerAnswerSize = 1024;
// A long answer goes out in a first I-frame of this many APDU bytes (behind the LLC) and
// then in pieces of kServerNextSegment, each asked for by an RR: every frame fits the
// 128-byte information field the UA announces.
constexpr int kServerFirstSegment = 125;
constexpr int kServerNextSegment = 128;

// Services as the host sees them (the COSEM object's access type).
constexpr uint8_t kServiceGet = 0xC0;
constexpr uint8_t kServiceSet = 0xC1;
constexpr uint8_t kServiceAction = 0xC3;
constexpr uint8_t kServiceLowAuth = 0xF1;
constexpr uint8_t kServiceHighAuthStart = 0xF2;
constexpr uint8_t kServiceHighAuthReply = 0xF3;

// One item handed to the host.
struct CosemServerRequest {
  uint16_t classId = 0;
  uint8_t obis[6] = {};
  uint8_t id = 0;
  uint8_t result = 0;  // on refusal; 0 stands for 3
  uint8_t service = 0;
  const uint8_t* data = nullptr;
  uint16_t dataLength = 0;
  uint8_t* answer = nullptr;  // inside the answer buffer
  uint16_t answerLength = 0;
  uint16_t answerRoom = 0;  // bytes the answer may take there
};

struct CosemServerState;
// Nonzero: the item is accepted.
using CosemServerCallback = uint8_t (*)(CosemServerState* state, CosemServerRequest* request);

struct CosemServerState {
  const uint8_t* request = nullptr;
  uint16_t requestLength = 0;
  uint8_t answer[kServerAnswerSize] = {};
  uint16_t answerLength = 0;
  uint8_t associated = 0;
  uint8_t authLevel = 0;
  CosemServerCallback callback = nullptr;
  // Our own AARE asked for the high level authentication reply, which alone may then
  // complete the association.
  uint8_t hlsPending = 0;
};

struct DlmsServerContext {
  uint8_t frame[kServerFrameSize] = {};
  uint16_t frameLength = 0;
  uint8_t headerSize = 0;
  uint16_t physicalAddr = 1;
  uint16_t logicalAddr = 0;
  uint8_t clientAddr = 0;
  uint8_t control = 0;
  uint8_t frameKind = 0;
  uint16_t infoLength = 0;
  uint16_t infoStart = 0;
  uint8_t connected = 0;
  uint8_t vr = 0;
  uint8_t vs = 0;
  uint16_t pending = 0;
  CosemServerState cosem;
  // The rest of a long answer, kept by the link: the bare-APDU path answers into the
  // COSEM answer buffer and may be called between two segments.
  uint8_t segments[kServerAnswerSize - kServerFirstSegment] = {};
  uint16_t segmentsLength = 0;
  // The frame buffer holds a whole checked request (and nothing has answered it yet).
  uint8_t frameComplete = 0;
  uint8_t serverAddr[4] = {};
};

// Clears the context and takes the addresses, authentication level and callback.
void DlmsServerInit(DlmsServerContext& ctx, uint16_t physicalAddr, uint16_t logicalAddr, uint8_t authLevel,
                    CosemServerCallback callback);
// Appends received bytes; the length of the complete checked frame now held, or 0.
int HdlcServerReceive(DlmsServerContext& ctx, const uint8_t* bytes, int count);
// Answers the complete frame held; the answer frame's length (in ctx.frame), 0 for none.
int HdlcServerHandleFrame(DlmsServerContext& ctx);
// Answers one bare APDU into state.answer; the answer's length.
int CosemServerHandleApdu(CosemServerState& state, const uint8_t* p, int L);

}  // namespace kavlink
