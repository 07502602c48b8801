// CZrDLMS, the link: HDLC frames over the inner serial port or socket, the gathering and
// checking of reply frames, reassembly of segmented replies, and the error texts.
#include <cstdio>
#include <cstring>
#include <string>

#include "dlms/zr_dlms.h"

namespace kavlink {
namespace {

constexpr uint8_t kLlcRequest[] = {0xE6, 0xE6, 0x00};
constexpr size_t kMaxThrownText = 127;

[[noreturn]] void ThrowErrorText(const std::string& text) { throw zr::com::ComError(text.substr(0, kMaxThrownText)); }

}  // namespace

const char* CZrDLMS::LastErrorText(int32_t code, int32_t value, char* buffer, size_t size) {
  const char* format = nullptr;
  switch (code) {
    case kErrFrameMismatch:
      return "HDLC Server responsed frame Mismatch!";
    case kErrFcs:
      return "HDLC frame FCS error!";
    case kErrAddress:
      return "HDLC frame address error!";
    case kErrDisconnected:
      return "HDLC is disconnected!";
    case kErrRefused:
      return "HDLC refused to answer!";
    case kErrApduSize:
      return "COSEM APDU Size is too large!";
    case kErrConfirmedServiceError:
      return "COSEM Confirmed Service Error!";
    case kErrCosemMismatch:
      return "COSE Server responsed frame Mismatch!";
    case kErrGetFailed:
      format = "COSEM GET responsed failed! Access Result = %d ";
      break;
    case kErrSetFailed:
      format = "COSEM SET responsed failed! Access Result = %d ";
      break;
    case kErrActionFailed:
      format = "COSEM ACTION responsed failed! Access Result = %d ";
      break;
    case kErrAarqFailed:
      format = "COSEM AARQ responsed failed! Diagnostics Result = %d ";
      break;
    case kErrTimeout:
      return "MAC wait responsed timeout!";
    default:
      return "Unknow error msg";
  }
  std::snprintf(buffer, size, format, value);
  return buffer;
}

int CZrDLMS::failWith(int32_t code) {
  lastError_ = code;
  return 0;
}

void CZrDLMS::fireMsg(bool tx) { events_.fireArgs(_IZrDLMSEvents::kOnDLMSMsg, BOOL{tx ? TRUE : FALSE}); }

int CZrDLMS::EncodeHdlcAddress(uint8_t* out) const {
  int n = EncodeServerAddress(physicalAddr_, logicalAddr_, out);
  out[n] = static_cast<uint8_t>(clientAddr_ * 2 + 1);
  return n + 1;
}

void CZrDLMS::BuildHdlcFrame(int infoLength) {
  uint8_t address[kHdlcMaxAddressBytes];
  const int n = EncodeHdlcAddress(address);
  infoLength_ = infoLength;
  txLength_ = static_cast<uint16_t>(kavlink::BuildHdlcFrame(tx_, address, n, control_, infoLength, false));
}

int CZrDLMS::ParseHdlcFrame() {
  switch (CheckHdlcGathered(rx_, rxCount_)) {
    case HdlcGather::kBadStart:
      rxCount_ = 0;
      return -1;
    case HdlcGather::kIncomplete:
      return 0;
    case HdlcGather::kComplete:
      break;
  }
  fireMsg(false);
  if (!HdlcCheckSumOk(rx_, rxCount_)) {
    rxCount_ = 0;
    failWith(kErrFcs);
    return -1;
  }
  HdlcFrameView v;
  switch (ReadHdlcFrame(rx_, rxCount_, 4, physicalAddr_, logicalAddr_, v)) {
    case HdlcRead::kOk:
      break;
    case HdlcRead::kAddressMismatch:
      rxCount_ = 0;
      failWith(kErrAddress);
      return -1;
    case HdlcRead::kTooShort:
      rxCount_ = 0;
      failWith(kErrApduSize);
      return -1;
  }
  control_ = v.control;
  frameKind_ = v.kind;
  infoLength_ = v.infoLength;
  infoStart_ = v.infoStart;
  segmented_ = v.segmented;
  return 1;
}

ByteChannel& CZrDLMS::port() { return channel_ == 0 ? ports_.serialChannel() : socketChannel_; }

void CZrDLMS::ChannelSend(const uint8_t* bytes, int length) {
  port().purge();
  port().write(bytes, static_cast<size_t>(length));
  rxCount_ = 0;
  fireMsg(true);
}

int CZrDLMS::ChannelReceive() {
  int r = receiveFrame();
  if (r == 1 && frameKind_ == hfkDM) r = failWith(kErrDisconnected);
  if (r != 1) {
    rxCount_ = 0;
    return 0;
  }
  return 1;
}

// A reply may come in several pieces, over TCP as well: each piece with a fresh wait.
int CZrDLMS::receiveFrame() {
  ByteChannel& in = port();
  const uint32_t timeout = waitTimeout_ > 0 ? static_cast<uint32_t>(waitTimeout_) : 0;
  for (;;) {
    const uint32_t n = in.waitForInput(timeout);
    if (n == 0 || rxCount_ + n >= static_cast<uint32_t>(kReceiveSize)) return failWith(kErrTimeout);
    rxCount_ = static_cast<uint16_t>(rxCount_ + in.read(rx_ + rxCount_, n));
    const int parsed = ParseHdlcFrame();
    if (parsed != 0) return parsed;
  }
}

void CZrDLMS::ResetChannel() {
  if (channel_ == 0) {
    ports_.serial().Close();
    ports_.serial().OpenPort();
    return;
  }
  socket_->Close();
  VARIANT_BOOL connected = VARIANT_FALSE;
  socket_->Connect(&connected);
  if (!connected) ThrowErrorText(std::string("Socket connect failed:  ") + socket_->ErrorText());
}

void CZrDLMS::CloseChannels() {
  ports_.serial().Close();
  socket_->Close();
}

int CZrDLMS::sendControlFrame(uint8_t control) {
  control_ = control;
  BuildHdlcFrame(0);
  ChannelSend(tx_, txLength_);
  return ChannelReceive();
}

int CZrDLMS::SendSnrm() {
  if (!sendControlFrame(kCtrlSnrm)) return 0;
  if (frameKind_ != hfkUA) return failWith(kErrFrameMismatch);
  nr_ = 0;
  ns_ = 0;
  return 1;
}

int CZrDLMS::SendDisc() {
  if (!sendControlFrame(kCtrlDisc)) return 0;
  if (frameKind_ != hfkUA && frameKind_ != hfkDISC) return failWith(kErrFrameMismatch);
  nr_ = 0;
  ns_ = 0;
  return 1;
}

void CZrDLMS::SendInformationFrame(const uint8_t* apdu, int length) {
  uint8_t address[kHdlcMaxAddressBytes];
  uint8_t* info = tx_ + HdlcInfoOffset(EncodeHdlcAddress(address));
  std::memcpy(info, kLlcRequest, sizeof kLlcRequest);
  std::memcpy(info + sizeof kLlcRequest, apdu, static_cast<size_t>(length));
  control_ = IFrameControl(nr_, ns_);
  BuildHdlcFrame(length + 3);
  // The one reply I-frame expected is counted in advance.
  nr_ = (nr_ + 1) & 7;
  ns_ = (ns_ + 1) & 7;
  ChannelSend(tx_, txLength_);
}

int CZrDLMS::ReceiveInformationFrames(uint8_t* buffer, uint8_t expectedTag) {
  std::memset(buffer, 0, kApduSize);
  if (!ChannelReceive()) return 0;
  int total = 0;
  for (int frames = 1;; ++frames) {
    if (frames > kMaxReplyFrames || total >= kApduSize) return failWith(kErrApduSize);
    if (frameKind_ != hfkI) return failWith(frameKind_ == hfkFRMR ? kErrRefused : kErrFrameMismatch);
    const uint8_t* info = rx_ + infoStart_;
    int n = infoLength_;
    if (frames == 1) {
      if (n < 3) return failWith(kErrApduSize);
      info += 3;
      n -= 3;
    }
    if (total + n > kApduSize) return failWith(kErrApduSize);
    std::memcpy(buffer + total, info, static_cast<size_t>(n));
    total += n;
    if (!segmented_) {
      if (total < 1 || buffer[0] != expectedTag)
        return failWith(buffer[0] == kTagConfirmedServiceError ? kErrConfirmedServiceError : kErrCosemMismatch);
      return total;
    }
    control_ = RrControl(nr_);
    BuildHdlcFrame(0);
    nr_ = (nr_ + 1) & 7;
    ChannelSend(tx_, txLength_);
    if (!ChannelReceive()) return 0;
  }
}

}  // namespace kavlink
