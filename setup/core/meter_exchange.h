// What the item reading needs of the meter link: the serial port of the DL/T 645 control
// and the generic read of one data item with its retries. The link decides the channel
// (plain serial, LoRa-wrapped serial, remote TCP) on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zr::setup {

// The fields a handler puts into the shared request frame. Data bytes are as the handler
// means them (before the 0x33 offset of the line).
struct FrameRequest {
  std::string address;  // 12 characters
  uint8_t control = 0;
  std::vector<uint8_t> data;
};

// What a handler judges of a reply: its control code, its data field (DLen bytes) and the
// frame's hex text for the log.
struct FrameReply {
  uint8_t control = 0;
  std::vector<uint8_t> data;
  std::string text;
};

class MeterExchange {
 public:
  virtual ~MeterExchange() = default;

  // Sets the serial port's name and opens it; throws on any failure.
  virtual void openSerialPort(const std::string& portName) = 0;
  virtual void closeSerialPort() = 0;

  // Reads the item DI1 DI0 from the meter meterId (12 characters). True: the value text
  // (two hex digits per byte, most significant first) is appended to value. False: value is
  // the failure text ("Return null!"). Errors of the component pass out as exceptions.
  virtual bool ReadDataItem(const std::string& meterId, const std::string& di1, std::string& value,
                            const std::string& di0) = 0;

  // Fills the shared request frame (a fresh frame object when fresh; otherwise bytes beyond
  // the new length keep what an earlier request left) and returns its hex text.
  virtual std::string prepareRequest(const FrameRequest& request, bool fresh) = 0;
  // One exchange of the shared request frame, no retry: the reply of the addressed meter,
  // or nothing. Errors of the component pass out as exceptions.
  virtual std::optional<FrameReply> exchangeRequest() = 0;
};

}  // namespace zr::setup
