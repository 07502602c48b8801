// A serial port and a socket client, both with their notices, on one thread: each hidden
// window reaches its own object, whichever of the two was made first.
#include "kavlink/serial/serial_support.h"
#include "kavlink/socket/socket_fixture.h"

namespace sockettest {
namespace {

using kavlink::_IZrSocketEvents;

class SerialAndSocket : public SocketTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SerialAndSocket, EachHiddenWindowDeliversToItsOwnObject) {
  const bool serialFirst = GetParam();
  zr::test::PtyPair pty;
  kavlink::test::EventSink serialSink;  // outlives the port, which holds it
  auto port = kavlink::test::newSerial(pty.slaveName());
  serialSink.adviseTo(static_cast<kavlink::IZrSerial*>(port.get()));
  nettest::Listener listener;
  target(listener.port);
  advise();

  nettest::Fd peer;
  for (bool serialTurn : {serialFirst, !serialFirst}) {
    if (serialTurn) {
      ASSERT_EQ(kavlink::test::failureOf(port->Open()), "");
    } else {
      ASSERT_TRUE(connect());
      peer = listener.accept();
      ASSERT_GE(peer.get(), 0);
    }
  }

  pty.send("s");
  ASSERT_TRUE(nettest::sendAll(peer.get(), "t"));
  EXPECT_TRUE(
      pumpUntil([&] { return serialSink.saw(kavlink::ef_RXCHAR) && sink.count(_IZrSocketEvents::kOnRecv) > 0; }));
  for (const Event& e : sink.events) EXPECT_EQ(e.id, _IZrSocketEvents::kOnRecv);
  for (std::thread::id id : serialSink.threads) EXPECT_EQ(id, std::this_thread::get_id());
  for (const Event& e : sink.events) EXPECT_EQ(e.thread, std::this_thread::get_id());
  EXPECT_EQ(recv(), "t");
  port->Close();
  serialSink.unadvise();
}

INSTANTIATE_TEST_SUITE_P(Orders, SerialAndSocket, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "SerialFirst" : "SocketFirst";
                         });

}  // namespace
}  // namespace sockettest
