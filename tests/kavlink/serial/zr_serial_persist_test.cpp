#include "serial_support.h"
#include "support/persist_stream.h"

namespace kavlink::test {
namespace {

using testhost::load;
using testhost::saved;

const Bytes kNewObject = {
    0x00, 0x0E, 0x00, 0x00, 0x4F, 0x03, 0x00, 0x00, 0x4F, 0x03, 0x00, 0x00,                // version, cx, cy
    0x13, 0x00, 0x80, 0x25, 0x00, 0x00, 0x13, 0x00, 0x00, 0x00, 0x00, 0x00,                // 9600, no parity
    0x13, 0x00, 0x08, 0x00, 0x00, 0x00, 0x13, 0x00, 0x00, 0x00, 0x00, 0x00,                // 8 data, 1 stop
    0x08, 0x00, 0x0A, 0x00, 0x00, 0x00, 'C',  0,    'O',  0,    'M',  0,    '1', 0, 0, 0,  // "COM1"
    0x03, 0x00, 0x00, 0x08, 0x00, 0x00, 0x10, 0x00, 0x00,                                  // 2048, event char 0
    0x0B, 0x00, 0x00, 0x00, 0x13, 0x00, 0x01, 0x00, 0x00, 0x00,                            // discard null, flow 1
    0x0B, 0x00, 0x00, 0x00,                                                                // blocking
};

TEST(ZrSerialPersist, NewObjectSavesTheKnownBytes) {
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  EXPECT_EQ(port->IsDirty(), S_FALSE);
  EXPECT_EQ(saved(port.get()), kNewObject);
  ULONGLONG size = 0;
  port->GetSizeMax(&size);
  EXPECT_EQ(size, kNewObject.size());
}

TEST(ZrSerialPersist, PropertiesComeBackAndTheFlowPresetAppliesLast) {
  auto a = newSerial("/dev/ttyUSB3");
  a->put_BaudRate(br256000), a->put_ParityBits(prSpace), a->put_DataBits(dbSeven);
  a->put_StopBits(sbTwoStopBits), a->put_BufferSize(512), a->put_EventChar(0x7E);
  a->put_DiscardNull(VARIANT_TRUE), a->put_FlowControl(fcHardWare), a->put_Blocking(VARIANT_TRUE);
  EXPECT_EQ(a->IsDirty(), S_OK);
  Bytes bytes = saved(a.get());
  EXPECT_EQ(a->IsDirty(), S_FALSE);
  auto b = newSerial();
  b->SetXonXoffIn_XonXoffOut(VARIANT_TRUE, VARIANT_TRUE);  // undone by the loaded preset
  ASSERT_EQ(load(b.get(), bytes), S_OK);
  EXPECT_EQ(saved(b.get()), bytes);
}

TEST(ZrSerialPersist, LoadCases) {
  Bytes nullPort = kNewObject;  // the port as a count of 0 alone: a null string
  nullPort.erase(nullPort.begin() + 42, nullPort.begin() + 52);
  nullPort[38] = 0;
  Bytes newer = kNewObject;
  newer[0] = 0x01;  // version 0x0E01
  const std::pair<Bytes, bool> cases[] = {
      {nullPort, true}, {newer, false}, {Bytes(kNewObject.begin(), kNewObject.end() - 3), false}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    auto port = newSerial("ttyS9");
    EXPECT_EQ(SUCCEEDED(load(port.get(), cases[i].first)), cases[i].second) << i;
  }
  auto port = newSerial("ttyS9");
  load(port.get(), nullPort);
  zr::com::Bstr name;
  port->get_Port(name.put());
  EXPECT_EQ(name.view().size(), 0u);
}

}  // namespace
}  // namespace kavlink::test
