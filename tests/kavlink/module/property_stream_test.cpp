// What each persistent control writes to its container's stream, byte for byte, with every
// saved property holding a value no other one holds: a property saved from the wrong field,
// in the wrong place or with the wrong type shows, and so does a size that is not the
// stream's. Containers keep these bytes in their files, so they never change.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "channels/serial/zr_serial.h"
#include "com/com_ptr.h"
#include "dlt645/zr_comm_dlt645.h"
#include "iec62056/zr_iec62056_21.h"
#include "support/persist_stream.h"

namespace kavlink {
namespace {

using zr::com::Bstr;
using zr::com::ComPtr;
using Bytes = std::vector<uint8_t>;

using testhost::load;
using testhost::saved;

template <class C>
ComPtr<C> make() {
  return ComPtr<C>::attach(C::create());
}

struct Control {
  const char* name;
  ComPtr<IPersistStreamInit> (*makeChanged)();
  ComPtr<IPersistStreamInit> (*makeNew)();
  Bytes expected;
};

ComPtr<IPersistStreamInit> changedSerial() {
  auto c = make<CZrSerial>();
  c->put_BaudRate(br19200);
  c->put_ParityBits(prSpace);
  c->put_DataBits(dbSeven);
  c->put_StopBits(sbOne5StopBits);
  c->put_Port(Bstr(u"ttyUSB5").get());
  c->put_BufferSize(1234);
  c->put_EventChar(0x7E);
  c->put_DiscardNull(-1);
  c->put_FlowControl(fcHardWare);
  c->put_Blocking(1);
  return c.as<IPersistStreamInit>();
}

ComPtr<IPersistStreamInit> changedDlt645() {
  auto c = make<CZrCommDLT645>();
  c->put_WaitTimeout(0x0A0B0C0D);
  c->put_AutoReceive(-1);
  return c.as<IPersistStreamInit>();
}

ComPtr<IPersistStreamInit> changedIec() {
  auto c = make<CZrIEC62056_21>();
  c->put_DeviceAddress(Bstr(u"12345678").get());
  c->put_Password(Bstr(u"ABCDEF").get());
  c->put_WakeupCharCount(13);
  c->put_MsgMaxLen(4096);
  c->put_Format_P(4);
  c->put_Format_W(5);
  c->put_Format_R(6);
  c->put_Format_E(7);
  c->put_Format_B(8);
  c->put_MsgDelay(11);
  c->put_MsgNotify(-1);
  c->put_MsgDisplayGroup(0);
  c->put_MsgDisplayFormat(HexFormat);
  c->put_StartBaudrate(br2400);
  c->put_MsgTimeout(1500);
  c->put_SwitchBaudDelay(99);
  c->put_MsgImmediate(1);
  return c.as<IPersistStreamInit>();
}

template <class C>
ComPtr<IPersistStreamInit> fresh() {
  return make<C>().template as<IPersistStreamInit>();
}

const Bytes kHeader = {0x00, 0x0E, 0x00, 0x00, 0x4F, 0x03, 0x00, 0x00, 0x4F, 0x03, 0x00, 0x00};

Bytes withHeader(std::initializer_list<uint8_t> body) {
  Bytes b = kHeader;
  b.insert(b.end(), body);
  return b;
}

TEST(PropertyStream, EachControlSavesEverySettingInItsPlaceAndLoadsItBack) {
  const Control controls[] = {
      {"ZrSerial", changedSerial, fresh<CZrSerial>,
       withHeader({
           0x13, 0x00, 0x00, 0x4B, 0x00, 0x00,                                  // BaudRate 19200
           0x13, 0x00, 0x04, 0x00, 0x00, 0x00,                                  // ParityBits space
           0x13, 0x00, 0x07, 0x00, 0x00, 0x00,                                  // DataBits 7
           0x13, 0x00, 0x01, 0x00, 0x00, 0x00,                                  // StopBits 1.5
           0x08, 0x00, 0x10, 0x00, 0x00, 0x00, 't', 0, 't', 0, 'y', 0, 'U', 0,  // Port
           'S',  0,    'B',  0,    '5',  0,    0,   0,                          //
           0x03, 0x00, 0xD2, 0x04, 0x00, 0x00,                                  // BufferSize 1234
           0x10, 0x00, 0x7E,                                                    // EventChar
           0x0B, 0x00, 0xFF, 0xFF,                                              // DiscardNull
           0x13, 0x00, 0x02, 0x00, 0x00, 0x00,                                  // FlowControl hardware
           0x0B, 0x00, 0x01, 0x00,                                              // Blocking
       })},
      {"ZrCommDLT645", changedDlt645, fresh<CZrCommDLT645>,
       withHeader({
           0x13, 0x00, 0x0D, 0x0C, 0x0B, 0x0A,  // WaitTimeout
           0x0B, 0x00, 0xFF, 0xFF,              // AutoReceive
       })},
      {"ZrIEC62056_21", changedIec, fresh<CZrIEC62056_21>,
       withHeader({
           0x08, 0x00, 0x12, 0x00, 0x00, 0x00, '1', 0, '2', 0, '3', 0, '4', 0,  // DeviceAddress
           '5',  0,    '6',  0,    '7',  0,    '8', 0, 0,   0,                  //
           0x08, 0x00, 0x0E, 0x00, 0x00, 0x00, 'A', 0, 'B', 0, 'C', 0, 'D', 0,  // Password
           'E',  0,    'F',  0,    0,    0,                                     //
           0x03, 0x00, 0x0D, 0x00, 0x00, 0x00,                                  // WakeupCharCount 13
           0x03, 0x00, 0x00, 0x10, 0x00, 0x00,                                  // MsgMaxLen 4096
           0x03, 0x00, 0x04, 0x00, 0x00, 0x00,                                  // Format_P
           0x03, 0x00, 0x05, 0x00, 0x00, 0x00,                                  // Format_W
           0x03, 0x00, 0x06, 0x00, 0x00, 0x00,                                  // Format_R
           0x03, 0x00, 0x07, 0x00, 0x00, 0x00,                                  // Format_E
           0x03, 0x00, 0x08, 0x00, 0x00, 0x00,                                  // Format_B
           0x03, 0x00, 0x0B, 0x00, 0x00, 0x00,                                  // MsgDelay 11
           0x0B, 0x00, 0xFF, 0xFF,                                              // MsgNotify
           0x0B, 0x00, 0x00, 0x00,                                              // MsgDisplayGroup
           0x03, 0x00, 0x03, 0x00, 0x00, 0x00,                                  // MsgDisplayFormat hex
           0x03, 0x00, 0x60, 0x09, 0x00, 0x00,                                  // StartBaudrate 2400
           0x03, 0x00, 0xDC, 0x05, 0x00, 0x00,                                  // MsgTimeout 1500
           0x03, 0x00, 0x63, 0x00, 0x00, 0x00,                                  // SwitchBaudDelay 99
           0x0B, 0x00, 0x01, 0x00,                                              // MsgImmediate
       })},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    ComPtr<IPersistStreamInit> changed = c.makeChanged();
    EXPECT_EQ(saved(changed.get()), c.expected);
    ULONGLONG size = 0;
    ASSERT_EQ(changed->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size, c.expected.size());

    // Loaded into a new control, the bytes give it every setting back, and the extent.
    Bytes moved = c.expected;
    moved[4] = 0x11, moved[8] = 0x22;
    ComPtr<IPersistStreamInit> other = c.makeNew();
    ASSERT_EQ(load(other.get(), moved), S_OK);
    EXPECT_EQ(other->IsDirty(), S_FALSE);
    EXPECT_EQ(saved(other.get()), moved);
  }
}

}  // namespace
}  // namespace kavlink
