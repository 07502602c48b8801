// The byte channel over a control's inner socket (a connected client).
#pragma once

#include <cstdint>

#include "engines/byte_channel.h"

namespace kavlink {

class CZrSocket;

class SocketChannel final : public ByteChannel {
 public:
  static constexpr size_t kReadAhead = 4096;

  // The socket belongs to the control and outlives the channel.
  explicit SocketChannel(CZrSocket& socket) : socket_(socket) {}

  // Throws "Socket send failed:  " and the socket's error text when the socket refuses.
  void write(const void* bytes, size_t length) override;
  using ByteChannel::write;
  uint32_t waitForInput(uint32_t timeoutMs) override;
  uint32_t available() override;
  size_t read(void* buffer, size_t length) override;
  // Whatever the socket still holds belongs to an earlier exchange.
  void purge() override;
  void setRate(int32_t) override {}
  void sleepMs(uint32_t ms) override;

 private:
  // A socket cannot tell how much it holds without giving it: what it gives waits here.
  uint32_t readAhead();

  CZrSocket& socket_;
  uint8_t ahead_[kReadAhead] = {};
  size_t aheadStart_ = 0;
  size_t aheadCount_ = 0;
};

}  // namespace kavlink
