#include "core/system_fun.h"

#include <gtest/gtest.h>

#include "core/checks.h"
#include "core/setup_error.h"
#include "fake_window.h"

namespace zr::setup {
namespace {

TEST(HexTextToInt, ConvertsOrGivesZeroForAnyForeignCharacter) {
  const struct {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"", 0},
      {"0", 0},
      {"ff", 255},
      {"FF", 255},
      {"100", 256},
      {"1a", 26},
      {"C0", 192},
      {"12 ", 0},
      {"-1", 0},
      {" 1", 0},
      {"1G", 0},
      {"1.5", 0},
      {"FFFFFFFF", -1},
      {"80000000", INT32_MIN},
      {"123456789", 0x23456789},
      {"7FFFFFFF", INT32_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(HexTextToInt(c.text), c.expected) << '"' << c.text << '"';
}

TEST(IntegerPower, WrapsAtThirtyTwoBitsAndTreatsNonPositiveExponentAsZero) {
  EXPECT_EQ(IntegerPower(16, 7), 0x10000000);
  EXPECT_EQ(IntegerPower(16, 8), 0);
  EXPECT_EQ(IntegerPower(3, 0), 1);
  EXPECT_EQ(IntegerPower(3, -2), 1);
  EXPECT_EQ(IntegerPower(-2, 3), -8);
}

TEST(ByteToBinaryText, PutsTheMostSignificantBitFirst) {
  EXPECT_EQ(ByteToBinaryText(0x00), "00000000");
  EXPECT_EQ(ByteToBinaryText(0xFF), "11111111");
  EXPECT_EQ(ByteToBinaryText(0x05), "00000101");
  EXPECT_EQ(ByteToBinaryText(0x80), "10000000");
}

TEST(FitTextToWidth, FillsOnTheLeftAndCutsOnTheRight) {
  const struct {
    const char* text;
    int width;
    const char* expected;
  } cases[] = {
      {"12345", 12, "000000012345"},         {"", 12, "000000000000"}, {"123456789012", 12, "123456789012"},
      {"1234567890123", 12, "123456789012"}, {"123", 0, ""},           {"123", -4, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FitTextToWidth(c.text, '0', c.width), c.expected) << c.text << "/" << c.width;
}

TEST(WindowChecks, StopWithTheirMessageOrPass) {
  const struct {
    const char* password;
    const char* meterId;
    const char* passwordError;  // nullptr: passes
    const char* meterIdError;
  } cases[] = {
      {" 318204 ", "1", nullptr, nullptr},
      {"12345", "  ", "6-digit password is not enough", "Please input Meter ID !"},
      {"1234567", "\t", "6-digit password is not enough", "Please input Meter ID !"},
      {"   ", "", "Please input Password !", "Please input Meter ID !"},
      {"zzzzzz", " 000000000001", nullptr, nullptr},
  };
  auto messageOf = [](auto&& check) -> std::string {
    try {
      check();
    } catch (const SetupError& e) {
      return e.what();
    }
    return {};
  };
  for (const auto& c : cases) {
    FakeForm form;
    form.password = c.password;
    form.meterId = c.meterId;
    EXPECT_EQ(messageOf([&] { CheckPassword(form); }), c.passwordError ? c.passwordError : "") << c.password;
    EXPECT_EQ(messageOf([&] { CheckMeterId(form); }), c.meterIdError ? c.meterIdError : "") << c.meterId;
  }
}

}  // namespace
}  // namespace zr::setup
