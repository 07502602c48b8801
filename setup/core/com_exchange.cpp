#include "core/com_exchange.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/setup_error.h"
#include "core/system_fun.h"
#include "text/ansi.h"

using zr::com::Bstr;
using zr::com::ComPtr;

namespace zr::setup {
namespace {

Bstr toBstr(const std::string& narrow) { return Bstr(text::ansiToWide(narrow)); }

std::string frameText(kavlink::IFrame645* f) {
  Bstr t;
  checkCom(f->GetFrameString(t.put()));
  return text::wideToAnsi(t.view());
}

std::string addressOf(kavlink::IFrame645* f) {
  Bstr a;
  checkCom(f->get_Address(a.put()));
  return text::wideToAnsi(a.view());
}

// The program's own frame buffers: a frame serialises into 512 bytes (the longest frame
// the component can make is 522, so the buffer is sized for that), a remote reply is used
// up to 512 bytes.
constexpr size_t kFrameBuffer = 522;
constexpr LONG kRemoteReplyLimit = 512;

}  // namespace

void checkCom(HRESULT h) {
  if (SUCCEEDED(h)) return;
  ComPtr<IErrorInfo> info;
  if (h == DISP_E_EXCEPTION && GetErrorInfo(0, info.put()) == S_OK && info) {
    Bstr d;
    info->GetDescription(d.put());
    throw SetupError(text::wideToAnsi(d.view()));
  }
  char buf[48];
  std::snprintf(buf, sizeof buf, "Component call failed (0x%08X)", static_cast<unsigned>(h));
  throw SetupError(buf);
}

ComExchange::ComExchange(const FormFields& fields, UiPort& ui) : fields_(fields), ui_(ui) {
  HRESULT h = CoCreateInstance(kavlink::CLSID_ZrCommDLT645, nullptr, CLSCTX_INPROC_SERVER, kavlink::IZrCommDLT645::iid,
                               zrComm_.putVoid());
  if (FAILED(h)) throw SetupError("The communication component is not registered");
}

ComExchange::~ComExchange() = default;

std::unique_ptr<ComExchange> makeComExchange(FormFields& form, UiPort& ui) {
  return std::make_unique<ComExchange>(form, ui);
}

void ComExchange::FormShow(const ExchangeSettings& settings) {
  settings_ = settings;
  ComPtr<kavlink::IZrSerial> serial;
  checkCom(zrComm_->get_Serial(serial.put()));
  checkCom(serial->put_BaudRate(static_cast<kavlink::TBaudRate>(settings_.BaudRate)));
  checkCom(serial->put_StopBits(kavlink::sbOneStopBit));
  checkCom(serial->put_ParityBits(kavlink::prEven));
  checkCom(serial->put_DataBits(kavlink::dbEight));
  checkCom(zrComm_->put_WaitTimeout(static_cast<ULONG>(settings_.Wtime)));
  RequestFrame = newFrame();
  ReplyFrame = newFrame();
  loraSequence = LoraSequence();
  if (!socket_) {
    HRESULT h = CoCreateInstance(kavlink::CLSID_ZrSocket, nullptr, CLSCTX_INPROC_SERVER, kavlink::IZrSocket::iid,
                                 socket_.putVoid());
    if (FAILED(h)) throw SetupError("The communication component is not registered");
  }
}

ComPtr<kavlink::IFrame645> ComExchange::newFrame() {
  ComPtr<kavlink::IFrame645> f;
  checkCom(zrComm_->GetNewIFrame645(f.put()));
  return f;
}

void ComExchange::openSerialPort(const std::string& portName) {
  ComPtr<kavlink::IZrSerial> serial;
  checkCom(zrComm_->get_Serial(serial.put()));
  checkCom(serial->put_Port(toBstr(portName).get()));
  checkCom(serial->Open());
}

void ComExchange::closeSerialPort() {
  ComPtr<kavlink::IZrSerial> serial;
  if (SUCCEEDED(zrComm_->get_Serial(serial.put())) && serial) serial->Close();
}

ComPtr<kavlink::IFrame645> ComExchange::ExchangeFrame(kavlink::IFrame645* request) {
  ComPtr<kavlink::IFrame645> reply;
  if (!fields_.isLocalChannel()) {
    reply = ExchangeFrameRemote(request);
  } else if (!settings_.lora) {
    checkCom(zrComm_->Comm(request, reply.put()));
  } else {
    reply = exchangeWrapped(request);
  }
  if (!reply) return nullptr;
  // Only a reply from the addressed meter counts (case matters: a meter ID typed with
  // lower-case hex letters never matches).
  if (addressOf(request) != addressOf(reply.get())) return nullptr;
  return reply;
}

ComPtr<kavlink::IFrame645> ComExchange::exchangeWrapped(kavlink::IFrame645* request) {
  uint8_t frame[kFrameBuffer];
  LONG length = 0;
  checkCom(request->ToBuffer(reinterpret_cast<PTRBUF>(frame), &length));
  // A frame that does not fit the radio module's buffer is refused (LoraWrap throws).
  std::vector<uint8_t> message =
      LoraWrap(std::span<const uint8_t>(frame, static_cast<size_t>(length)), loraSequence.current());
  ui_.appendLog(loraCrcLogLine(loraCrcCovered(message)));
  loraSequence.advance();
  ComPtr<kavlink::IZrSerial> serial;
  checkCom(zrComm_->get_Serial(serial.put()));
  VARIANT_BOOL sent = 0;
  checkCom(serial->Send(reinterpret_cast<PTRBUF>(message.data()), static_cast<LONG>(message.size()), &sent));
  // The reply's wrapper needs no unwrapping: the frame search skips what stands before it.
  ComPtr<kavlink::IFrame645> reply;
  checkCom(zrComm_->Recv(reply.put()));
  return reply;
}

ComPtr<kavlink::IFrame645> ComExchange::ExchangeFrameRemote(kavlink::IFrame645* request) {
  if (!socket_) return nullptr;
  uint8_t frame[kFrameBuffer] = {};
  LONG length = 0;
  checkCom(request->ToBuffer(reinterpret_cast<PTRBUF>(frame), &length));
  VARIANT_BOOL sent = 0;
  checkCom(socket_->Send(reinterpret_cast<PTRBUF>(frame), length, &sent));
  LONG ready = 0;
  checkCom(socket_->WaitForData(settings_.Wtime, &ready));
  if (ready <= 0) return nullptr;
  // The socket fills up to its BufferSize: receive into room for all of it, use at most
  // 512 bytes.
  LONG bufferSize = 0;
  checkCom(socket_->get_BufferSize(&bufferSize));
  std::vector<uint8_t> received(static_cast<size_t>(std::max<LONG>(bufferSize, 1024)), 0);
  LONG count = 0;
  checkCom(socket_->Recv(reinterpret_cast<PTRBUF>(received.data()), &count));
  if (count <= 0) return nullptr;
  count = std::min(count, kRemoteReplyLimit);
  ComPtr<kavlink::IFrame645> reply = newFrame();
  LONG at = -1;
  checkCom(reply->FromBuffer(reinterpret_cast<PTRBUF>(received.data()), count, &at));
  // No frame in what came back is no reply, never an empty frame that might pass the
  // address check.
  if (at < 0) return nullptr;
  return reply;
}

bool ComExchange::ReadDataItem(const std::string& meterId, const std::string& di1, std::string& value,
                               const std::string& di0) {
  RequestFrame = newFrame();
  checkCom(RequestFrame->put_Address(toBstr(meterId).get()));
  checkCom(RequestFrame->put_CtrlWord(0x01));
  checkCom(RequestFrame->put_DLen(2));
  const auto lo = static_cast<BYTE>(HexTextToInt(di0));
  const auto hi = static_cast<BYTE>(HexTextToInt(di1));
  checkCom(RequestFrame->put_Data(0, lo));
  checkCom(RequestFrame->put_Data(1, hi));

  bool ok = false;
  for (int attempt = 1; attempt <= settings_.RetryCount; ++attempt) {
    ReplyFrame = ExchangeFrame(RequestFrame.get());
    if (!ReplyFrame) continue;
    BYTE control = 0;
    checkCom(ReplyFrame->get_CtrlWord(&control));
    if (control == 0xC1) continue;
    // A reply to another item (a late answer to an earlier request on the LoRa or remote
    // channel) is no reply to this one.
    LONG length = 0;
    checkCom(ReplyFrame->get_DLen(&length));
    if (control == 0x81 && length >= 2) {
      BYTE d0 = 0, d1 = 0;
      checkCom(ReplyFrame->get_Data(0, &d0));
      checkCom(ReplyFrame->get_Data(1, &d1));
      if (d0 != lo || d1 != hi) continue;
    }
    ok = true;
    break;
  }
  if (!ok) {
    value = "Return null!";
    return false;
  }
  LONG length = 0;
  checkCom(ReplyFrame->get_DLen(&length));
  for (LONG k = length - 1; k >= 2; --k) {
    BYTE b = 0;
    checkCom(ReplyFrame->get_Data(k, &b));
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", b);
    value += hex;
  }
  return true;
}

std::string ComExchange::prepareRequest(const FrameRequest& request, bool fresh) {
  if (fresh || !RequestFrame) RequestFrame = newFrame();
  checkCom(RequestFrame->put_Address(toBstr(request.address).get()));
  checkCom(RequestFrame->put_CtrlWord(request.control));
  checkCom(RequestFrame->put_DLen(static_cast<LONG>(request.data.size())));
  for (size_t k = 0; k < request.data.size(); ++k)
    checkCom(RequestFrame->put_Data(static_cast<LONG>(k), request.data[k]));
  return frameText(RequestFrame.get());
}

std::optional<FrameReply> ComExchange::exchangeRequest() {
  ReplyFrame = ExchangeFrame(RequestFrame.get());
  if (!ReplyFrame) return std::nullopt;
  FrameReply reply;
  checkCom(ReplyFrame->get_CtrlWord(&reply.control));
  LONG length = 0;
  checkCom(ReplyFrame->get_DLen(&length));
  reply.data.resize(static_cast<size_t>(std::max<LONG>(length, 0)));
  for (size_t k = 0; k < reply.data.size(); ++k) checkCom(ReplyFrame->get_Data(static_cast<LONG>(k), &reply.data[k]));
  reply.text = frameText(ReplyFrame.get());
  return reply;
}

void ComExchange::btnConnectClick(const std::string& ipText, const std::string& portText) {
  if (!socket_) throw SetupError("The socket control is not created");
  checkCom(socket_->put_Host(toBstr(ipText).get()));
  LONG port = 0;
  {
    // As the standard integer conversion: optional blanks and sign, decimal digits only.
    char* end = nullptr;
    std::string t = portText;
    errno = 0;
    long v = std::strtol(t.c_str(), &end, 10);
    bool blankOnly = t.find_first_not_of(' ') == std::string::npos;
    if (blankOnly || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
      throw SetupError("'" + portText + "' is not a valid integer value");
    port = static_cast<LONG>(v);
  }
  checkCom(socket_->put_Port(port));
  VARIANT_BOOL connected = 0;
  checkCom(socket_->Connect(&connected));
  if (connected) {
    ui_.showMessage("Connect successful!");
    ui_.setControlEnabled("btnConnect", false);
  } else {
    Bstr reason;
    socket_->GetLastErrorStr(reason.put());
    ui_.showMessage("Connect failed!\n\r" + text::wideToAnsi(reason.view()));
  }
}

void ComExchange::btnDisconnectClick() {
  if (socket_) socket_->Close();
  ui_.setControlEnabled("btnConnect", true);
}

}  // namespace zr::setup
