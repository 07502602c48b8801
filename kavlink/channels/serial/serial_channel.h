// The byte channel over a control's inner serial port.
#pragma once

#include "engines/byte_channel.h"

namespace kavlink {

class CZrSerial;

class SerialChannel final : public ByteChannel {
 public:
  // The port belongs to the control and outlives the channel.
  explicit SerialChannel(CZrSerial& port) : port_(port) {}

  void write(const void* bytes, size_t length) override;
  using ByteChannel::write;
  uint32_t waitForInput(uint32_t timeoutMs) override;
  uint32_t available() override;
  size_t read(void* buffer, size_t length) override;
  void purge() override;
  void setRate(int32_t rate) override;
  void sleepMs(uint32_t ms) override;

 private:
  CZrSerial& port_;
};

}  // namespace kavlink
