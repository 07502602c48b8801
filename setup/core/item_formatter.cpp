#include "core/item_formatter.h"

#include <array>
#include <initializer_list>

#include "core/system_fun.h"

namespace zr::setup {
namespace {

// One piece of a layout: the characters [from, from+count) of the input, then a separator.
struct Piece {
  size_t from;
  size_t count;
  const char* after;
};

std::string layout(std::string_view v, size_t length, std::initializer_list<Piece> pieces) {
  if (v.size() != length) return std::string(v);
  std::string out;
  for (const Piece& p : pieces) {
    out += v.substr(p.from, p.count);
    out += p.after;
  }
  return out;
}

}  // namespace

std::string FormatAsIs(std::string_view v) { return std::string(v); }
std::string FormatDec6_2(std::string_view v) { return layout(v, 8, {{0, 6, "."}, {6, 2, ""}}); }
std::string FormatDec2_4(std::string_view v) { return layout(v, 6, {{0, 2, "."}, {2, 4, ""}}); }
std::string FormatMonthDayTime(std::string_view v) {
  return layout(v, 8, {{0, 2, "."}, {2, 2, " "}, {4, 2, ":"}, {6, 2, ""}});
}
std::string FormatPeriodTariff(std::string_view v) { return layout(v, 6, {{0, 2, ":"}, {2, 2, "-"}, {4, 2, ""}}); }
std::string FormatDateMinute(std::string_view v) {
  return layout(v, 10, {{0, 2, "."}, {2, 2, "."}, {4, 2, " "}, {6, 2, ":"}, {8, 2, ""}});
}
std::string FormatDateMinuteValue(std::string_view v) {
  return layout(v, 18, {{0, 2, "."}, {2, 2, "."}, {4, 2, " "}, {6, 2, ":"}, {8, 2, " "}, {10, 6, "."}, {16, 2, ""}});
}
std::string FormatDec4_2(std::string_view v) { return layout(v, 6, {{0, 4, "."}, {4, 2, ""}}); }
std::string FormatDec2_2(std::string_view v) { return layout(v, 4, {{0, 2, "."}, {2, 2, ""}}); }
std::string FormatDateWeek(std::string_view v) {
  return layout(v, 8, {{0, 2, "."}, {2, 2, "."}, {4, 2, " "}, {6, 2, ""}});
}
std::string FormatTime(std::string_view v) { return layout(v, 6, {{0, 2, ":"}, {2, 2, ":"}, {4, 2, ""}}); }
std::string FormatDec1_1(std::string_view v) { return layout(v, 2, {{0, 1, "."}, {1, 1, ""}}); }
std::string FormatDec1_3(std::string_view v) { return layout(v, 4, {{0, 1, "."}, {1, 3, ""}}); }

std::string FormatStatusByte(std::string_view v) {
  if (v.size() != 2) return std::string(v);
  // Characters counted from 1, the most significant bit first: character 8 is bit 0.
  const std::string bits = ByteToBinaryText(static_cast<uint8_t>(HexTextToInt(v)));
  const char* relay = bits[7] == '1' ? "Relay" : "No relay";
  const char* opening = bits[6] == '1' ? "Forbid open" : "Allow open";
  const char* pa = bits[3] == '1' ? "PA=PA+RA" : "PA=PA";
  return "Status:" + std::string(v) + " say:" + relay + " and " + opening + " and " + pa;
}

std::string ItemFormatter(int fl, std::string_view value) {
  using Layout = std::string (*)(std::string_view);
  static constexpr std::array<Layout, 14> kLayouts = {
      FormatAsIs,       FormatDec6_2,          FormatDec2_4, FormatMonthDayTime, FormatPeriodTariff,
      FormatDateMinute, FormatDateMinuteValue, FormatDec4_2, FormatDec2_2,       FormatDateWeek,
      FormatTime,       FormatDec1_1,          FormatDec1_3, FormatStatusByte};
  if (fl < 0 || static_cast<size_t>(fl) >= kLayouts.size()) return std::string(value);
  return kLayouts[static_cast<size_t>(fl)](value);
}

}  // namespace zr::setup
