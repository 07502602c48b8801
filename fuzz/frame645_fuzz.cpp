// Frame search and unpacking over arbitrary bytes; a frame found in the stream with a
// decimal address must serialise back to the very bytes it was found in.
#include <cstring>
#include <vector>

#include "dlt645/frame645_codec.h"
#include "fuzz_check.h"

using namespace kavlink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const auto len = static_cast<int32_t>(size);
  Frame645Data f;
  f.handle33 = size > 0 && (data[0] & 1);
  const int32_t at = parseFrame(f, data, len);
  if (at < 0) return 0;
  FUZZ_CHECK(at < len);
  // The found frame has no preamble of its own; its wire form is the bytes at `at`.
  f.prefixCount = 0;
  std::vector<uint8_t> wire(static_cast<size_t>(wireLength(f)));
  const int32_t n = serializeFrame(f, wire.data());
  FUZZ_CHECK(n == wireLength(f));
  FUZZ_CHECK(at + n <= len);
  // Address bytes are made from text characters by a rule that gives back only decimal
  // digit pairs (the pair AA gives 0x21): other address bytes serialise otherwise.
  for (int k = 1; k <= 6; ++k)
    if ((data[at + k] >> 4) > 9 || (data[at + k] & 0xF) > 9) return 0;
  // The address goes on the wire by digit arithmetic, so only a decimal (BCD) address comes
  // back byte for byte; the rest of the frame always does.
  bool bcd = true;
  for (char c : f.address) bcd = bcd && c >= '0' && c <= '9';
  const size_t from = bcd ? 0 : 7;
  FUZZ_CHECK(std::memcmp(wire.data() + from, data + at + from, static_cast<size_t>(n) - from - 2) == 0);
  FUZZ_CHECK(wire[static_cast<size_t>(n) - 1] == 0x16);
  if (bcd) {
    FUZZ_CHECK(std::memcmp(wire.data(), data + at, static_cast<size_t>(n)) == 0);
  }
  (void)frameWireText(f);
  (void)frameFragmentText(f);
  return 0;
}
