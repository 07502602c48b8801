#include "serial/serial_device.h"

#include <gtest/gtest.h>

#include "platform/serial/pty_pair.h"
#include "platform/serial/termios_probe.h"

namespace zr::serial {
namespace {

using zr::test::Bytes;
using zr::test::eventually;

TEST(SerialDevice, ExclusiveUntilClosedAndTheFlagLeftAsFound) {
  zr::test::PtyPair pty;
  SerialDevice first, second;
  first.open(pty.slaveName());
  EXPECT_TRUE(first.isPseudoTerminal());
  EXPECT_TRUE(zr::test::exclusiveFlag(pty.slave()));
  EXPECT_THROW(second.open(pty.slaveName()), SerialError);
  first.close();
  EXPECT_FALSE(zr::test::exclusiveFlag(pty.slave()));
  EXPECT_NO_THROW(second.open(pty.slaveName()));
}

TEST(SerialDevice, ParityCheckKeepsLiteral0xFFAndPurgeKeepsTheFarEndsInput) {
  zr::test::PtyPair pty;
  SerialDevice dev;
  dev.open(pty.slaveName());
  LineSettings s;
  s.parityCheck = true;  // the kernel now doubles 0xFF and the queue must undo it
  dev.configure(s);
  pty.send(std::string("\xFF\x01\xFF\xFF\x00", 5));
  ASSERT_TRUE(eventually([&] { return dev.inQueue() == 5; }));
  Bytes in(5);
  EXPECT_EQ(dev.read(in.data(), 5), 5u);
  EXPECT_EQ(in, (Bytes{0xFF, 1, 0xFF, 0xFF, 0}));
  // A pty sends at once; a transmit purge must not eat what the far end has yet to read.
  dev.write("abc", 3);
  dev.purge(true, true);
  EXPECT_EQ(pty.receive(3), (Bytes{'a', 'b', 'c'}));
}

}  // namespace
}  // namespace zr::serial
