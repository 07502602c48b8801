// Data sets of IEC 62056-21 text: "address(value*unit)" items, as a readout carries them
// line by line and as batch programming sends them. Plain functions over bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kavlink::iec {

// What a data message holds. groups and kinds run in step (one kind per group: 0 for a
// data set, 1 for a block); dis, values and units run in step with each other and skip
// the blocks.
struct DataSets {
  std::vector<std::string> groups;
  std::vector<int32_t> kinds;
  std::vector<std::string> dis;
  std::vector<std::string> values;
  std::vector<std::string> units;

  void clear();
};

// Splits one line into data sets and appends them, each with kind 0. A "(...)" without an
// address continues the value of the data set before it (parentheses kept). Returns false
// when such a continuation comes before any value exists; what the earlier data sets of
// the line stored stays. Nothing is trimmed; bytes after the last ")" are ignored.
bool splitDataSets(std::string_view line, DataSets& out);

// Walks a readout message (STX ... ETX or EOT, at least 5 bytes) line by line: STX, "!"
// and CR are dropped, LF, ETX and EOT end a line, the byte after ETX or EOT (its block
// check) is skipped. Calls onLine for each line that is not empty; stops early when
// onLine returns false. Returns false when the text is not of that form.
bool forEachReadoutLine(std::string_view text, const std::function<bool(std::string_view)>& onLine);

}  // namespace kavlink::iec
