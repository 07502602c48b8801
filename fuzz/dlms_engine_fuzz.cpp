// The meter-side engine fed arbitrary byte streams, split into pieces as the input says,
// with a host answering from the simulated meter's object table; and the same bytes as a
// bare APDU. No answer may be larger than the engine's buffers, and every answer frame
// must be whole and checked.
#include <cstring>
#include <vector>

#include "dlms/hdlc.h"
#include "fuzz_check.h"
#include "sim/dlms_meter.h"

using namespace kavlink;

namespace {

sim::DlmsEngine& engine(LONG level) {
  static sim::DlmsObjectTable table;
  static sim::DlmsEngine e0(table, 0);
  static sim::DlmsEngine e1(table, 1);
  static sim::DlmsEngine e2(table, 2);
  sim::DlmsEngine& e = level == 0 ? e0 : level == 1 ? e1 : e2;
  e.control()->DlmsInitServer();
  return e;
}

void bareApdu(CZrDLMS* control, const uint8_t* p, LONG n) {
  std::vector<uint8_t> bare(1024 + 64, 0xCC);
  LONG out = 0;
  control->CosemHandleRequest(reinterpret_cast<PTRBUF>(p), n, reinterpret_cast<PTRBUF>(bare.data()), &out);
  FUZZ_CHECK(out >= 0 && out <= 1024);
  for (size_t k = static_cast<size_t>(out); k < bare.size(); ++k) FUZZ_CHECK(bare[k] == 0xCC);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  // First byte: authentication level (low two bits) and piece size (the rest).
  const LONG level = data[0] & 3;
  const size_t piece = (data[0] >> 2) + 1u;
  CZrDLMS* control = engine(level > 2 ? 0 : level).control();
  const uint8_t* p = data + 1;
  size_t n = size - 1;
  uint8_t answer[256 + 64];
  for (size_t at = 0; at < n; at += piece) {
    const LONG len = static_cast<LONG>(std::min(piece, n - at));
    LONG complete = 0;
    control->DlmsCheckRequest(reinterpret_cast<PTRBUF>(p + at), len, &complete);
    FUZZ_CHECK(complete >= 0 && complete < 256);
    if (complete == 0) continue;
    std::memset(answer, 0xCC, sizeof answer);
    LONG out = 0;
    control->DlmsHandleRequest(reinterpret_cast<PTRBUF>(answer), &out);
    FUZZ_CHECK(out >= 0 && out <= 256);
    for (size_t k = static_cast<size_t>(out); k < sizeof answer; ++k) FUZZ_CHECK(answer[k] == 0xCC);
    if (out > 0) {
      FUZZ_CHECK(CheckHdlcGathered(answer, out) == HdlcGather::kComplete);
      FUZZ_CHECK(HdlcCheckSumOk(answer, out));
    }
    // Bare APDUs come between two segments of a long answer as well.
    if (out > 0 && (answer[1] & kHdlcSegmentBit)) bareApdu(control, p + at, static_cast<LONG>(len));
  }
  bareApdu(control, p, static_cast<LONG>(n));
  return 0;
}
