// The codings every parameter page shares, by value.
#include "core/value_codings.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/handler_tables.h"
#include "core/page_handlers.h"

using namespace zr::setup;

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ValueCodings, RepliesBecomeFieldTexts) {
  struct Case {
    ValueCoding coding;
    Bytes value;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {{Coding::kDigits, 0, 3, 1}, {0x50, 0x34, 0x02}, "0234.50"},
      {{Coding::kDigits, 0, 2, 1}, {0x50, 0x07}, "07.50"},
      {{Coding::kDigits, 0, 1, 0}, {0x0A}, "0A"},
      {{Coding::kDigits, 1, 1, 0}, {0x08, 0x15}, "15"},
      {{Coding::kDigits, 0, 6, 0}, {0x56, 0x34, 0x12, 0x90, 0x78, 0x00}, "007890123456"},
      {{Coding::kDigits, 0, 3, 0}, {0x50, 0x34}, std::nullopt},  // a byte short
      {{Coding::kSignedRemaining, 0, 4, 1}, {0x50, 0x34, 0x12, 0x00}, "001234.50"},
      {{Coding::kSignedRemaining, 0, 4, 1}, {0x50, 0x34, 0x12, 0x80}, "-01234.50"},
      {{Coding::kSignedRemaining, 0, 4, 1}, {0x50, 0x34, 0x12, 0x81}, "-11234.50"},
      {{Coding::kSignedRemaining, 0, 4, 1}, {0x50, 0x34, 0x12, 0x99}, "-191234.50"},
      {{Coding::kBcdDate, 1, 3, 0}, {0x03, 0x08, 0x12, 0x26}, "2026-12-08"},
      {{Coding::kBcdDate, 0, 3, 0}, {0x29, 0x02, 0x24}, "2024-02-29"},
      {{Coding::kBcdDate, 0, 3, 0}, {0x29, 0x02, 0x26}, std::nullopt},
      {{Coding::kBcdDate, 0, 3, 0}, {0x31, 0x04, 0x26}, std::nullopt},
      {{Coding::kBcdDate, 0, 3, 0}, {0x01, 0x00, 0x26}, std::nullopt},
      {{Coding::kBcdDate, 0, 3, 0}, {0x01, 0x01, 0xA0}, std::nullopt},
      {{Coding::kBcdTime, 0, 3, 0}, {0x59, 0x59, 0x23}, "23:59:59"},
      {{Coding::kBcdTime, 0, 3, 0}, {0x00, 0x00, 0x00}, "00:00:00"},
      {{Coding::kBcdTime, 0, 3, 0}, {0x60, 0x00, 0x00}, std::nullopt},
      {{Coding::kBcdTime, 0, 3, 0}, {0x00, 0x0A, 0x00}, std::nullopt},
      {{Coding::kBcdWeekday, 0, 1, 0}, {0x06}, "06"},
      {{Coding::kBcdWeekday, 0, 1, 0}, {0x07}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(decodeValue(c.coding, c.value), c.text) << c.text.value_or("(none)");
}

TEST(ValueCodings, TextPiecesBecomeValueBytes) {
  struct Case {
    const char* text;
    int position;
    uint8_t byte;
  };
  const Case cases[] = {
      {"0220.00", 6, 0x00}, {"0220.00", 3, 0x20}, {"0220.00", 1, 0x02}, {"02x0.00", 3, 0x00},
      {"7", 0, 0x07},       {"1x", 0, 0x00},      {"", 0, 0x00},        {"0830", 5, 0x00},
      {"083", 3, 0x03},     {"ab", 1, 0xAB},      {" 5", 1, 0x00},
  };
  for (const Case& c : cases) EXPECT_EQ(valueByteFromText(c.text, c.position), c.byte) << c.text << "@" << c.position;
  EXPECT_EQ(shortDateText("2026-12-08"), "26-12-08");
}

TEST(ValueCodings, IntegerTextsAsTheWindowsConversionReadsThem) {
  EXPECT_EQ(parseIntegerText("2880"), 2880);
  EXPECT_EQ(parseIntegerText("  -5"), -5);
  EXPECT_EQ(parseIntegerText("+7"), 7);
  EXPECT_GT(*parseIntegerText("99999999999999999999999"), int64_t{65535});
  for (const char* bad : {"", " ", "-", "5 ", "1e3", "0x10", "12a"}) EXPECT_FALSE(parseIntegerText(bad)) << bad;
}

TEST(ValueCodings, ProfileFieldForms) {
  EXPECT_EQ(profileHeadText("05171345"), "05.17 13:45");
  EXPECT_EQ(profileEnergyText("81234567"), "-012345.67");
  EXPECT_EQ(profileEnergyText("00123456"), "001234.56");
  EXPECT_EQ(profileEnergyText("99000000"), "-190000.00");
  EXPECT_EQ(profileEnergyText("9A000000"), "9A0000.00");
  EXPECT_EQ(profileDecimalText("2201", 3), "220.1");
  EXPECT_EQ(profileDecimalText("5000", 2), "50.00");
  EXPECT_EQ(profileDecimalText("0987", 1), "0.987");
}

TEST(ValueCodings, FormatChecksTakeTheWholeUntrimmedText) {
  const FormatCheck voltage{"Edit5", 7, 5, "v"}, pulse{"Edit9", 6, 0, "p"}, current{"Edit14", 4, -1, "c"};
  EXPECT_TRUE(passesFormatCheck(voltage, "0220.00"));
  EXPECT_TRUE(passesFormatCheck(voltage, "02x0.0."));
  EXPECT_TRUE(passesFormatCheck(voltage, " 220.00"));  // untrimmed: 7 characters, point at 5
  EXPECT_FALSE(passesFormatCheck(voltage, "0220.00 "));
  EXPECT_FALSE(passesFormatCheck(voltage, "022.000"));
  EXPECT_TRUE(passesFormatCheck(pulse, "00.200"));
  EXPECT_FALSE(passesFormatCheck(current, "1.23"));
  EXPECT_TRUE(passesFormatCheck(current, "0060"));
}

TEST(HandlerTables, EveryReadNeedsTheBytesItsFieldsDecode) {
  for (const ReadItem* item : allReadItems()) {
    Bytes value(item->valueBytes(), 0x01);
    for (int i = 0; i < item->targetCount; ++i)
      EXPECT_TRUE(decodeValue(item->targets[static_cast<size_t>(i)].coding, value).has_value()) << item->button;
    if (!value.empty()) value.pop_back();
    bool any = false;
    for (int i = 0; i < item->targetCount; ++i)
      any = any || !decodeValue(item->targets[static_cast<size_t>(i)].coding, value).has_value();
    EXPECT_TRUE(any) << item->button;
  }
}

}  // namespace
