// The wrapper a LoRa radio module expects around a DL/T 645 frame:
//   90 EB n seq FF FF 2C 01 <frame> crc
// n counts the bytes after itself; crc is LoraCrc8 over n, seq, the four fixed bytes and
// the frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zr::setup {

// The module's buffers hold 257 bytes, which leaves room for a frame of 248.
inline constexpr size_t kLoraMaxFrame = 248;
inline constexpr size_t kLoraOverhead = 9;

// CRC-8, polynomial 0x07, MSB first, initial 0, result complemented.
uint8_t LoraCrc8(std::span<const uint8_t> bytes);

// The log line of a CRC computation: "crcs:" then "XX " for every byte covered.
std::string loraCrcLogLine(std::span<const uint8_t> covered);

// The bytes of a wrapped message that its CRC covers (offsets 2 to size-2).
std::span<const uint8_t> loraCrcCovered(std::span<const uint8_t> message);

// Wraps one frame. Throws SetupError when the frame is longer than kLoraMaxFrame.
std::vector<uint8_t> LoraWrap(std::span<const uint8_t> frame, uint8_t sequence);

struct LoraMessage {
  uint8_t sequence = 0;
  std::vector<uint8_t> frame;
  size_t size = 0;  // bytes the message took, wrapper included
};

// Reads one wrapped message at the start of bytes; nothing when the marker, the length or
// the CRC does not hold.
std::optional<LoraMessage> LoraUnwrap(std::span<const uint8_t> bytes);

// The sequence byte of the next wrapped frame: 1, 2, ..., 127, then 1 again; never 0.
class LoraSequence {
 public:
  uint8_t current() const { return value_; }
  void advance() { value_ = value_ >= 127 ? 1 : static_cast<uint8_t>(value_ + 1); }

 private:
  uint8_t value_ = 1;
};

}  // namespace zr::setup
