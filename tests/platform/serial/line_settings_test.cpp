#include "serial/line_settings.h"

#include <gtest/gtest.h>

#include "platform/serial/termios_probe.h"

namespace zr::serial {
namespace {

LineSettings line(uint32_t baud, uint32_t data, uint32_t parity, uint32_t stop, uint32_t dtr = 0, uint32_t rts = 0,
                  bool dsrFlow = false) {
  LineSettings s;
  s.baudRate = baud, s.dataBits = data, s.parity = parity, s.stopBits = stop;
  s.dtrControl = dtr, s.rtsControl = rts, s.dsrOutFlow = dsrFlow;
  return s;
}

TEST(LineSettings, CheckJudgesRangesCombinationsAndLinuxGaps) {
  using C = SettingsCheck;
  const std::pair<LineSettings, C> cases[] = {
      {line(9600, 8, 0, 0), C::Ok},
      {line(256000, 5, 4, 1), C::Ok},
      {line(9600, 8, 0, 0, 0, 2), C::Ok},
      {line(0, 8, 0, 0), C::Invalid},
      {line(9600, 9, 0, 0), C::Invalid},
      {line(9600, 4, 0, 0), C::Invalid},
      {line(9600, 8, 5, 0), C::Invalid},
      {line(9600, 8, 0, 3), C::Invalid},
      {line(9600, 8, 0, 1), C::Invalid},
      {line(9600, 5, 0, 2), C::Invalid},
      {line(9600, 8, 0, 0, 0, 4), C::Invalid},
      {line(9600, 8, 0, 0, 2), C::Unsupported},
      {line(9600, 8, 0, 0, 0, 3), C::Unsupported},
      {line(9600, 8, 0, 0, 0, 0, true), C::Unsupported},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(checkSettings(cases[i].first), cases[i].second) << i;
}

TEST(LineSettings, FillSetsEveryTerminalFieldFromACookedStart) {
  LineSettings flow = line(128000, 8, kParityNone, kStopOne);
  flow.ctsOutFlow = flow.xonXoffOut = flow.xonXoffIn = flow.parityCheck = true;
  flow.xonChar = 0x21, flow.xoffChar = 0x22;
  const std::tuple<LineSettings, tcflag_t, tcflag_t> cases[] = {
      {line(9600, 8, kParityNone, kStopOne), CS8, 0},
      {line(256000, 7, kParityOdd, kStopTwo), CS7 | PARENB | PARODD | CSTOPB, 0},
      {line(300, 6, kParityEven, kStopOne), CS6 | PARENB, 0},
      {line(1200, 8, kParityMark, kStopOne), CS8 | PARENB | PARODD | CMSPAR, 0},
      {line(2400, 5, kParitySpace, kStopOneAndHalf), CS5 | PARENB | CMSPAR | CSTOPB, 0},
      {flow, CS8 | CRTSCTS, INPCK | PARMRK | IXON | IXOFF},
  };
  for (const auto& [s, cflag, iflag] : cases) {
    termios2 t{};
    t.c_iflag = ICRNL | IXON | ISTRIP | IGNPAR;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG;
    t.c_cflag = B38400 | CS8 | PARENB | CSTOPB | HUPCL;
    fillTermios(s, t);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), cflag) << s.baudRate;
    EXPECT_EQ(t.c_cflag & (CBAUD | CREAD | CLOCAL | HUPCL), BOTHER | CREAD | CLOCAL | HUPCL) << s.baudRate;
    EXPECT_EQ(t.c_iflag, iflag) << s.baudRate;
    EXPECT_EQ(t.c_oflag | t.c_lflag, 0u) << s.baudRate;
    EXPECT_EQ(t.c_ospeed, s.baudRate);
    EXPECT_EQ(t.c_cc[VSTART] * 256 + t.c_cc[VSTOP], s.xonChar * 256 + s.xoffChar);
  }
}

TEST(LineSettings, ReadBackMustHoldWhatWasAsked) {
  LineSettings s = line(128000, 8, kParityEven, kStopOne);
  s.xonXoffOut = true;
  termios2 want{};
  fillTermios(s, want);
  const std::pair<void (*)(termios2&), bool> cases[] = {
      {[](termios2&) {}, true},
      {[](termios2& t) { t.c_cflag &= ~PARENB; }, false},
      {[](termios2& t) { t.c_cc[VSTART] = 1; }, false},
      {[](termios2& t) { t.c_ospeed = 126800; }, true},  // 1% off
      {[](termios2& t) { t.c_ospeed = 115200; }, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    termios2 got = want;
    cases[i].first(got);
    EXPECT_EQ(termiosHolds(want, got), cases[i].second) << i;
  }
}

}  // namespace
}  // namespace zr::serial
