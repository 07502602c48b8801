#include <gtest/gtest.h>

#include "com/dispatch.h"
#include "profile/profile.h"
#include "serial_config_support.h"

namespace kavlink::test {
namespace {

struct Entry {
  const char* section;
  const char* key;
  const char* value;
};

// Every key a new object writes, with its value.
const Entry kNewObject[] = {
    {"General", "Com Port", "COM1"}, {"General", "Baud Rate", "9600"}, {"General", "Parity Bits", "0"},
    {"General", "Data Bits", "8"},   {"General", "Stop Bits", "0"},    {"Flow", "RTSControl", "0"},
    {"Flow", "DTRControl", "0"},     {"Flow", "DsrSensitivity", "0"},  {"Flow", "TXContinueOnXoff", "0"},
    {"Flow", "outCTSFlow", "0"},     {"Flow", "outDSRFlow", "0"},      {"Flow", "XonXoffIn", "0"},
    {"Flow", "XonXoffOut", "0"},     {"Flow", "XoffChar", "19"},       {"Flow", "XonChar", "17"},
    {"Flow", "UseChar", "0"},        {"Other", "DiscardNULL", "0"},    {"Other", "ErrChar", "0"},
    {"Other", "EofChar", "0"},       {"Other", "EventChar", "0"},
};

TEST(SerialProfile, NewObjectWritesEveryKeyInItsSection) {
  TempDir dir;
  const std::string file = dir.file("serial.ini");
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  ASSERT_EQ(port->SaveConfig(bstr(file).get()), S_OK);
  for (const Entry& e : kNewObject) {
    EXPECT_EQ(zr::profile::getProfileString(file, e.section, e.key, "missing"), e.value) << e.key;
  }
  // Settings of the port's stream and of SetParityCheck stay out of the file.
  for (const char* key : {"BufferSize", "Blocking", "AutoEvent"}) {
    EXPECT_EQ(contentsOf(file).find(key), std::string::npos) << key;
  }
}

// Every setting away from its default, the long names and signed characters included.
SerialConfig everySettingChanged() {
  SerialConfig c;
  c.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  c.baudRate = 256000;
  c.parityBits = 4;
  c.dataBits = 5;
  c.stopBits = 1;
  c.rtsControl = 2;
  c.dtrControl = 2;
  c.dsrSensitivity = 1;
  c.txContinueOnXoff = -1;
  c.outxCtsFlow = 1;
  c.outxDsrFlow = -1;
  c.xonXoffIn = 1;
  c.xonXoffOut = 1;
  c.xoffChar = 0x93;
  c.xonChar = 0x91;
  c.useErrChar = 1;  // lost on load when it was read from "Other" only
  c.discardNull = -1;
  c.errChar = 0xFE;
  c.eofChar = 0x1A;
  c.eventChar = -128;
  return c;
}

TEST(SerialProfile, MissingOrEmptyFileGivesTheLoadDefaults) {
  TempDir dir;
  writeFile(dir.file("empty.ini"), "");
  writeFile(dir.file("other.ini"), "[General]\r\nSomething=else\r\n[Flow]\r\n");
  SerialConfig expected;
  expected.dtrControl = 1;  // the file's default, not the object's
  for (const char* name : {"missing.ini", "empty.ini", "other.ini"}) {
    auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
    port->applyConfig(everySettingChanged());
    ASSERT_EQ(port->LoadConfig(bstr(dir.file(name)).get()), S_OK) << name;
    EXPECT_EQ(port->config(), expected) << name;
  }
}

TEST(SerialProfile, SavedSettingsLoadBackWhole) {
  TempDir dir;
  const std::string file = dir.file("round.ini");
  const SerialConfig c = everySettingChanged();
  auto saved = ComPtr<CZrSerial>::attach(CZrSerial::create());
  saved->applyConfig(c);
  saved->put_BufferSize(4096);
  ASSERT_EQ(saved->SaveConfig(bstr(file).get()), S_OK);
  // Characters are written as signed 8-bit numbers.
  EXPECT_EQ(zr::profile::getProfileString(file, "Other", "ErrChar", ""), "-2");
  EXPECT_EQ(zr::profile::getProfileString(file, "Flow", "UseChar", ""), "1");

  auto loaded = ComPtr<CZrSerial>::attach(CZrSerial::create());
  ASSERT_EQ(loaded->LoadConfig(bstr(file).get()), S_OK);
  EXPECT_EQ(loaded->config(), c);
  LONG bufferSize = 0;
  loaded->get_BufferSize(&bufferSize);
  EXPECT_EQ(bufferSize, 2048);
}

// Files as the system and its users write them.
TEST(SerialProfile, HandWrittenFilesLoad) {
  struct Case {
    const char* text;
    SerialConfig expected;
  };
  auto with = [](auto change) {
    SerialConfig c;
    c.dtrControl = 1;
    change(c);
    return c;
  };
  const Case cases[] = {
      {"[General]\r\nCom Port=COM3\r\nBaud Rate=2400\r\nParity Bits=2\r\nData Bits=7\r\nStop Bits=2\r\n"
       "[Flow]\r\nRTSControl=1\r\nDTRControl=0\r\nXoffChar=-109\r\nXonChar=17\r\nUseChar=1\r\n"
       "[Other]\r\nDiscardNULL=-1\r\nErrChar=-2\r\nEofChar=26\r\nEventChar=13\r\n",
       with([](SerialConfig& c) {
         c.port = "COM3", c.baudRate = 2400, c.parityBits = 2, c.dataBits = 7, c.stopBits = 2;
         c.rtsControl = 1, c.dtrControl = 0, c.xoffChar = 0x93, c.useErrChar = 1;
         c.discardNull = -1, c.errChar = 0xFE, c.eofChar = 26, c.eventChar = 13;
       })},
      // A reader of "Other" keeps working, and wins over "Flow".
      {"[Other]\nUseChar=1\n", with([](SerialConfig& c) { c.useErrChar = 1; })},
      {"[Flow]\nUseChar=1\n[Other]\nUseChar=0\n", with([](SerialConfig& c) { c.useErrChar = 0; })},
      {"[Flow]\nUseChar=1\n[Other]\nUseChar=\n", with([](SerialConfig& c) { c.useErrChar = 1; })},
      // The whole port name, not its first five characters; names and values keep their
      // case-blind and blank rules.
      {"[general]\ncom port = /dev/ttyUSB0 \n", with([](SerialConfig& c) { c.port = "/dev/ttyUSB0"; })},
      {"[General]\nCom Port=\nBaud Rate=abc\n", with([](SerialConfig& c) { c.port = "", c.baudRate = 0; })},
      // Numbers in a wider width than the setting keep its low bits.
      {"[Flow]\nXonChar=300\nRTSControl=65538\n", with([](SerialConfig& c) { c.xonChar = 44, c.rtsControl = 2; })},
  };
  TempDir dir;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string file = dir.file("hand" + std::to_string(i) + ".ini");
    writeFile(file, cases[i].text);
    auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
    ASSERT_EQ(port->LoadConfig(bstr(file).get()), S_OK);
    EXPECT_EQ(port->config(), cases[i].expected) << i;
  }
}

TEST(SerialProfile, FileNamesAsALinuxUserGivesThem) {
  TempDir dir;
  const auto cwd = std::filesystem::current_path();
  std::filesystem::create_directories(dir.path / "sub");
  std::filesystem::current_path(dir.path);
  struct Case {
    std::string given;
    std::filesystem::path onDisk;
  };
  const Case cases[] = {
      {dir.file("absolute.ini"), dir.path / "absolute.ini"},
      {"relative.ini", dir.path / "relative.ini"},
      {"sub/../sub/nested.ini", dir.path / "sub" / "nested.ini"},
      {"串口 设置 ü.ini", dir.path / "串口 设置 ü.ini"},
  };
  for (const Case& c : cases) {
    auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
    port->put_BaudRate(br4800);
    ASSERT_EQ(port->SaveConfig(bstr(c.given).get()), S_OK) << c.given;
    EXPECT_TRUE(std::filesystem::exists(c.onDisk)) << c.given;
    auto back = ComPtr<CZrSerial>::attach(CZrSerial::create());
    ASSERT_EQ(back->LoadConfig(bstr(c.given).get()), S_OK);
    EXPECT_EQ(back->config().baudRate, 4800) << c.given;
  }
  std::filesystem::current_path(cwd);
}

TEST(SerialProfile, FileThatCannotBeWrittenIsReported) {
  TempDir dir;
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  const std::string file = dir.file("no-such-dir/serial.ini");
  ComFailure f = failureOf(port->SaveConfig(bstr(file).get()));
  EXPECT_EQ(f.code, DISP_E_EXCEPTION);
  EXPECT_EQ(f.text, "Unable to write the profile file " + file);
  EXPECT_EQ(f.source, "kavlink.ZrSerial.1");
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(SerialProfile, MethodsAnswerThroughDispatch) {
  TempDir dir;
  const std::string file = dir.file("dispatch.ini");
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  port->put_BaudRate(br1200);
  IDispatch* d = static_cast<IZrSerial*>(port.get());
  // The arguments go to the call, which frees them.
  const std::u16string name = zr::text::utf8ToWide(file);
  ASSERT_EQ(zr::com::invokeByName(d, u"SaveConfig", DISPATCH_METHOD, {zr::com::varBstr(name)}, nullptr), S_OK);
  port->put_BaudRate(br300);
  ASSERT_EQ(zr::com::invokeByName(d, u"loadconfig", DISPATCH_METHOD, {zr::com::varBstr(name)}, nullptr), S_OK);
  EXPECT_EQ(port->config().baudRate, 1200);
}

}  // namespace
}  // namespace kavlink::test
