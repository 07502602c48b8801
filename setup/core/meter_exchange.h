// What the item reading needs of the meter link: the serial port of the DL/T 645 control
// and the generic read of one data item with its retries. The link decides the channel
// (plain serial, LoRa-wrapped serial, remote TCP) on its own.
#pragma once

#include <string>

namespace zr::setup {

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
};

}  // namespace zr::setup
