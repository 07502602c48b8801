// Reply frames from a meter through the setup program's decoding: every read handler's
// table row and the load profile record layouts. A reply the row accepts must decode to
// field texts of the row's shape; nothing may read beyond the reply.
#include <cstring>
#include <vector>

#include "core/handler_tables.h"
#include "core/load_profile.h"
#include "core/page_handlers.h"
#include "dlt645/frame645_codec.h"
#include "fuzz_check.h"

using namespace zr::setup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  kavlink::Frame645Data f;
  f.handle33 = true;
  if (kavlink::parseFrame(f, data, static_cast<int32_t>(size)) < 0) return 0;
  FrameReply reply;
  reply.control = f.control;
  reply.data.assign(f.data.begin(), f.data.begin() + f.length);

  for (const ReadItem* item : allReadItems()) {
    if (!replyCarries(reply, item->di, item->valueBytes())) continue;
    const std::span<const uint8_t> value = std::span<const uint8_t>(reply.data).subspan(2);
    for (int i = 0; i < item->targetCount; ++i) {
      const ReadTarget& t = item->targets[static_cast<size_t>(i)];
      const std::optional<std::string> text = decodeValue(t.coding, value);
      if (t.coding.kind == Coding::kDigits) {
        FUZZ_CHECK(text.has_value());
        FUZZ_CHECK(text->size() == static_cast<size_t>(2 * t.coding.bytes + (t.coding.fraction > 0 ? 1 : 0)));
      }
      if (t.coding.kind == Coding::kStatusBits)
        FUZZ_CHECK(statusRows(item->statusBits, value[static_cast<size_t>(t.coding.offset)]).size() ==
                   item->statusBits.size());
    }
  }
  for (bool threePhase : {false, true}) {
    const std::string record = LoadProfilePage::recordText(reply.data, threePhase);
    FUZZ_CHECK(record.size() == (threePhase ? 80u : 40u));
    const auto cells = LoadProfilePage::recordCells(record, threePhase);
    FUZZ_CHECK(cells.size() == (threePhase ? 18u : 6u));
  }
  return 0;
}
