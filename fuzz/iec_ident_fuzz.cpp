// Sign-on over an arbitrary answer to the request: a success has chosen the mode and rate
// the identification's fifth byte names, and nothing but an identification signs on.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz_check.h"
#include "iec62056/iec_link.h"

using namespace kavlink::iec;

namespace {

class OneAnswer final : public ByteChannel {
 public:
  std::string answer;
  std::string tail;  // answers what follows the identification (option select, password)
  std::vector<int32_t> rates;
  int writes = 0;
  void write(std::string_view) override {
    if (++writes == 1)
      pending = answer;
    else if (writes == 2)
      pending = tail;
  }
  uint32_t waitForInput(uint32_t) override { return static_cast<uint32_t>(pending.size()); }
  size_t read(char* buffer, size_t length) override {
    const size_t n = std::min(length, pending.size());
    pending.copy(buffer, n);
    pending.erase(0, n);
    return n;
  }
  void switchBaud(int32_t rate) override { rates.push_back(rate); }
  void sleepMs(uint32_t) override {}

 private:
  std::string pending;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool programming = in.ConsumeBool();
  LinkSettings settings;
  settings.password = in.ConsumeBool() ? "00000000" : "";
  OneAnswer channel;
  channel.answer = in.ConsumeRandomLengthString(600);
  channel.tail = in.ConsumeRandomLengthString(600);
  IecLink link(channel, settings, nullptr);
  link.setBusy(true);
  if (!link.signOn(programming)) {
    FUZZ_CHECK(link.lastError() >= kErrTimeout && link.lastError() <= kErrBcc);
    return 0;
  }
  // NULs ahead of a message are wake-up noise and never part of it.
  const std::string ident =
      channel.answer.substr(std::min(channel.answer.find_first_not_of('\0'), channel.answer.size()));
  const size_t lf = ident.find(kLf);
  FUZZ_CHECK(!ident.empty() && ident[0] == '/' && lf != std::string::npos && lf >= 4);
  const BaudChoice choice = baudChoice(ident[4]);
  FUZZ_CHECK(link.modeLetter() == choice.mode);
  if (choice.mode == 'A') {
    FUZZ_CHECK(channel.rates.empty());
  } else {
    FUZZ_CHECK(channel.rates.size() == 1 && channel.rates[0] == choice.rate);
  }
  return 0;
}
