// CZrDLMS, the link: the HDLC client engine's frames over the inner serial port or socket,
// the bytes that come back fed to it, and the error texts.
#include <cstdio>
#include <string>

#include "dlms/zr_dlms.h"

namespace kavlink {
namespace {

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

// n more bytes are in the engine's receive buffer: 1 when they completed what the engine
// waited for (a reply, or a segment to acknowledge), 0 when more must come, -1 when they
// failed (with the engine's code, if it has one).
int CZrDLMS::ParseHdlcFrame(int n) {
  switch (link_.received(n)) {
    case HdlcClient::Step::kNeedMore:
      return 0;
    case HdlcClient::Step::kError:
      if (link_.error() != 0) failWith(link_.error());
      return -1;
    case HdlcClient::Step::kReply:
    case HdlcClient::Step::kSendFrame:
      break;
  }
  return 1;
}

ByteChannel& CZrDLMS::port() { return channel_ == 0 ? ports_.serialChannel() : socketChannel_; }

void CZrDLMS::ChannelSend(const uint8_t* bytes, int length) {
  port().purge();
  port().write(bytes, static_cast<size_t>(length));
  link_.dropReceived();
  fireMsg(true);
}

int CZrDLMS::ChannelReceive() {
  const int r = receiveFrame();
  // The engine drops what it refuses itself; a silent or overfull line is ours.
  if (r == 0) link_.dropReceived();
  return r == 1 ? 1 : 0;
}

// A reply may come in several pieces, over TCP as well: each piece with a fresh wait.
int CZrDLMS::receiveFrame() {
  ByteChannel& in = port();
  const uint32_t timeout = waitTimeout_ > 0 ? static_cast<uint32_t>(waitTimeout_) : 0;
  for (;;) {
    const uint32_t n = in.waitForInput(timeout);
    if (n == 0 || n > static_cast<uint32_t>(link_.receiveRoom())) return failWith(kErrTimeout);
    const int parsed = ParseHdlcFrame(static_cast<int>(in.read(link_.receiveSpace(), n)));
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

int CZrDLMS::SendSnrm() {
  link_.BuildSnrm();
  ChannelSend(link_.tx(), link_.txLength());
  return ChannelReceive();
}

int CZrDLMS::SendDisc() {
  link_.BuildDisc();
  ChannelSend(link_.tx(), link_.txLength());
  return ChannelReceive();
}

int CZrDLMS::SendInformationFrame(const uint8_t* apdu, int length) {
  if (!link_.BuildInformationFrame(apdu, length)) return failWith(kErrApduSize);
  ChannelSend(link_.tx(), link_.txLength());
  return 1;
}

int CZrDLMS::ReceiveInformationFrames(uint8_t* buffer, uint8_t expectedTag) {
  link_.ExpectReply(buffer, expectedTag);
  for (;;) {
    if (!ChannelReceive()) return 0;
    if (!link_.frameToSend()) return link_.replyLength();
    // A segment: the RR asks for the next.
    ChannelSend(link_.tx(), link_.txLength());
  }
}

}  // namespace kavlink
