#include "serial/receive_queue.h"

#include <algorithm>
#include <cstring>

#include "serial/line_settings.h"

namespace zr::serial {

void ReceiveQueue::setOptions(const ReceiveOptions& o) {
  if (!o.marked) mark_ = Mark::None;
  opt_ = o;
}

uint32_t ReceiveQueue::deliver(uint8_t b, bool error, bool accept) {
  uint32_t events = 0;
  if (error) {
    // The kernel marks a break as an error on a zero byte.
    if (b == 0) {
      events |= kEvBreak;
    } else {
      events |= kEvErr;
      if (opt_.replaceErrors) b = opt_.errorChar;
    }
  }
  if (!accept || (opt_.discardNull && b == 0)) return events;
  if (head_ > 0 && head_ == bytes_.size()) {
    bytes_.clear();
    head_ = 0;
  }
  bytes_.push_back(b);
  events |= kEvRxChar;
  if (b == opt_.eventChar) events |= kEvRxFlag;
  return events;
}

uint32_t ReceiveQueue::push(const uint8_t* raw, size_t n, bool accept) {
  if (!opt_.marked && !opt_.discardNull) {
    // Nothing to decode byte by byte: the usual case, taken in one piece.
    if (n == 0 || !accept) return 0;
    if (head_ > 0 && head_ == bytes_.size()) {
      bytes_.clear();
      head_ = 0;
    }
    bytes_.insert(bytes_.end(), raw, raw + n);
    return kEvRxChar | (std::memchr(raw, opt_.eventChar, n) ? kEvRxFlag : 0u);
  }
  uint32_t events = 0;
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = raw[i];
    if (!opt_.marked) {
      events |= deliver(b, false, accept);
      continue;
    }
    switch (mark_) {
      case Mark::None:
        if (b == 0xFF) {
          mark_ = Mark::Escape;
        } else {
          events |= deliver(b, false, accept);
        }
        break;
      case Mark::Escape:
        if (b == 0xFF) {
          mark_ = Mark::None;
          events |= deliver(0xFF, false, accept);
        } else if (b == 0) {
          mark_ = Mark::Error;
        } else {
          // Not a sequence the kernel makes; keep both bytes rather than lose one.
          mark_ = Mark::None;
          events |= deliver(0xFF, false, accept);
          events |= deliver(b, false, accept);
        }
        break;
      case Mark::Error:
        mark_ = Mark::None;
        events |= deliver(b, true, accept);
        break;
    }
  }
  return events;
}

size_t ReceiveQueue::take(uint8_t* out, size_t n) {
  n = std::min(n, size());
  if (n == 0) return 0;
  std::memcpy(out, bytes_.data() + head_, n);
  head_ += n;
  if (head_ == bytes_.size()) {
    bytes_.clear();
    head_ = 0;
  } else if (head_ > 4096 && head_ * 2 > bytes_.size()) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
  return n;
}

void ReceiveQueue::clear() {
  bytes_.clear();
  head_ = 0;
  mark_ = Mark::None;
}

}  // namespace zr::serial
