// The client side of the HDLC link as DLMS uses it, without I/O: it builds the SNRM, DISC,
// I- and RR frames, gathers and checks the reply frames it is fed, keeps the sequence
// numbers and reassembles a reply that comes in several I-frames. Whoever owns the line
// writes the frame it built, puts the bytes that come back at receiveSpace() and tells it
// how many; it answers "need more", "a reply", "send this frame" or "error N" with a
// last-error code of the DLMS control.
//
// Threads: none of its own; a listener is called synchronously from inside received().
#pragma once

#include <cstdint>
#include <functional>

#include "dlms/hdlc.h"

namespace kavlink {

struct HdlcClientAddress {
  uint16_t physical = 1;  // server lower address
  uint16_t logical = 0;   // server upper address
  uint8_t client = 16;
};

class HdlcClient {
 public:
  static constexpr int kTransmitSize = 2048;
  static constexpr int kReceiveSize = 4096;
  static constexpr int kApduSize = 4096;
  static constexpr int kMaxReplyFrames = 6;

  enum class Step {
    kNeedMore,   // the frame is not complete yet
    kReply,      // the awaited answer is here (replyLength() bytes for a request)
    kSendFrame,  // a segment came: send the RR in tx() and keep feeding
    kError,      // error() tells which; 0 when the bytes were dropped without a code
  };

  // Read when a frame is built or checked: the control's properties write it directly.
  HdlcClientAddress address;
  // Called for every gathered frame whose flags and length are right, before its check
  // sum is tested, so that a listener can show it.
  std::function<void()> onFrameGathered;

  // The frames to send; each resets the receive state and leaves the frame in tx().
  void BuildSnrm();
  void BuildDisc();
  // An I-frame with the LLC header and the APDU; counts the one reply I-frame expected in
  // advance. False, with nothing built, when the APDU does not fit (requestRoom()).
  bool BuildInformationFrame(const uint8_t* apdu, int length);
  // Where the reply APDU to the last I-frame is reassembled (kApduSize bytes, cleared
  // here), and the tag its first byte must carry.
  void ExpectReply(uint8_t* buffer, uint8_t expectedTag);
  // The largest APDU one I-frame carries with the current addresses.
  int requestRoom() const;

  // Bytes gathered so far go below receiveSpace(); receiveRoom() more fit before the
  // receive buffer counts as full.
  uint8_t* receiveSpace() { return rx_ + rxCount_; }
  int receiveRoom() const { return kReceiveSize - 1 - rxCount_; }
  // n bytes were put at receiveSpace().
  Step received(int n);
  // Copies the bytes in and checks them (what a test or a fuzzer feeds); after a reply or
  // an error the bytes start a new frame.
  Step feed(const uint8_t* bytes, int n);
  void dropReceived() { rxCount_ = 0; }

  int error() const { return error_; }
  int replyLength() const { return replyLength_; }
  // A frame waits in tx() to be sent before the reply goes on.
  bool frameToSend() const { return frameToSend_; }
  const uint8_t* tx() const { return tx_; }
  int txLength() const { return txLength_; }
  const uint8_t* rx() const { return rx_; }
  int rxCount() const { return rxCount_; }

  // The address bytes of a request (server address, then client); their count.
  int EncodeHdlcAddress(uint8_t* out) const;

 private:
  enum class Awaiting { kAnyFrame, kUa, kUaOrDisc, kInformation };

  void BuildHdlcFrame(uint8_t control, int infoLength);
  void startExchange(Awaiting what);
  Step fail(int code, bool drop);
  Step ParseHdlcFrame(HdlcFrameView& v);
  Step takeInformation(const HdlcFrameView& v);

  uint8_t tx_[kTransmitSize] = {};
  uint8_t rx_[kReceiveSize] = {};
  int txLength_ = 0;
  int rxCount_ = 0;
  uint8_t nr_ = 0;
  uint8_t ns_ = 0;
  Awaiting awaiting_ = Awaiting::kAnyFrame;
  uint8_t* reply_ = nullptr;
  uint8_t expectedTag_ = 0;
  int frames_ = 0;
  int replyLength_ = 0;
  int error_ = 0;
  bool frameToSend_ = false;
  bool done_ = false;  // the last step was a reply or an error
};

}  // namespace kavlink
