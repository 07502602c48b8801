// The receive queue over arbitrary line bytes: how the bytes were split into reads never
// changes what is queued or which events they raise, and undecoded input comes out as it
// went in.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "serial/line_settings.h"
#include "serial/receive_queue.h"

using namespace zr::serial;

namespace {

struct Outcome {
  std::vector<uint8_t> bytes;
  uint32_t events = 0;
};

Outcome run(const ReceiveOptions& o, const uint8_t* data, size_t size, size_t chunk, bool accept) {
  ReceiveQueue q;
  q.setOptions(o);
  Outcome out;
  for (size_t at = 0; at < size; at += chunk) out.events |= q.push(data + at, std::min(chunk, size - at), accept);
  out.bytes.resize(q.size());
  FUZZ_CHECK(q.take(out.bytes.data(), out.bytes.size()) == out.bytes.size());
  FUZZ_CHECK(q.empty());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 4096) return 0;
  ReceiveOptions o;
  o.marked = data[0] & 1;
  o.discardNull = data[0] & 2;
  o.replaceErrors = data[0] & 4;
  const bool accept = !(data[0] & 8);
  o.errorChar = '?';
  o.eventChar = data[1];
  const size_t chunk = data[2] % 17 + 1;
  data += 3;
  size -= 3;

  Outcome whole = run(o, data, size, size ? size : 1, accept);
  Outcome split = run(o, data, size, chunk, accept);
  FUZZ_CHECK(whole.bytes == split.bytes);
  FUZZ_CHECK(whole.events == split.events);
  FUZZ_CHECK(whole.bytes.size() <= size);
  if (!accept) FUZZ_CHECK(whole.bytes.empty() && !(whole.events & (kEvRxChar | kEvRxFlag)));
  if (!o.marked && !o.discardNull && accept) {
    FUZZ_CHECK(whole.bytes == std::vector<uint8_t>(data, data + size));
    FUZZ_CHECK(whole.events == ((size ? kEvRxChar : 0u) | (std::memchr(data, o.eventChar, size) ? kEvRxFlag : 0u)));
  }
  return 0;
}
