// Tools.ini as the window reads it at start and writes it at close.
#include <QComboBox>
#include <QLineEdit>

#include "ui/tools_settings.h"
#include "ui_harness.h"

namespace zr::setup::uitest {
namespace {

TEST(SettingsInteger, WholeTextOrTheDefault) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"5000", 5000},
      {"  250", 250},
      {"-7", -7},
      {"+8", 8},
      {"$1F", 31},
      {"0x10", 16},
      {"abc", 42},
      {"", 42},
      {"12ms", 42},
      {"1 2", 42},
      {"-", 42},
      {"0x", 42},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"2147483648", 42},
      {"99999999999999999999", 42},
  };
  for (const auto& c : cases) EXPECT_EQ(settingsInteger(c.text, 42), c.expected) << '"' << c.text << '"';
}

// What the window starts with, for a given Tools.ini (none: no file at all).
struct StartCase {
  const char* name;
  const char* toolsIni;
  const char* meterId;
  const char* port;
  const char* caption;
  int wtime;
  int retries;
  bool lora;
};

void PrintTo(const StartCase& c, std::ostream* out) { *out << c.name; }

class WindowStart : public WindowTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(WindowStart, TakesItsSettingsFromToolsIni) {
  const StartCase& c = GetParam();
  if (c.toolsIni) writeFile("Tools.ini", c.toolsIni);
  TForm1& form = start();
  EXPECT_EQ(form.windowTitle().toStdString(), c.caption);
  EXPECT_EQ(child<QLineEdit>("Edit1")->text().toStdString(), c.meterId);
  EXPECT_EQ(child<QComboBox>("ComboBox1")->currentText().toStdString(), c.port);
  EXPECT_EQ(form.exchange().settings().Wtime, c.wtime);
  EXPECT_EQ(form.exchange().settings().RetryCount, c.retries);
  EXPECT_EQ(form.exchange().settings().lora, c.lora);
  // Reading never writes.
  EXPECT_EQ(std::filesystem::exists("Tools.ini"), c.toolsIni != nullptr);
}

const StartCase kStartCases[] = {
    {"NoFile", nullptr, "000000000001", "000000000001", "Program", 5000, 3, false},
    {"EmptySection", "[option]\r\n", "000000000001", "000000000001", "Program", 5000, 3, false},
    {"WtimeNotANumber", "[option]\r\nWtime=abc\r\n", "000000000001", "000000000001", "Program", 5000, 3, false},
    {"LoraCapitalised", "[option]\r\nLora=Yes\r\n", "000000000001", "000000000001", "Program", 5000, 3, false},
    {"LoraUpperCase", "[option]\r\nLora=YES\r\n", "000000000001", "000000000001", "Program", 5000, 3, false},
    {"LoraExactly", "[OPTION]\r\nlora=yes\r\n", "000000000001", "000000000001", "Program", 5000, 3, true},
    {"AllKeys", "[option]\naddress=12345\nport=/dev/ttyUSB1\ncaption=Meter tool\nWtime=800\nCSCS=5\n", "12345",
     "/dev/ttyUSB1", "Meter tool", 800, 5, false},
    {"OtherSectionOnly", "[other]\naddress=999\nWtime=1\n", "000000000001", "000000000001", "Program", 5000, 3, false},
    // Written on the original platform in its Chinese code page, and as UTF-8.
    {"ChineseCaptionInGb18030", "[option]\r\ncaption=\xB6\xD4\xBB\xB0\xBF\xF2\r\n", "000000000001", "000000000001",
     "对话框", 5000, 3, false},
    {"ChineseCaptionInUtf8", "[option]\r\ncaption=电表工具\r\n", "000000000001", "000000000001", "电表工具", 5000, 3,
     false},
};

INSTANTIATE_TEST_SUITE_P(Cases, WindowStart, ::testing::ValuesIn(kStartCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, TypedMeterIdAndPortAreSavedAtCloseAndComeBackAtTheNextStart) {
  useSampleDatabase();
  writeFile("Tools.ini", "; kept\r\n[option]\r\ncaption=Bench\r\naddress=1\r\nWtime=700\r\n[extra]\r\nkey=value\r\n");
  start();
  child<QLineEdit>("Edit1")->setText("000000012345");
  child<QComboBox>("ComboBox1")->setEditText(" /dev/ttyS4");
  window->close();
  EXPECT_EQ(exitCodes, std::vector<int>{0});
  EXPECT_EQ(readFile("Tools.ini"),
            "; kept\r\n[option]\r\ncaption=Bench\r\naddress=000000012345\r\nWtime=700\r\nport= /dev/ttyS4\r\n"
            "[extra]\r\nkey=value\r\n");

  window.reset();
  TForm1& again = start();
  EXPECT_EQ(child<QLineEdit>("Edit1")->text(), "000000012345");
  EXPECT_EQ(child<QComboBox>("ComboBox1")->currentText(), "/dev/ttyS4");  // blanks around values are not kept
  EXPECT_EQ(again.windowTitle(), "Bench");
  EXPECT_EQ(boxes.events, std::vector<std::string>{});
}

TEST_F(WindowTest, ASettingsFileThatCannotBeWrittenIsReportedAndTheExitCodeSaysSo) {
  useSampleDatabase();
  std::filesystem::create_directory("Tools.ini");  // a directory in its place
  start();
  window->close();
  ASSERT_EQ(boxes.events.size(), 1u);
  EXPECT_EQ(boxes.events[0], "error Cannot write the settings to ./Tools.ini");
  EXPECT_EQ(exitCodes, std::vector<int>{1});
  EXPECT_TRUE(std::filesystem::exists("info.txt"));  // the result list is saved all the same
}

}  // namespace
}  // namespace zr::setup::uitest
