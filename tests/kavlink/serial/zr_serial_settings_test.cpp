#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "com/dispatch.h"
#include "serial_support.h"

namespace kavlink::test {
namespace {

using zr::com::invokeByName;
using zr::com::varI4;

LONG getByName(CZrSerial* p, std::u16string_view name) {
  zr::com::Variant r;
  EXPECT_EQ(invokeByName(static_cast<IZrSerial*>(p), name, DISPATCH_PROPERTYGET, {}, &r), S_OK) << name.size();
  if (r.vt == VT_BOOL) return r.boolVal;  // as stored: AutoEvent starts as 1, not TRUE (-1)
  VariantChangeType(&r, &r, 0, VT_I4);
  return r.lVal;
}

TEST(ZrSerialSettings, NewObjectHasTheDefaults) {
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  const std::pair<std::u16string_view, LONG> cases[] = {
      {u"BaudRate", 9600},      {u"ParityBits", prNone}, {u"DataBits", 8},    {u"StopBits", sbOneStopBit},
      {u"BufferSize", 2048},    {u"AutoEvent", 1},       {u"Blocking", 0},    {u"Connected", 0},
      {u"FlowControl", fcNone}, {u"EventChar", 0},       {u"DiscardNull", 0},
  };
  for (const auto& [name, value] : cases) EXPECT_EQ(getByName(port.get(), name), value);
  zr::com::Bstr name;
  port->get_Port(name.put());
  EXPECT_EQ(name.str(), u"COM1");
}

TEST(ZrSerialSettings, FlowControlPresetsAndClassification) {
  using Step = std::function<void(CZrSerial*)>;
  auto put = [](TFlow f) { return Step([f](CZrSerial* p) { p->put_FlowControl(f); }); };
  const std::pair<std::vector<Step>, TFlow> cases[] = {
      {{put(fcHardWare)}, fcHardWare},
      {{put(fcXonXoff)}, fcXonXoff},
      {{put(fcHardWare), put(fcNone)}, fcNone},
      {{put(fcXonXoff), put(static_cast<TFlow>(99))}, fcNone},
      {{put(fcHardWare), [](CZrSerial* p) { p->SetDsrSensitivity(VARIANT_TRUE); }}, fcCustom},
      {{put(fcXonXoff), [](CZrSerial* p) { p->SetTXContinueOnXoff(VARIANT_TRUE); }}, fcCustom},
      {{put(fcXonXoff), [](CZrSerial* p) { p->SetXonXoffIn_XonXoffOut(0, VARIANT_TRUE); }}, fcCustom},
      {{put(fcHardWare), put(fcCustom)}, fcHardWare},
      {{[](CZrSerial* p) { p->SetDTR_RTSControl(1, 2); }, put(fcCustom)}, fcCustom},
      {{[](CZrSerial* p) { p->SetDsrSensitivity(VARIANT_TRUE); }, put(fcXonXoff)}, fcXonXoff},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    auto port = newSerial();
    for (const Step& step : cases[i].first) step(port.get());
    EXPECT_EQ(getByName(port.get(), u"FlowControl"), cases[i].second) << i;
  }
}

TEST(ZrSerialSettings, PutsKeptIgnoredAndPassedByDispatch) {
  // Names come back whole: not cut to a COM name's five characters.
  for (const char* port : {"COM12", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}) {
    zr::com::Bstr name;
    newSerial(port)->get_Port(name.put());
    EXPECT_EQ(zr::text::wideToAnsi(name.view()), port);
  }
  auto port = newSerial();
  port->put_BufferSize(0);
  port->put_BufferSize(-5);
  EXPECT_EQ(getByName(port.get(), u"BufferSize"), 2048);
  // The I2 arguments must arrive as numbers: 2 is the RTS handshake, not TRUE.
  IDispatch* d = static_cast<IZrSerial*>(port.get());
  ASSERT_EQ(invokeByName(d, u"flowcontrol", DISPATCH_PROPERTYPUT, {varI4(fcNone)}, nullptr), S_OK);
  port->put_FlowControl(fcHardWare);
  ASSERT_EQ(invokeByName(d, u"SetDTR_RTSControl", DISPATCH_METHOD, {varI4(1), varI4(2)}, nullptr), S_OK);
  EXPECT_EQ(getByName(port.get(), u"FlowControl"), fcHardWare);
  ComPtr<IZrTools> a, b;
  port->get_Tools(a.put());
  port->get_Tools(b.put());
  EXPECT_TRUE(a && a.get() == b.get());
}

TEST(ZrSerialSettings, PortListIsReadAtCreationAndIndexChecked) {
  auto dir = std::filesystem::temp_directory_path() / ("zr-serial-list-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  setenv("ZR_SERIAL_PORT_DIR", dir.c_str(), 1);
  LONG count = -1;
  newSerial()->GetPortCount(&count);
  EXPECT_EQ(count, 0);
  for (const char* tty : {"ttyUSB0/device", "ttyS0/device", "ttyS1/device", "tty1"})
    std::filesystem::create_directories(dir / tty);
  std::ofstream(dir / "ttyS0" / "type") << "4\n";  // a 16550A
  std::ofstream(dir / "ttyS1" / "type") << "0\n";  // a legacy slot without a UART
  auto port = newSerial();
  std::filesystem::create_directories(dir / "ttyACM0" / "device");  // too late for this object
  port->GetPortCount(&count);
  EXPECT_EQ(count, 2);
  const std::pair<LONG, std::u16string> cases[] = {{0, u"ttyS0"}, {1, u"ttyUSB0"}, {2, u""}, {-1, u""}};
  for (const auto& [index, expected] : cases) {
    zr::com::Bstr name(u"stale");
    EXPECT_EQ(port->GetPortName(index, name.put()), expected.empty() ? E_INVALIDARG : S_OK);
    EXPECT_EQ(name.isNull(), expected.empty());
    EXPECT_EQ(name.str(), expected);
  }
  unsetenv("ZR_SERIAL_PORT_DIR");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kavlink::test
