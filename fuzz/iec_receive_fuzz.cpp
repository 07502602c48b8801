// The receive path over arbitrary chunk sequences: every message taken must be whole and
// of the kind its bytes say, its block check must have been right, and the buffer must
// stay within the receive limit plus one chunk.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "iec62056/iec_link.h"
#include "support/scripted_channel.h"

using namespace kavlink::iec;

namespace {

class Counting final : public LinkEvents {
 public:
  void onComm(const std::string&, bool) override {}
  void onDataGroup(const std::string& line) override { FUZZ_CHECK(!line.empty()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  LinkSettings settings;
  settings.msgImmediate = in.ConsumeBool();
  settings.msgDisplayFormat = in.ConsumeIntegralInRange<int32_t>(1, 3);
  settings.formatB = in.ConsumeIntegralInRange<int32_t>(0, 9);
  testhost::ScriptedChannel channel;
  std::vector<std::string> chunks;
  while (in.remaining_bytes() > 0 && chunks.size() < 64) chunks.push_back(in.ConsumeRandomLengthString(300));
  channel.preload(std::move(chunks));
  Counting events;
  IecLink link(channel, settings, &events);
  link.setBusy(true);
  link.setReceiveLimit(1024);
  for (int i = 0; i < 64; ++i) {
    Reply r;
    const bool ok = link.receiveReply(r);
    FUZZ_CHECK(link.receiveBuffer().size() < 1024 + 256);
    if (!ok) {
      FUZZ_CHECK(link.lastError() >= kErrTimeout && link.lastError() <= kErrBcc);
      if (link.lastError() == kErrTimeout) break;
      // A failure ends the operation; the next one starts with a send, which empties the
      // buffer the failed receive left.
      link.sendMessage(std::string(1, kAck));
      continue;
    }
    FUZZ_CHECK(!r.message.empty());
    switch (r.kind) {
      case MsgKind::Identification:
        FUZZ_CHECK(r.message.front() == '/' && r.message.back() == kLf);
        break;
      case MsgKind::Ack:
      case MsgKind::Nak:
        FUZZ_CHECK(r.message.size() == 1);
        break;
      case MsgKind::Data:
      case MsgKind::Error:
      case MsgKind::Partial:
        FUZZ_CHECK(r.message.front() == kStx);
        FUZZ_CHECK(r.message.back() == (r.kind == MsgKind::Partial ? kEot : kEtx));
        break;
      case MsgKind::Command:
      case MsgKind::Break:
        FUZZ_CHECK(r.message.front() == kSoh && r.message.back() == kEtx);
        break;
      default:
        FUZZ_CHECK(false);
    }
    (void)formatCommText(r.message, settings.msgDisplayFormat);
  }
  return 0;
}
