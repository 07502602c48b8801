#include "channels/socket/socket_channel.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "channels/socket/zr_socket.h"
#include "text/ticks.h"

namespace kavlink {

void SocketChannel::write(const void* bytes, size_t length) {
  if (length > 0 && !socket_.SendFrom(bytes, length))
    throw zr::com::ComError(std::string("Socket send failed:  ") + socket_.ErrorText());
}

uint32_t SocketChannel::readAhead() {
  const LONG n = socket_.ReceiveInto(ahead_, sizeof ahead_);
  aheadStart_ = 0;
  // Nothing (a closed or failed socket) is an ended line: no bytes will come.
  aheadCount_ = n > 0 ? static_cast<size_t>(n) : 0;
  return static_cast<uint32_t>(aheadCount_);
}

uint32_t SocketChannel::waitForInput(uint32_t timeoutMs) {
  if (aheadCount_ > 0) return static_cast<uint32_t>(aheadCount_);
  if (socket_.WaitReadable(timeoutMs) == 0) return 0;
  return readAhead();
}

uint32_t SocketChannel::available() {
  if (aheadCount_ > 0) return static_cast<uint32_t>(aheadCount_);
  return readAhead();
}

size_t SocketChannel::read(void* buffer, size_t length) {
  if (aheadCount_ == 0) {
    const LONG n = socket_.ReceiveInto(buffer, length);
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
  const size_t n = std::min(length, aheadCount_);
  std::memcpy(buffer, ahead_ + aheadStart_, n);
  aheadStart_ += n;
  aheadCount_ -= n;
  return n;
}

void SocketChannel::purge() {
  aheadCount_ = 0;
  // One read takes what an exchange leaves behind; a full one may have left more.
  while (socket_.ReceiveInto(ahead_, sizeof ahead_) == static_cast<LONG>(sizeof ahead_)) {
  }
}

void SocketChannel::sleepMs(uint32_t ms) { zr::text::sleepMs(ms); }

}  // namespace kavlink
