// The control's settings: defaults, the checks of the puts, the stream, the profile file
// and the setup dialog's form.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "com/com_ptr.h"
#include "com/dispatch.h"
#include "iec62056/iec_setup_model.h"
#include "iec62056/zr_iec62056_21.h"
#include "text/ansi.h"

using namespace kavlink;
using zr::com::Bstr;
using zr::com::ComPtr;

namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CZrIEC62056_21::createInstance(nullptr, IZrIEC62056_21::iid, control.putVoid()), S_OK);
    impl = static_cast<CZrIEC62056_21*>(control.get());
  }
  void TearDown() override { ::unlink(file.c_str()); }
  LONG get(HRESULT (IZrIEC62056_21::*getter)(LONG*)) {
    LONG v = -99;
    EXPECT_EQ((control.get()->*getter)(&v), S_OK);
    return v;
  }
  std::string text(HRESULT (IZrIEC62056_21::*getter)(BSTR*)) {
    Bstr b;
    (control.get()->*getter)(b.put());
    return zr::text::wideToAnsi(zr::com::bstrView(b.get()));
  }
  std::string port() {
    ComPtr<IZrSerial> s;
    control->get_Serial(s.put());
    Bstr b;
    s->get_Port(b.put());
    return zr::text::wideToAnsi(zr::com::bstrView(b.get()));
  }
  std::string fileText() {
    std::ifstream in(file);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  Bstr fileName() { return Bstr(zr::text::utf8ToWide(file)); }

  ComPtr<IZrIEC62056_21> control;
  CZrIEC62056_21* impl = nullptr;
  std::string file = "/tmp/zr-iec-settings-" + std::to_string(::getpid()) + ".ini";
};

}  // namespace

TEST_F(Settings, NewControlAndItsInnerPort) {
  TBaudRate rate{};
  control->get_StartBaudrate(&rate);
  EXPECT_EQ(rate, br300);
  EXPECT_EQ(get(&IZrIEC62056_21::get_SwitchBaudDelay), 210);
  EXPECT_EQ(get(&IZrIEC62056_21::get_MsgTimeout), 2000);
  EXPECT_EQ(get(&IZrIEC62056_21::get_MsgMaxLen), 65536);
  EXPECT_EQ(get(&IZrIEC62056_21::get_Format_P), 1);
  EXPECT_EQ(get(&IZrIEC62056_21::get_Format_B), 0);
  EXPECT_EQ(get(&IZrIEC62056_21::get_ModeCtrl), 1);
  EXPECT_EQ(get(&IZrIEC62056_21::GetLastError), 0);
  TEventMsgFormat f{};
  control->get_MsgDisplayFormat(&f);
  EXPECT_EQ(f, AsciiFormat);
  ComPtr<IZrSerial> s;
  ASSERT_EQ(control->get_Serial(s.put()), S_OK);
  TBaudRate br{};
  TDataBits db{};
  TParityBits pb{};
  TStopBits sb{};
  VARIANT_BOOL autoEvent = 1;
  s->get_BaudRate(&br);
  s->get_DataBits(&db);
  s->get_ParityBits(&pb);
  s->get_StopBits(&sb);
  s->get_AutoEvent(&autoEvent);
  EXPECT_EQ(br, br300);
  EXPECT_EQ(db, dbSeven);
  EXPECT_EQ(pb, prEven);
  EXPECT_EQ(sb, sbOneStopBit);
  EXPECT_EQ(autoEvent, 0);
}

TEST_F(Settings, FormatDigitsFallBackAndTextsAreTrimmed) {
  struct Row {
    HRESULT (IZrIEC62056_21::*put)(LONG);
    HRESULT (IZrIEC62056_21::*get)(LONG*);
    LONG in, out;
  } rows[] = {
      {&IZrIEC62056_21::put_Format_W, &IZrIEC62056_21::get_Format_W, 10, 2},
      {&IZrIEC62056_21::put_Format_P, &IZrIEC62056_21::get_Format_P, -1, 1},
      {&IZrIEC62056_21::put_Format_B, &IZrIEC62056_21::get_Format_B, 12, 0},
      {&IZrIEC62056_21::put_Format_E, &IZrIEC62056_21::get_Format_E, 9, 9},
      {&IZrIEC62056_21::put_Format_R, &IZrIEC62056_21::get_Format_R, 0, 0},
      {&IZrIEC62056_21::put_MsgTimeout, &IZrIEC62056_21::get_MsgTimeout, -5, -5},
      {&IZrIEC62056_21::put_SwitchBaudDelay, &IZrIEC62056_21::get_SwitchBaudDelay, -1, -1},
  };
  for (const Row& r : rows) {
    EXPECT_EQ((control.get()->*r.put)(r.in), S_OK);
    EXPECT_EQ(get(r.get), r.out) << r.in;
  }
  control->put_DeviceAddress(Bstr(u"  12345678 ").get());
  EXPECT_EQ(text(&IZrIEC62056_21::get_DeviceAddress), "12345678");
  control->put_MsgNotify(VARIANT_TRUE);
  EXPECT_EQ(impl->settings().msgNotify, -1);
  VARIANT_BOOL b = 0;
  control->get_MsgNotify(&b);
  EXPECT_EQ(b, VARIANT_TRUE);
}

TEST_F(Settings, ThroughDispatchByName) {
  auto d = control.as<IDispatch>();
  ASSERT_TRUE(d);
  EXPECT_EQ(zr::com::invokeByName(d.get(), u"Format_W", DISPATCH_PROPERTYPUT, {zr::com::varI4(7)}, nullptr), S_OK);
  zr::com::Variant v;
  ASSERT_EQ(zr::com::invokeByName(d.get(), u"Format_W", DISPATCH_PROPERTYGET, {}, &v), S_OK);
  EXPECT_EQ(v.lVal, 7);
  ASSERT_EQ(zr::com::invokeByName(d.get(), u"GetLastError", DISPATCH_METHOD, {}, &v), S_OK);
  EXPECT_EQ(v.lVal, 0);
}

TEST_F(Settings, StreamRoundTrip) {
  control->put_DeviceAddress(Bstr(u"ABC").get());
  control->put_Password(Bstr(u"1234").get());
  control->put_MsgMaxLen(999);
  control->put_Format_E(7);
  control->put_MsgImmediate(VARIANT_TRUE);
  control->put_SwitchBaudDelay(55);
  auto persist = control.as<IPersistStreamInit>();
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateMemoryStream(stream.put()), S_OK);
  ASSERT_EQ(persist->Save(stream.get(), TRUE), S_OK);
  stream->Seek(0, STREAM_SEEK_SET, nullptr);
  ComPtr<IZrIEC62056_21> other;
  ASSERT_EQ(CZrIEC62056_21::createInstance(nullptr, IZrIEC62056_21::iid, other.putVoid()), S_OK);
  ASSERT_EQ(other.as<IPersistStreamInit>()->Load(stream.get()), S_OK);
  auto& a = impl->settings();
  auto& b = static_cast<CZrIEC62056_21*>(other.get())->settings();
  EXPECT_EQ(b.deviceAddress, "ABC");
  EXPECT_EQ(b.password, "1234");
  EXPECT_EQ(b.msgMaxLen, 999);
  EXPECT_EQ(b.formatE, 7);
  EXPECT_EQ(b.msgImmediate, a.msgImmediate);
  EXPECT_EQ(b.switchBaudDelay, 55);
}

TEST_F(Settings, ProfileFileDefaultsAndWholeStrings) {
  // No file: the fixed defaults for the strings, every number unchanged.
  control->put_MsgDelay(33);
  ASSERT_EQ(control->LoadConfig(fileName().get()), S_OK);
  EXPECT_EQ(text(&IZrIEC62056_21::get_DeviceAddress), "000000000000");
  EXPECT_EQ(text(&IZrIEC62056_21::get_Password), "27509316");
  EXPECT_EQ(port(), "COM1");
  EXPECT_EQ(get(&IZrIEC62056_21::get_MsgDelay), 33);

  std::ofstream(file) << "[General]\nCom Port=/dev/ttyUSB0\nDevice Address=  0123456789012345678901234 \n"
                         "Program Password=abcdefghijklmnopqrstuvwxyz\n[Format]\nFormat Write=12\n";
  ASSERT_EQ(control->LoadConfig(fileName().get()), S_OK);
  EXPECT_EQ(port(), "/dev/ttyUSB0");
  EXPECT_EQ(text(&IZrIEC62056_21::get_DeviceAddress), "0123456789012345678901234");
  EXPECT_EQ(text(&IZrIEC62056_21::get_Password), "abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(get(&IZrIEC62056_21::get_Format_W), 12);  // no clamp on loading
}

TEST_F(Settings, ProfileFileKeysAndBoolValues) {
  control->put_MsgNotify(VARIANT_TRUE);
  control->put_DeviceAddress(Bstr(u"42").get());
  ASSERT_EQ(control->SaveConfig(fileName().get()), S_OK);
  const std::string saved = fileText();
  EXPECT_NE(saved.find("Use Message Notify=-1"), std::string::npos) << saved;
  EXPECT_NE(saved.find("Device Address=42"), std::string::npos);
  EXPECT_NE(saved.find("Switch Baudrate Delay=210"), std::string::npos);
  EXPECT_NE(saved.find("Immediaty Display Message=0"), std::string::npos);
  EXPECT_NE(saved.find("Format Exit=0"), std::string::npos);
  EXPECT_NE(saved.find("Message Max Length=65536"), std::string::npos);
  EXPECT_NE(saved.find("Com Port=COM1"), std::string::npos);

  iec::SetupForm form = iec::formFromSettings(impl->settings());
  form.msgNotify = true;
  iec::applyForm(form, *impl);
  ASSERT_EQ(control->SaveConfig(fileName().get()), S_OK);
  EXPECT_NE(fileText().find("Use Message Notify=1"), std::string::npos);

  // A file that cannot be written is a failure, not a silent success.
  EXPECT_EQ(control->SaveConfig(Bstr(u"/nonexistent-zr-dir/iec.ini").get()), DISP_E_EXCEPTION);
}

TEST_F(Settings, ProfileFileHoldsEverySettingUnderItsOwnKey) {
  ComPtr<IZrSerial> serial;
  control->get_Serial(serial.put());
  serial->put_Port(Bstr(u"ttyUSB7").get());
  iec::LinkSettings& s = impl->settings();
  s.deviceAddress = "12345678", s.password = "ABCDEF";
  s.startBaudrate = 2400, s.switchBaudDelay = 99, s.wakeupCharCount = 13;
  s.formatP = 4, s.formatW = 5, s.formatR = 6, s.formatE = 7, s.formatB = 8;
  s.msgNotify = -1, s.msgImmediate = 1, s.msgDisplayFormat = 3, s.msgDisplayGroup = 0;
  s.msgTimeout = 1500, s.msgDelay = 11, s.msgMaxLen = 4096;
  ASSERT_EQ(control->SaveConfig(fileName().get()), S_OK);
  const std::string expected =
      "[General]\nCom Port=ttyUSB7\nDevice Address=12345678\nProgram Password=ABCDEF\nStart Baudrate=2400\n"
      "Switch Baudrate Delay=99\nWakeup Char Count=13\n\n"
      "[Format]\nFormat Password=4\nFormat Write=5\nFormat Read=6\nFormat Execute=7\nFormat Exit=8\n\n"
      "[Message]\nUse Message Notify=-1\nImmediaty Display Message=1\nMessage Format=3\nDisplay Data Group=0\n"
      "Wait Message Timeout=1500\nSend Message Interval=11\nMessage Max Length=4096\n";
  EXPECT_EQ(fileText(), expected);

  // Read into a new control, the file gives every setting back.
  ComPtr<IZrIEC62056_21> other;
  ASSERT_EQ(CZrIEC62056_21::createInstance(nullptr, IZrIEC62056_21::iid, other.putVoid()), S_OK);
  ASSERT_EQ(other->LoadConfig(fileName().get()), S_OK);
  ::unlink(file.c_str());
  ASSERT_EQ(other->SaveConfig(fileName().get()), S_OK);
  EXPECT_EQ(fileText(), expected);
}

TEST_F(Settings, SetupFormOpensOnTheSettingsAndOkStoresThem) {
  control->put_Password(Bstr(u"pw").get());
  iec::SetupForm form = iec::formFromSettings(impl->settings());
  EXPECT_EQ(form.password, "pw");
  EXPECT_EQ(form.switchBaudDelay, "210");
  EXPECT_EQ(form.displayFormatIndex, 1);
  EXPECT_EQ(std::string(iec::kDisplayFormats[static_cast<size_t>(form.displayFormatIndex)]), "ASCII format");
  EXPECT_TRUE(form.msgNotify);
  EXPECT_FALSE(form.msgImmediate);

  form.formatW = "15";
  form.msgMaxLen = "-5";
  form.msgTimeout = "  +300ms";
  form.msgDelay = "abc";
  form.deviceAddress = " 12 ";
  form.displayFormatIndex = 2;
  form.msgDisplayGroup = false;
  iec::applyForm(form, *impl);
  const iec::LinkSettings& s = impl->settings();
  EXPECT_EQ(s.formatW, 2);  // through the property's clamp
  EXPECT_EQ(s.msgMaxLen, -5);
  EXPECT_EQ(s.msgTimeout, 300);
  EXPECT_EQ(s.msgDelay, 0);
  EXPECT_EQ(s.deviceAddress, " 12 ");  // as typed
  EXPECT_EQ(s.msgDisplayFormat, 3);
  EXPECT_EQ(s.msgDisplayGroup, 0);
}

TEST_F(Settings, SetupDialogWithoutAWindowSystemIsAReadableComError) {
  static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
  for (const char* name : kNames) {
    const char* v = std::getenv(name);
    saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    ::unsetenv(name);
  }
  const LONG delay = get(&IZrIEC62056_21::get_SwitchBaudDelay);
  EXPECT_EQ(control->ShowSetupDlg(), DISP_E_EXCEPTION);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  Bstr desc;
  info->GetDescription(desc.put());
  EXPECT_EQ(desc.view(), u"No window system is available");
  EXPECT_EQ(get(&IZrIEC62056_21::get_SwitchBaudDelay), delay);
  for (auto& [name, value] : saved) value ? (void)::setenv(name, value->c_str(), 1) : (void)::unsetenv(name);
}
