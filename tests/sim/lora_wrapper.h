// The far side of the LoRa radio module for tests: unwraps requests (90 EB n seq FF FF 2C
// 01 frame crc), checks their CRC-8, and wraps replies the same way. Its CRC is written
// here independently of the program's.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "sim/dlt645_meter.h"

namespace sim {

uint8_t loraCrc8(const uint8_t* p, size_t n);
Bytes loraWrap(const Bytes& frame, uint8_t sequence);

class LoraUnwrapper {
 public:
  // Feeds received bytes; returns the frames of every complete, well-formed message.
  Bytes feed(const Bytes& bytes);
  std::vector<uint8_t> sequences() const;
  std::vector<Bytes> messages() const;  // whole wrapped messages as received
  int crcFailures() const;

 private:
  mutable std::mutex mutex_;
  Bytes pending_;
  std::vector<uint8_t> sequences_;
  std::vector<Bytes> messages_;
  int crcFailures_ = 0;
};

}  // namespace sim
