// The narrow code page is UTF-8, and users' old files in GB18030 read as what they say.
#include "text/ansi.h"

#include <gtest/gtest.h>

namespace zr::text {
namespace {

TEST(NarrowText, Utf8BothWaysAndReplacementOfWhatIsNoUtf8) {
  const struct {
    std::string narrow;
    std::u16string wide;
    bool valid;
  } cases[] = {
      {"abc", u"abc", true},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3), true},
      {"\xC2\xB0"
       "C",
       u"\u00B0C", true},
      {"\xE5\xAF\xB9\xE8\xAF\x9D\xE6\xA1\x86", u"对话框", true},
      {"\xF0\x9F\x98\x80", u"\U0001F600", true},
      {"\xFF", u"\uFFFD", false},
      {"\xE5\xAF", u"\uFFFD\uFFFD", false},                      // cut short
      {"\xC0\xAF", u"\uFFFD\uFFFD", false},                      // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},  // beyond U+10FFFF
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ansiToWide(c.narrow), c.wide) << c.narrow;
    EXPECT_EQ(isUtf8(c.narrow), c.valid) << c.narrow;
    if (c.valid) {
      EXPECT_EQ(wideToAnsi(c.wide), c.narrow);
    }
  }
  EXPECT_EQ(wideToAnsi(u"a\xD800z"), "a\xEF\xBF\xBDz");  // a lone surrogate
}

TEST(NarrowText, UserFilesInGb18030ReadAsUtf8) {
  const struct {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"caption=Program\r\n", "caption=Program\r\n"},
      {"caption=\xE5\xAF\xB9\xE8\xAF\x9D\xE6\xA1\x86", "caption=\xE5\xAF\xB9\xE8\xAF\x9D\xE6\xA1\x86"},  // UTF-8 stays
      {"caption=\xB6\xD4\xBB\xB0\xBF\xF2\r\n", "caption=\xE5\xAF\xB9\xE8\xAF\x9D\xE6\xA1\x86\r\n"},      // 对话框
      {"font=\xCB\xCE\xCC\xE5", "font=\xE5\xAE\x8B\xE4\xBD\x93"},                                        // 宋体
      {"unit=\xA1\xE6", "unit=\xE2\x84\x83"},                                                            // ℃
      {"bad=\xB6\xD4\xFF", "bad=\xE5\xAF\xB9\xEF\xBF\xBD"},  // a byte that is GB18030 neither
      // A UTF-8 line added to an old file stays as it is.
      {"a=\xB6\xD4\r\nb=\xE5\xAF\xB9\r\n", "a=\xE5\xAF\xB9\r\nb=\xE5\xAF\xB9\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(textFileToUtf8(c.bytes), c.utf8) << c.bytes;
}

}  // namespace
}  // namespace zr::text
