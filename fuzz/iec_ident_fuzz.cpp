// Sign-on over an arbitrary answer to the request: a success has chosen the mode and rate
// the identification's fifth byte names, and nothing but an identification signs on.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz_check.h"
#include "iec62056/iec_link.h"
#include "support/scripted_channel.h"

using namespace kavlink::iec;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool programming = in.ConsumeBool();
  LinkSettings settings;
  settings.password = in.ConsumeBool() ? "00000000" : "";
  // The answer to the request, then what answers the option select (and the password).
  const std::string answer = in.ConsumeRandomLengthString(600);
  testhost::ScriptedChannel channel;
  channel.answer(0, {answer});
  channel.answer(1, {in.ConsumeRandomLengthString(600)});
  IecLink link(channel, settings, nullptr);
  link.setBusy(true);
  if (!link.signOn(programming)) {
    FUZZ_CHECK(link.lastError() >= kErrTimeout && link.lastError() <= kErrBcc);
    return 0;
  }
  // NULs ahead of a message are wake-up noise and never part of it.
  const std::string ident = answer.substr(std::min(answer.find_first_not_of('\0'), answer.size()));
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
