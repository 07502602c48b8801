// The DL/T 645 master's receive buffer fed arbitrary chunks, as reads from a line deliver
// them: every frame it finds is complete inside the buffer, a checked frame with a decimal
// address serialises back to the very bytes it was found in, and unpacking always takes bytes out.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <vector>

#include "dlt645/receive_buffer.h"
#include "fuzz_check.h"

using namespace kavlink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool checkCs = in.ConsumeBool();
  ReceiveBuffer645 rx;
  Frame645Data f;
  f.handle33 = in.ConsumeBool();
  while (in.remaining_bytes() > 0) {
    const auto n = in.ConsumeIntegralInRange<int32_t>(1, 300);
    std::vector<uint8_t> chunk = in.ConsumeBytes<uint8_t>(static_cast<size_t>(n));
    if (chunk.empty()) break;
    const auto got = static_cast<int32_t>(chunk.size());
    // The master starts afresh when a read would not fit.
    if (!rx.fits(got)) rx.clear();
    std::memcpy(rx.tail(), chunk.data(), chunk.size());
    rx.appended(got);
    for (;;) {
      const int32_t before = rx.count();
      const int32_t p = rx.search(checkCs);
      FUZZ_CHECK(rx.count() <= before);
      if (p < 0) break;
      const int32_t length = rx.data()[p + 9];
      FUZZ_CHECK(p + length + 12 <= rx.count());
      std::vector<uint8_t> at(rx.data() + p, rx.data() + p + length + 12);
      const int32_t count = rx.count();
      rx.unpack(p, f);
      FUZZ_CHECK(rx.count() == count - (p + length + 12));
      FUZZ_CHECK(f.length == length);
      // Address bytes are made from text characters by a rule that gives back only
      // decimal digit pairs; a frame with other address bytes serialises otherwise.
      bool bcd = true;
      for (int k = 1; k <= 6; ++k) bcd = bcd && (at[k] >> 4) <= 9 && (at[k] & 0xF) <= 9;
      if (checkCs && bcd) {
        Frame645Data copy = f;
        copy.prefixCount = 0;
        std::vector<uint8_t> wire(static_cast<size_t>(wireLength(copy)));
        FUZZ_CHECK(serializeFrame(copy, wire.data()) == length + 12);
        FUZZ_CHECK(wire == at);
      }
    }
  }
  return 0;
}
