#include "core/lora.h"

#include <array>
#include <cstdio>

#include "core/setup_error.h"

namespace zr::setup {
namespace {

constexpr std::array<uint8_t, 256> makeCrc8Table() {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    auto crc = static_cast<uint8_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    table[static_cast<size_t>(i)] = crc;
  }
  return table;
}

constexpr auto kCrc8Table = makeCrc8Table();
constexpr std::array<uint8_t, 4> kFixed = {0xFF, 0xFF, 0x2C, 0x01};

}  // namespace

uint8_t LoraCrc8(std::span<const uint8_t> bytes) {
  uint8_t crc = 0;
  for (uint8_t b : bytes) crc = kCrc8Table[crc ^ b];
  return static_cast<uint8_t>(crc ^ 0xFF);
}

std::string loraCrcLogLine(std::span<const uint8_t> covered) {
  std::string line = "crcs:";
  char hex[4];
  for (uint8_t b : covered) {
    std::snprintf(hex, sizeof hex, "%02X ", b);
    line += hex;
  }
  return line;
}

std::span<const uint8_t> loraCrcCovered(std::span<const uint8_t> message) {
  if (message.size() < 3) return {};
  return message.subspan(2, message.size() - 3);
}

std::vector<uint8_t> LoraWrap(std::span<const uint8_t> frame, uint8_t sequence) {
  if (frame.size() > kLoraMaxFrame) {
    throw SetupError("Frame of " + std::to_string(frame.size()) + " bytes is too long for the LoRa module (at most " +
                     std::to_string(kLoraMaxFrame) + ")");
  }
  std::vector<uint8_t> message;
  message.reserve(frame.size() + kLoraOverhead);
  message.push_back(0x90);
  message.push_back(0xEB);
  message.push_back(static_cast<uint8_t>(frame.size() + 6));
  message.push_back(sequence);
  message.insert(message.end(), kFixed.begin(), kFixed.end());
  message.insert(message.end(), frame.begin(), frame.end());
  message.push_back(0);  // room for the CRC, so loraCrcCovered sees the final layout
  message.back() = LoraCrc8(loraCrcCovered(message));
  return message;
}

std::optional<LoraMessage> LoraUnwrap(std::span<const uint8_t> bytes) {
  if (bytes.size() < kLoraOverhead || bytes[0] != 0x90 || bytes[1] != 0xEB) return std::nullopt;
  const size_t following = bytes[2];
  if (following < 6 || bytes.size() < following + 3) return std::nullopt;
  auto message = bytes.first(following + 3);
  if (LoraCrc8(loraCrcCovered(message)) != message.back()) return std::nullopt;
  LoraMessage out;
  out.sequence = message[3];
  out.frame.assign(message.begin() + 8, message.end() - 1);
  out.size = message.size();
  return out;
}

}  // namespace zr::setup
