// The master control's receive side: a fixed 2048-byte buffer that reads append to, and
// the search that finds, checks and removes frames in it.
#pragma once

#include <array>
#include <cstdint>

#include "dlt645/frame645_codec.h"

namespace kavlink {

class ReceiveBuffer645 {
 public:
  static constexpr int32_t kSize = 2048;

  void clear();
  int32_t count() const { return count_; }
  // Room for n more bytes without reaching the end of the buffer (count + n < kSize).
  bool fits(int32_t n) const { return n >= 0 && count_ + n < kSize; }
  // Where the next read goes; the caller appends n bytes and calls appended(n).
  uint8_t* tail() { return bytes_.data() + count_; }
  void appended(int32_t n) { count_ += n; }

  // The position of the first good frame, or -1. Candidates whose checksum fails (when
  // checked) are discarded together with everything before them, and the search goes
  // on at once with the bytes behind them, so a good frame that came in the same burst
  // is found without waiting for more bytes.
  int32_t search(bool checkCs);

  // Copies the frame at p into f (the fragment rule of the frame object) and removes it
  // and every byte before it.
  void unpack(int32_t p, Frame645Data& f);

  const uint8_t* data() const { return bytes_.data(); }

 private:
  void removeFront(int32_t n);

  std::array<uint8_t, kSize> bytes_{};
  int32_t count_ = 0;
};

}  // namespace kavlink
