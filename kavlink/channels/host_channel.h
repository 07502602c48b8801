// The byte channel of a control whose host carries the bytes itself: a write goes to the
// host at once (through the control's event) in a buffer of the control's, and the host
// writes its answer into the same buffer, in place, before the event returns; that answer
// is then the input.
#pragma once

#include <cstdint>
#include <functional>

#include "engines/byte_channel.h"

namespace kavlink {

class HostChannel final : public ByteChannel {
 public:
  // Hands the host the length bytes at the start of the buffer; returns the length of the
  // answer as the host gave it (which may be anything).
  using Carry = std::function<int64_t(uint8_t* buffer, int64_t length)>;

  // The buffer is the control's and outlives the channel.
  HostChannel(uint8_t* buffer, size_t capacity, Carry carry)
      : buffer_(buffer), capacity_(capacity), carry_(std::move(carry)) {}

  // More than the buffer holds is cut to it.
  void write(const void* bytes, size_t length) override;
  using ByteChannel::write;
  // The answer's bytes not yet read; none when the host gave no answer or a length
  // outside the buffer. Nothing more comes by waiting.
  uint32_t waitForInput(uint32_t) override { return available(); }
  uint32_t available() override { return static_cast<uint32_t>(answer_ - taken_); }
  size_t read(void* buffer, size_t length) override;
  void purge() override { answer_ = taken_ = 0; }
  void setRate(int32_t) override {}
  void sleepMs(uint32_t ms) override;

 private:
  uint8_t* buffer_;
  size_t capacity_;
  Carry carry_;
  size_t answer_ = 0;
  size_t taken_ = 0;
};

}  // namespace kavlink
