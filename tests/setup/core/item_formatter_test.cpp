#include "core/item_formatter.h"

#include <gtest/gtest.h>

namespace zr::setup {
namespace {

TEST(ItemFormatter, EachLayoutCutsItsOwnLengthAndLeavesOtherLengthsUnchanged) {
  const struct {
    int fl;
    const char* value;
    const char* expected;
    const char* wrongLength;  // shown unchanged
  } cases[] = {
      {0, "0012345678", "0012345678", ""},
      {1, "00012345", "000123.45", "012345"},
      {2, "123456", "12.3456", "1234567"},
      {3, "12311530", "12.31 15:30", "123115"},
      {4, "083002", "08:30-02", "0830"},
      {5, "2412311530", "24.12.31 15:30", "24123115"},
      {6, "241231153000012345", "24.12.31 15:30 000123.45", "2412311530"},
      {7, "123456", "1234.56", "12345678"},
      {8, "1234", "12.34", "123456"},
      {9, "24123103", "24.12.31 03", "241231"},
      {10, "235959", "23:59:59", "2359"},
      {11, "12", "1.2", "123"},
      {12, "0987", "0.987", "09"},
      {13, "03", "Status:03 say:Relay and Forbid open and PA=PA", "0300"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ItemFormatter(c.fl, c.value), c.expected) << "fl " << c.fl;
    EXPECT_EQ(ItemFormatter(c.fl, c.wrongLength), c.wrongLength) << "fl " << c.fl;
    EXPECT_EQ(ItemFormatter(c.fl, ""), "") << "fl " << c.fl;
  }
}

TEST(ItemFormatter, StatusByteReadsRelayCoverAndPaBits) {
  const struct {
    const char* value;
    const char* expected;
  } cases[] = {
      {"00", "Status:00 say:No relay and Allow open and PA=PA"},
      {"10", "Status:10 say:No relay and Allow open and PA=PA+RA"},
      {"ff", "Status:ff say:Relay and Forbid open and PA=PA+RA"},
      {"0G", "Status:0G say:No relay and Allow open and PA=PA"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatStatusByte(c.value), c.expected) << c.value;
}

TEST(ItemFormatter, UnknownLayoutShowsTheValueUnchanged) {
  EXPECT_EQ(ItemFormatter(14, "00012345"), "00012345");
  EXPECT_EQ(ItemFormatter(-1, "00012345"), "00012345");
  EXPECT_EQ(ItemFormatter(99, "03"), "03");
}

}  // namespace
}  // namespace zr::setup
