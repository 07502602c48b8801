// The LoRa unwrap over arbitrary bytes from the radio module: a message it accepts lies
// inside the bytes, and wrapping its frame again gives the very bytes it was read from.
#include <span>

#include "core/lora.h"
#include "fuzz_check.h"

using namespace zr::setup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1024) return 0;
  const std::span<const uint8_t> bytes(data, size);
  const auto message = LoraUnwrap(bytes);
  if (!message) return 0;
  FUZZ_CHECK(message->size <= size && message->size == message->frame.size() + kLoraOverhead);
  const std::span<const uint8_t> took = bytes.first(message->size);
  (void)loraCrcLogLine(loraCrcCovered(took));
  // The four fixed bytes are not checked on reading, and the length byte allows one byte
  // more than a wrapped frame may hold.
  const bool fixedBytes = data[4] == 0xFF && data[5] == 0xFF && data[6] == 0x2C && data[7] == 0x01;
  if (!fixedBytes || message->frame.size() > kLoraMaxFrame) return 0;
  const std::vector<uint8_t> again = LoraWrap(message->frame, message->sequence);
  FUZZ_CHECK(again.size() == took.size() && std::equal(again.begin(), again.end(), took.begin()));
  return 0;
}
