#include "sim/lora_wrapper.h"

namespace sim {

uint8_t loraCrc8(const uint8_t* p, size_t n) {
  uint8_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int b = 0; b < 8; ++b) crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
  }
  return static_cast<uint8_t>(~crc);
}

Bytes loraWrap(const Bytes& frame, uint8_t sequence) {
  Bytes m = {0x90, 0xEB, static_cast<uint8_t>(frame.size() + 6), sequence, 0xFF, 0xFF, 0x2C, 0x01};
  m.insert(m.end(), frame.begin(), frame.end());
  m.push_back(loraCrc8(m.data() + 2, m.size() - 2));
  return m;
}

Bytes LoraUnwrapper::feed(const Bytes& bytes) {
  std::lock_guard lock(mutex_);
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  Bytes frames;
  for (;;) {
    size_t i = 0;
    while (i + 1 < pending_.size() && !(pending_[i] == 0x90 && pending_[i + 1] == 0xEB)) ++i;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(i));
    if (pending_.size() < 3) break;
    size_t total = static_cast<size_t>(pending_[2]) + 3;
    if (pending_.size() < total) break;
    Bytes m(pending_.begin(), pending_.begin() + static_cast<long>(total));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(total));
    messages_.push_back(m);
    if (loraCrc8(m.data() + 2, total - 3) != m[total - 1]) {
      ++crcFailures_;
      continue;
    }
    sequences_.push_back(m[3]);
    frames.insert(frames.end(), m.begin() + 8, m.end() - 1);
  }
  return frames;
}

std::vector<uint8_t> LoraUnwrapper::sequences() const {
  std::lock_guard lock(mutex_);
  return sequences_;
}

std::vector<Bytes> LoraUnwrapper::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

int LoraUnwrapper::crcFailures() const {
  std::lock_guard lock(mutex_);
  return crcFailures_;
}

}  // namespace sim
