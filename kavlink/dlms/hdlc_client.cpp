#include "dlms/hdlc_client.h"

#include <cstring>

#include "dlms/cosem_apdu.h"

namespace kavlink {
namespace {

constexpr uint8_t kLlcRequest[] = {0xE6, 0xE6, 0x00};
// The server's LLC header in front of the first segment; not compared.
constexpr int kLlcBytes = 3;

}  // namespace

int HdlcClient::EncodeHdlcAddress(uint8_t* out) const {
  const int n = EncodeServerAddress(address.physical, address.logical, out);
  out[n] = static_cast<uint8_t>(address.client * 2 + 1);
  return n + 1;
}

int HdlcClient::requestRoom() const {
  // The transmit buffer and the 11-bit length hold the header, the LLC bytes, the FCS and
  // the flags besides the request.
  uint8_t a[kHdlcMaxAddressBytes];
  return kTransmitSize - (EncodeHdlcAddress(a) + 9) - static_cast<int>(sizeof kLlcRequest);
}

void HdlcClient::BuildHdlcFrame(uint8_t control, int infoLength) {
  uint8_t a[kHdlcMaxAddressBytes];
  const int n = EncodeHdlcAddress(a);
  txLength_ = kavlink::BuildHdlcFrame(tx_, a, n, control, infoLength, false);
}

void HdlcClient::startExchange(Awaiting what) {
  awaiting_ = what;
  rxCount_ = 0;
  frames_ = 0;
  replyLength_ = 0;
  error_ = 0;
  frameToSend_ = false;
  done_ = false;
}

void HdlcClient::BuildSnrm() {
  BuildHdlcFrame(kCtrlSnrm, 0);
  startExchange(Awaiting::kUa);
}

void HdlcClient::BuildDisc() {
  BuildHdlcFrame(kCtrlDisc, 0);
  startExchange(Awaiting::kUaOrDisc);
}

bool HdlcClient::BuildInformationFrame(const uint8_t* apdu, int length) {
  if (length < 0 || length > requestRoom()) return false;
  uint8_t a[kHdlcMaxAddressBytes];
  uint8_t* info = tx_ + HdlcInfoOffset(EncodeHdlcAddress(a));
  std::memcpy(info, kLlcRequest, sizeof kLlcRequest);
  std::memcpy(info + sizeof kLlcRequest, apdu, static_cast<size_t>(length));
  BuildHdlcFrame(IFrameControl(nr_, ns_), length + static_cast<int>(sizeof kLlcRequest));
  // The one reply I-frame expected is counted in advance.
  nr_ = (nr_ + 1) & 7;
  ns_ = (ns_ + 1) & 7;
  startExchange(Awaiting::kAnyFrame);
  return true;
}

void HdlcClient::ExpectReply(uint8_t* buffer, uint8_t expectedTag) {
  std::memset(buffer, 0, kApduSize);
  reply_ = buffer;
  expectedTag_ = expectedTag;
  startExchange(Awaiting::kInformation);
}

HdlcClient::Step HdlcClient::fail(int code, bool drop) {
  error_ = code;
  if (drop) rxCount_ = 0;
  done_ = true;
  return Step::kError;
}

HdlcClient::Step HdlcClient::feed(const uint8_t* bytes, int n) {
  // A new reply after an answer or an error starts afresh.
  if (done_) startExchange(Awaiting::kAnyFrame);
  if (n > receiveRoom()) return fail(kErrTimeout, true);
  std::memcpy(receiveSpace(), bytes, static_cast<size_t>(n > 0 ? n : 0));
  return received(n);
}

HdlcClient::Step HdlcClient::received(int n) {
  frameToSend_ = false;
  if (n > receiveRoom()) return fail(kErrTimeout, true);
  if (n > 0) rxCount_ += n;
  HdlcFrameView v;
  const Step s = ParseHdlcFrame(v);
  if (s != Step::kReply) return s;
  switch (awaiting_) {
    case Awaiting::kAnyFrame:
      break;
    case Awaiting::kUa:
    case Awaiting::kUaOrDisc:
      if (v.kind != hfkUA && !(awaiting_ == Awaiting::kUaOrDisc && v.kind == hfkDISC))
        return fail(kErrFrameMismatch, false);
      nr_ = 0;
      ns_ = 0;
      break;
    case Awaiting::kInformation:
      return takeInformation(v);
  }
  done_ = true;
  return Step::kReply;
}

// One complete, checked frame from this server, or why not.
HdlcClient::Step HdlcClient::ParseHdlcFrame(HdlcFrameView& v) {
  switch (CheckHdlcGathered(rx_, rxCount_)) {
    case HdlcGather::kBadStart:
      return fail(0, true);
    case HdlcGather::kIncomplete:
      return Step::kNeedMore;
    case HdlcGather::kComplete:
      break;
  }
  if (onFrameGathered) onFrameGathered();
  if (!HdlcCheckSumOk(rx_, rxCount_)) return fail(kErrFcs, true);
  switch (ReadHdlcFrame(rx_, rxCount_, 4, address.physical, address.logical, v)) {
    case HdlcRead::kOk:
      break;
    case HdlcRead::kAddressMismatch:
      return fail(kErrAddress, true);
    case HdlcRead::kTooShort:
      return fail(kErrApduSize, true);
  }
  if (v.kind == hfkDM) return fail(kErrDisconnected, true);
  return Step::kReply;
}

HdlcClient::Step HdlcClient::takeInformation(const HdlcFrameView& v) {
  ++frames_;
  if (frames_ > kMaxReplyFrames || replyLength_ >= kApduSize) return fail(kErrApduSize, false);
  if (v.kind != hfkI) return fail(v.kind == hfkFRMR ? kErrRefused : kErrFrameMismatch, false);
  const uint8_t* info = rx_ + v.infoStart;
  int n = v.infoLength;
  if (frames_ == 1) {
    if (n < kLlcBytes) return fail(kErrApduSize, false);
    info += kLlcBytes;
    n -= kLlcBytes;
  }
  // The last frame may not carry the reply past its buffer either.
  if (replyLength_ + n > kApduSize) return fail(kErrApduSize, false);
  std::memcpy(reply_ + replyLength_, info, static_cast<size_t>(n));
  replyLength_ += n;
  if (!v.segmented) {
    if (replyLength_ < 1 || reply_[0] != expectedTag_)
      return fail(reply_[0] == kTagConfirmedServiceError ? kErrConfirmedServiceError : kErrCosemMismatch, false);
    done_ = true;
    return Step::kReply;
  }
  BuildHdlcFrame(RrControl(nr_), 0);
  nr_ = (nr_ + 1) & 7;
  // The next segment is gathered from the start of the buffer.
  rxCount_ = 0;
  frameToSend_ = true;
  return Step::kSendFrame;
}

}  // namespace kavlink
