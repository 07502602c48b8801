#include "iec62056/data_sets.h"

namespace kavlink::iec {
namespace {

constexpr char kStx = 0x02, kEtx = 0x03, kEot = 0x04, kLf = 0x0A, kCr = 0x0D;

}  // namespace

void DataSets::clear() {
  // Swapping with empty vectors frees the storage, which clear() alone would keep.
  *this = DataSets{};
}

bool splitDataSets(std::string_view line, DataSets& out) {
  std::string_view rest = line;
  for (;;) {
    const size_t p = rest.find('(');
    const size_t q = rest.find(')');
    if (rest.empty() || p == std::string_view::npos || q == std::string_view::npos) return true;
    std::string_view group = rest.substr(0, q + 1);
    std::string_view address = rest.substr(0, p);
    // A ")" before the "(" leaves the address running over it and the value empty.
    std::string_view value = q > p ? rest.substr(p + 1, q - p - 1) : std::string_view{};
    std::string_view unit;
    if (size_t star = value.find('*'); star != std::string_view::npos) {
      unit = value.substr(star + 1);
      value = value.substr(0, star);
    }
    if (!address.empty()) {
      out.groups.emplace_back(group);
      out.kinds.push_back(0);
      out.dis.emplace_back(address);
      out.values.emplace_back(value);
      out.units.emplace_back(unit);
    } else {
      if (out.values.empty()) return false;
      out.values.back().append(group);
    }
    rest.remove_prefix(q + 1);
  }
}

bool forEachReadoutLine(std::string_view text, const std::function<bool(std::string_view)>& onLine) {
  if (text.size() < 5 || text.front() != kStx || (text.back() != kEtx && text.back() != kEot)) return false;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == kStx || c == '!' || c == kCr) continue;
    if (c == kLf || c == kEtx || c == kEot) {
      if (!line.empty() && !onLine(line)) return true;
      line.clear();
      if (c != kLf) ++i;  // the block check character
      continue;
    }
    line.push_back(c);
  }
  return true;
}

}  // namespace kavlink::iec
