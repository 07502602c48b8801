#include "dlt645/receive_buffer.h"

#include <cstring>

namespace kavlink {

void ReceiveBuffer645::clear() {
  bytes_.fill(0);
  count_ = 0;
}

void ReceiveBuffer645::removeFront(int32_t n) {
  if (n >= count_) {
    clear();
    return;
  }
  std::memmove(bytes_.data(), bytes_.data() + n, static_cast<size_t>(count_ - n));
  std::memset(bytes_.data() + count_ - n, 0, static_cast<size_t>(n));
  count_ -= n;
}

int32_t ReceiveBuffer645::search(bool checkCs) {
  for (;;) {
    int32_t i = findFrameCandidate(bytes_.data(), count_);
    if (i < 0) return -1;
    if (!checkCs || candidateChecksumOk(bytes_.data(), i)) return i;
    removeFront(i + bytes_[static_cast<size_t>(i) + 9] + 12);
  }
}

void ReceiveBuffer645::unpack(int32_t p, Frame645Data& f) {
  loadFrameAt(f, bytes_.data(), p);
  removeFront(p + f.length + 12);
}

}  // namespace kavlink
