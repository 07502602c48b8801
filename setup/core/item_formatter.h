// The value layouts an item of the item database names by its number (fl). Input is the
// value text of a read (two hex digits per byte, most significant first). A layout only
// cuts and joins; a text of any length but its own comes back unchanged.
#pragma once

#include <string>
#include <string_view>

namespace zr::setup {

std::string FormatAsIs(std::string_view v);             // 0
std::string FormatDec6_2(std::string_view v);           // 1: dddddd.dd
std::string FormatDec2_4(std::string_view v);           // 2: dd.dddd
std::string FormatMonthDayTime(std::string_view v);     // 3: MM.DD hh:mm
std::string FormatPeriodTariff(std::string_view v);     // 4: hh:mm-NN
std::string FormatDateMinute(std::string_view v);       // 5: YY.MM.DD hh:mm
std::string FormatDateMinuteValue(std::string_view v);  // 6: YY.MM.DD hh:mm dddddd.dd
std::string FormatDec4_2(std::string_view v);           // 7: dddd.dd
std::string FormatDec2_2(std::string_view v);           // 8: dd.dd
std::string FormatDateWeek(std::string_view v);         // 9: YY.MM.DD WW
std::string FormatTime(std::string_view v);             // 10: hh:mm:ss
std::string FormatDec1_1(std::string_view v);           // 11: d.d
std::string FormatDec1_3(std::string_view v);           // 12: d.ddd
std::string FormatStatusByte(std::string_view v);       // 13: relay, cover and PA bits

// The layout numbered fl; a number without a layout shows the text unchanged.
std::string ItemFormatter(int fl, std::string_view value);

}  // namespace zr::setup
