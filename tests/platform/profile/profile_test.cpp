#include "profile/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zr::profile {
namespace {

class ProfileFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zr_profile_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/Tools.ini";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  void put(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string contents() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool exists() const { return access(path_.c_str(), F_OK) == 0; }

  std::string dir_;
  std::string path_;
};

TEST_F(ProfileFile, ReadsStringsByTheProfileRules) {
  struct Case {
    const char* name;
    const char* file;
    const char* section;
    const char* key;
    const char* expected;  // "<default>" is the default passed in
  };
  const Case cases[] = {
      {"plain", "[option]\naddress=000000000001\n", "option", "address", "000000000001"},
      {"names ignore case", "[Option]\nAddress=7\n", "OPTION", "aDDRESS", "7"},
      {"blanks around name and value", "  [ option ]  \n  port  =  COM3  \n", "option", "port", "COM3"},
      {"CRLF line ends", "[option]\r\ncaption=Program\r\nWtime=100\r\n", "option", "caption", "Program"},
      {"last line without line end", "[option]\ncaption=Program", "option", "caption", "Program"},
      {"lone CR line ends", "[option]\rcaption=Program\rWtime=100\r", "option", "Wtime", "100"},
      {"double quotes dropped", "[s]\nk=\" x \"\n", "s", "k", " x "},
      {"unmatched quote kept", "[s]\nk=\"x\n", "s", "k", "\"x"},
      {"value holding '='", "[s]\nk=a=b\n", "s", "k", "a=b"},
      {"empty value", "[s]\nk=\n", "s", "k", ""},
      {"first of two keys", "[s]\nk=1\nk=2\n", "s", "k", "1"},
      {"key in a repeated section", "[s]\na=1\n[t]\nk=0\n[S]\nk=2\n", "s", "k", "2"},
      {"byte-order mark", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "v"},
      {"GB18030 text read as UTF-8", "[s]\nk=\xC4\xE3\xBA\xC3\n", "s", "k", "你好"},
      {"UTF-8 text kept", "[s]\nk=你好\n", "s", "k", "你好"},
      {"missing key", "[s]\nother=1\n", "s", "k", "<default>"},
      {"key of another section", "[s]\n[t]\nk=1\n", "s", "k", "<default>"},
      {"key before any section", "k=1\n[s]\n", "s", "k", "<default>"},
      {"commented-out key", "[s]\n;k=1\n", "s", "k", "<default>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put(c.file);
    std::string expected = c.expected == std::string("<default>") ? "dflt" : c.expected;
    EXPECT_EQ(getProfileString(path_, c.section, c.key, "dflt"), expected);
  }
}

TEST_F(ProfileFile, MissingFileGivesTheDefaultWithoutTrailingBlanks) {
  EXPECT_EQ(getProfileString(path_, "option", "caption", "Program"), "Program");
  EXPECT_EQ(getProfileString(path_, "option", "caption", "  Program  "), "  Program");
  EXPECT_EQ(getProfileInt(path_, "option", "Wtime", 5000), 5000);
  EXPECT_FALSE(exists());  // reading never creates the file
}

TEST_F(ProfileFile, ReadsIntegersAsTheSystemFunctionDoes) {
  struct Case {
    const char* value;  // nullptr: the key is missing
    int expected;
  };
  const Case cases[] = {
      {"1200", 1200},     {"-1", -1}, {"+7", 7},        {"  42  ", 42}, {"12abc", 12}, {"abc", 0},
      {"0x10", 0},        {"- 5", 0}, {"\"300\"", 300}, {"", 77},       {nullptr, 77}, {"2147483647", INT_MAX},
      {"4294967295", -1},  // wraps as an unsigned word
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(missing)");
    put(c.value ? std::string("[s]\nn=") + c.value + "\n" : std::string("[s]\n"));
    EXPECT_EQ(getProfileInt(path_, "S", "N", 77), c.expected);
  }
}

TEST_F(ProfileFile, WriteChangesOnlyWhatItMust) {
  struct Case {
    const char* name;
    const char* before;  // nullptr: no file yet
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  };
  const Case cases[] = {
      {"value replaced in place, CRLF and comments kept", "; settings\r\n[option]\r\naddress=1\r\nport=COM1\r\n",
       "option", "address", "000000000002", "; settings\r\n[option]\r\naddress=000000000002\r\nport=COM1\r\n"},
      {"line keeps its spelling and spacing", "[Option]\n  Address = 1 \n", "OPTION", "address", "2",
       "[Option]\n  Address = 2\n"},
      {"empty value replaced", "[s]\nk=\nz=1\n", "s", "k", "v", "[s]\nk=v\nz=1\n"},
      {"new key after the section's last line", "[a]\nx=1\n\n[b]\ny=2\n", "A", "port", "COM3",
       "[a]\nx=1\nport=COM3\n\n[b]\ny=2\n"},
      {"new key in a section at the end of a file without a final line end", "[a]\nx=1", "a", "y", "2",
       "[a]\nx=1\ny=2"},
      {"new section appended after a blank line", "[a]\r\nx=1\r\n", "option", "port", "COM3",
       "[a]\r\nx=1\r\n\r\n[option]\r\nport=COM3\r\n"},
      {"new section in a file without a final line end", "[a]\nx=1", "b", "y", "2", "[a]\nx=1\n\n[b]\ny=2\n"},
      {"missing file created", nullptr, "option", "port", "COM3", "[option]\nport=COM3\n"},
      {"names written trimmed", "", " option ", " port ", "x", "[option]\nport=x\n"},
      {"byte-order mark and odd lines kept", "\xEF\xBB\xBF[s]\nodd line\nk=1\n", "s", "k", "2",
       "\xEF\xBB\xBF[s]\nodd line\nk=2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(path_.c_str());
    if (c.before) put(c.before);
    EXPECT_TRUE(writeProfileString(path_, c.section, c.key, c.value));
    EXPECT_EQ(contents(), c.after);
  }
}

TEST_F(ProfileFile, WriteKeepsEveryLineWhateverItsLineEnd) {
  struct Read {
    const char* section;
    const char* key;
    const char* value;
  };
  struct Case {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
    std::vector<Read> reads;  // every key of the file afterwards
  };
  const Case cases[] = {
      {"CR file, new key", "[s]\rk=1\r", "s", "n", "2", "[s]\rk=1\rn=2\r", {{"s", "k", "1"}, {"s", "n", "2"}}},
      {"LF file whose last line ends in CR",
       "[s]\nk=1\r",
       "s",
       "n",
       "2",
       "[s]\nk=1\rn=2\n",
       {{"s", "k", "1"}, {"s", "n", "2"}}},
      {"CRLF file whose last line ends in CR",
       "[s]\r\nk=1\r",
       "s",
       "n",
       "2",
       "[s]\r\nk=1\rn=2\r\n",
       {{"s", "k", "1"}, {"s", "n", "2"}}},
      {"CR file, new section",
       "[a]\rx=1\r",
       "b",
       "y",
       "2",
       "[a]\rx=1\r\r[b]\ry=2\r",
       {{"a", "x", "1"}, {"b", "y", "2"}}},
      {"LF file ending in CR, new section",
       "[a]\nx=1\r",
       "b",
       "y",
       "2",
       "[a]\nx=1\r\n[b]\ny=2\n",
       {{"a", "x", "1"}, {"b", "y", "2"}}},
      {"CR file without a final line end",
       "[a]\rx=1",
       "a",
       "y",
       "2",
       "[a]\rx=1\ry=2",
       {{"a", "x", "1"}, {"a", "y", "2"}}},
      {"CR file, value replaced",
       "[s]\rk=1\rz=3\r",
       "s",
       "k",
       "9",
       "[s]\rk=9\rz=3\r",
       {{"s", "k", "9"}, {"s", "z", "3"}}},
      {"mixed line ends kept",
       "[s]\r\na=1\nb=2\rc=3\r",
       "s",
       "d",
       "4",
       "[s]\r\na=1\nb=2\rc=3\rd=4\r\n",
       {{"s", "a", "1"}, {"s", "b", "2"}, {"s", "c", "3"}, {"s", "d", "4"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put(c.before);
    EXPECT_TRUE(writeProfileString(path_, c.section, c.key, c.value));
    EXPECT_EQ(contents(), c.after);
    for (const Read& r : c.reads) EXPECT_EQ(getProfileString(path_, r.section, r.key, "dflt"), r.value) << r.key;
  }
}

TEST_F(ProfileFile, WriteRefusesTextThatWouldBreakTheFile) {
  struct Case {
    const char* name;
    const char* section;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"line break in the value", "s", "k", "1\n[evil]\nk=2"},
      {"'=' in the key", "s", "a=b", "1"},
      {"empty key", "s", "  ", "1"},
      {"key starting a section", "s", "[k", "1"},
      {"']' in the section", "a]b", "k", "1"},
  };
  const std::string before = "[s]\nk=0\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put(before);
    EXPECT_FALSE(writeProfileString(path_, c.section, c.key, c.value));
    EXPECT_EQ(contents(), before);
  }
}

TEST_F(ProfileFile, WriteFailsWhereNoFileCanBeMade) {
  EXPECT_FALSE(writeProfileString(dir_ + "/no/such/dir/Tools.ini", "s", "k", "v"));
}

TEST_F(ProfileFile, WriteThroughALinkKeepsTheLinkAndTheFileMode) {
  std::string real = dir_ + "/real.ini";
  std::ofstream(real) << "[s]\nk=1\n";
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(symlink(real.c_str(), path_.c_str()), 0);
  ASSERT_TRUE(writeProfileString(path_, "s", "k", "2"));
  struct stat st {};
  ASSERT_EQ(lstat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(getProfileString(real, "s", "k", ""), "2");
}

}  // namespace
}  // namespace zr::profile
