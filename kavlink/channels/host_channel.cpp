#include "channels/host_channel.h"

#include <algorithm>
#include <cstring>

#include "text/ticks.h"

namespace kavlink {

void HostChannel::write(const void* bytes, size_t length) {
  length = std::min(length, capacity_);
  // The control may build its request in the buffer itself.
  if (bytes != buffer_) std::memmove(buffer_, bytes, length);
  answer_ = taken_ = 0;
  const int64_t n = carry_(buffer_, static_cast<int64_t>(length));
  if (n > 0 && static_cast<uint64_t>(n) <= capacity_) answer_ = static_cast<size_t>(n);
}

size_t HostChannel::read(void* buffer, size_t length) {
  const size_t n = std::min(length, answer_ - taken_);
  if (buffer != buffer_ + taken_) std::memmove(buffer, buffer_ + taken_, n);
  taken_ += n;
  return n;
}

void HostChannel::sleepMs(uint32_t ms) { zr::text::sleepMs(ms); }

}  // namespace kavlink
