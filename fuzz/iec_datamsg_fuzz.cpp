// Data-set splitting and readout lines over arbitrary texts: the lists stay in step, every
// group is a piece of the text ending in ")", and nothing grows beyond the text.
#include <string>

#include "fuzz_check.h"
#include "iec62056/data_sets.h"

using namespace kavlink::iec;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  DataSets sets;
  (void)splitDataSets(text, sets);
  FUZZ_CHECK(sets.groups.size() == sets.kinds.size());
  FUZZ_CHECK(sets.dis.size() == sets.groups.size());
  FUZZ_CHECK(sets.values.size() == sets.dis.size() && sets.units.size() == sets.dis.size());
  size_t total = 0;
  for (const std::string& g : sets.groups) {
    FUZZ_CHECK(!g.empty() && g.back() == ')');
    FUZZ_CHECK(text.find(g) != std::string::npos);
    total += g.size();
  }
  FUZZ_CHECK(total <= text.size());
  for (size_t i = 0; i < sets.dis.size(); ++i) FUZZ_CHECK(!sets.dis[i].empty());

  DataSets picked;
  size_t lineBytes = 0;
  const bool readout = forEachReadoutLine(text, [&](std::string_view line) {
    FUZZ_CHECK(!line.empty());
    FUZZ_CHECK(line.find('\n') == std::string_view::npos && line.find('\r') == std::string_view::npos);
    lineBytes += line.size();
    return splitDataSets(line, picked);
  });
  if (!readout) {
    FUZZ_CHECK(lineBytes == 0);
  } else {
    FUZZ_CHECK(lineBytes <= text.size());
  }
  FUZZ_CHECK(picked.dis.size() == picked.groups.size());
  return 0;
}
