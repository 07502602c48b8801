#include "core/info_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "core/setup_error.h"
#include "temp_dir.h"

namespace zr::setup {
namespace {

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(InfoFile, LineSplitsIntoCaptionValueAndUnit) {
  const struct {
    const char* line;
    const char* caption;
    const char* value;
    const char* unit;
  } cases[] = {
      {"a,b,c", "a", "b", "c"},
      {"a,b,c,d", "a", "b", "c,d"},
      {"a,b", "a", "", "b"},
      {"abc", "", "", "abc"},
      {"", "", "", ""},
      {",,", "", "", ""},
      {"Meter's id,12,", "Meter's id", "12", ""},
  };
  for (const auto& c : cases) {
    const ResultRow row = parseItemLine(c.line);
    EXPECT_EQ(row.caption, c.caption) << c.line;
    EXPECT_EQ(row.value, c.value) << c.line;
    EXPECT_EQ(row.unit, c.unit) << c.line;
    EXPECT_FALSE(row.checked);
  }
}

TEST(InfoFile, LoadsEveryLineWhateverItsEndingAndAppendsToTheList) {
  TempDir dir;
  const auto file = dir.path / "info.txt";
  writeFile(file, "a,b,c\r\n\r\nx,y\nlast");
  ResultList list;
  list.append({"kept", "1", "V", true});
  LoadItemList(list, file);
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list.row(0).caption, "kept");
  EXPECT_EQ(list.row(1).unit, "c");
  EXPECT_EQ(list.row(2).caption + list.row(2).value + list.row(2).unit, "");
  EXPECT_EQ(list.row(3).unit, "y");
  EXPECT_EQ(list.row(4).unit, "last");
}

TEST(InfoFile, MissingFileLeavesTheListUnchanged) {
  TempDir dir;
  ResultList list;
  list.append({"kept", "", "", false});
  LoadItemList(list, dir.path / "info.txt");
  EXPECT_EQ(list.size(), 1u);
}

TEST(InfoFile, SavesRowsWithCrLfAndReadsThemBack) {
  TempDir dir;
  const auto file = dir.path / "info.txt";
  writeFile(file, "old content that must go\r\n");
  ResultList list;
  list.append({"Total active energy", "000123.45", "kWh", true});
  list.append({"Time", "", "", false});
  SaveItemList(list, file);
  EXPECT_EQ(readFile(file), "Total active energy,000123.45,kWh\r\nTime,,\r\n");

  ResultList again;
  LoadItemList(again, file);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again.row(0).value, "000123.45");
  EXPECT_FALSE(again.row(0).checked);

  SaveItemList(ResultList(), file);
  EXPECT_EQ(readFile(file), "");
}

TEST(InfoFile, AWriteThatDoesNotReachTheFileIsAnError) {
  // The device takes the open but refuses every byte, as a full disk does.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ResultList list;
  list.append({"Total active energy", "000123.45", "kWh", false});
  EXPECT_THROW(SaveItemList(list, "/dev/full"), SetupError);
}

}  // namespace
}  // namespace zr::setup
