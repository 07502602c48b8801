// The meter exchange over the component: every request is one DL/T 645 frame out and at
// most one reply back, over the local serial port (plain or LoRa-wrapped) or a remote
// TCP server that relays frames to the meter. All calls go through the component's COM
// interfaces on objects made by class id, as a host program makes them.
#pragma once

#include <kavlink/zr_comm_dlt645.h>
#include <kavlink/zr_socket.h>

#include <memory>
#include <string>

#include "com/com_ptr.h"
#include "core/form_fields.h"
#include "core/lora.h"
#include "core/meter_exchange.h"
#include "core/ui_port.h"

namespace zr::setup {

// What the link takes from Tools.ini.
struct ExchangeSettings {
  int Wtime = 5000;     // ms: WaitTimeout of the control and the wait of the remote channel
  int BaudRate = 9600;  // serial line speed
  bool lora = false;    // the LoRa-wrapped serial channel (Lora exactly "yes")
  int RetryCount = 3;   // attempts of one item read (CSCS)
};

class ComExchange : public MeterExchange {
 public:
  // Creates the DL/T 645 control (ZrComm) by class id; throws SetupError when it cannot.
  ComExchange(const FormFields& fields, UiPort& ui);
  ~ComExchange() override;

  // At the window's first show: the serial line settings (BaudRate, one stop bit, even
  // parity, 8 data bits), the wait, fresh request and reply frames, the LoRa sequence
  // back to 1, and the socket control for the remote channel.
  void FormShow(const ExchangeSettings& settings);

  kavlink::IZrCommDLT645* ZrComm() const { return zrComm_.get(); }
  kavlink::IZrSocket* SocketControl() const { return socket_.get(); }
  const ExchangeSettings& settings() const { return settings_; }

  // The shared request and the last reply (nil when there was none).
  com::ComPtr<kavlink::IFrame645> RequestFrame;
  com::ComPtr<kavlink::IFrame645> ReplyFrame;
  LoraSequence loraSequence;

  // One request out, at most one reply back; the reply only when its address equals the
  // request's. Errors raised by the component pass out as SetupError with their text.
  com::ComPtr<kavlink::IFrame645> ExchangeFrame(kavlink::IFrame645* request);
  com::ComPtr<kavlink::IFrame645> ExchangeFrameRemote(kavlink::IFrame645* request);

  // MeterExchange
  void openSerialPort(const std::string& portName) override;
  void closeSerialPort() override;
  bool ReadDataItem(const std::string& meterId, const std::string& di1, std::string& value,
                    const std::string& di0) override;
  std::string prepareRequest(const FrameRequest& request, bool fresh) override;
  std::optional<FrameReply> exchangeRequest() override;

  // "Connect" and "Disconnect" of the remote link.
  void btnConnectClick(const std::string& ipText, const std::string& portText);
  void btnDisconnectClick();

 private:
  com::ComPtr<kavlink::IFrame645> exchangeWrapped(kavlink::IFrame645* request);
  com::ComPtr<kavlink::IFrame645> newFrame();

  const FormFields& fields_;
  UiPort& ui_;
  ExchangeSettings settings_;
  com::ComPtr<kavlink::IZrCommDLT645> zrComm_;
  com::ComPtr<kavlink::IZrSocket> socket_;
};

// Creates the component's controls by class id. Throws SetupError when they cannot be made.
std::unique_ptr<ComExchange> makeComExchange(FormFields& form, UiPort& ui);

// Throws SetupError with the COM error's text (or the code) when h failed.
void checkCom(HRESULT h);

}  // namespace zr::setup
