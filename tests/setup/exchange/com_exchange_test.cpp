// The setup program's meter exchange through the registered component, against the
// simulated meter on each of its three channels.
#include "core/com_exchange.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/setup_error.h"
#include "setup/core/fake_window.h"
#include "sim/dlt645_meter.h"
#include "sim/lora_wrapper.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"
#include "sim/tcp_relay.h"
#include "support/event_sink.h"
#include "support/module_host.h"

using namespace zr::setup;
using sim::Bytes;

namespace {

class Exchange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(testhost::registerComponent(), nullptr);
    fields.meterId = "000000012345";
    fields.port = pty.slavePath();
    meter.setValue(0x9010, {0x56, 0x34, 0x12});
    meter.setValue(0x9020, {0x22, 0x22, 0x22});
  }
  void start(ExchangeSettings s, bool lora = false, bool wrapReplies = false) {
    if (lora) {
      peer = std::make_unique<sim::MeterOnFd>(
          meter, pty.master(),
          wrapReplies ? sim::MeterOnFd::Transform([](const Bytes& f) { return sim::loraWrap(f, 1); })
                      : sim::MeterOnFd::Transform(),
          [this](const Bytes& b) { return unwrapper.feed(b); });
    } else {
      peer = std::make_unique<sim::MeterOnFd>(meter, pty.master());
    }
    ex = std::make_unique<ComExchange>(fields, ui);
    ex->FormShow(s);
    ex->openSerialPort(fields.port);
  }
  void TearDown() override {
    if (ex) ex->closeSerialPort();
    ex.reset();
    peer.reset();
  }
  std::string read(const std::string& di1 = "90", const std::string& di0 = "10") {
    std::string value;
    lastOk = ex->ReadDataItem("000000012345", di1, value, di0);
    return value;
  }

  sim::PtyPair pty;
  sim::Dlt645Meter meter;
  sim::LoraUnwrapper unwrapper;
  std::unique_ptr<sim::MeterOnFd> peer;
  FakeForm fields;
  FakeUi ui;
  std::unique_ptr<ComExchange> ex;
  bool lastOk = false;
};

}  // namespace

TEST_F(Exchange, PlainSerialReadGivesTheValueMostSignificantFirst) {
  start({.Wtime = 300});
  EXPECT_EQ(read(), "123456");
  EXPECT_TRUE(lastOk);
  // The request on the wire, written out by hand.
  ASSERT_EQ(meter.requestCount(), 1u);
  EXPECT_EQ(meter.requests()[0].control, 0x01);
  EXPECT_EQ(meter.requests()[0].data, (Bytes{0x10, 0x90}));
}

TEST_F(Exchange, ErrorReplyThenGoodReplySucceedsOnTheSecondAttempt) {
  start({.Wtime = 300});
  meter.setFaults({.errorReplies = 1});
  EXPECT_EQ(read(), "123456");
  EXPECT_TRUE(lastOk);
  EXPECT_EQ(meter.requestCount(), 2u);
}

TEST_F(Exchange, EveryAttemptFailingGivesReturnNull) {
  start({.Wtime = 300});
  meter.setFaults({.errorReplies = 5});
  EXPECT_EQ(read(), "Return null!");
  EXPECT_FALSE(lastOk);
  EXPECT_EQ(meter.requestCount(), 3u);
}

TEST_F(Exchange, ReplyFromAnotherAddressIsDropped) {
  start({.Wtime = 100, .RetryCount = 2});
  meter.setFaults({.replyAddress = "000000099999"});
  EXPECT_EQ(read(), "Return null!");
  EXPECT_EQ(meter.requestCount(), 2u);
}

TEST_F(Exchange, ReplyWithOnlyTheIdentifierGivesAnEmptyValue) {
  start({.Wtime = 300});
  meter.setValue(0x9010, {});
  EXPECT_EQ(read(), "");
  EXPECT_TRUE(lastOk);
}

TEST_F(Exchange, LoraWrapsEveryRequestAndCountsSequencesFrom1To127) {
  start({.Wtime = 300, .lora = true}, true);
  EXPECT_EQ(read(), "123456");
  auto messages = unwrapper.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].size(), 23u);
  EXPECT_EQ(messages[0][2], 0x14);
  EXPECT_EQ(messages[0][3], 1);
  const auto log = ui.only("log");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("crcs:14 01 FF FF 2C 01 68 45 23 01 00 00 00 68 01 02 43 C3 42 16 ", 0), 0u) << log[0];
  for (int i = 2; i <= 128; ++i) read();
  auto seq = unwrapper.sequences();
  ASSERT_EQ(seq.size(), 128u);
  EXPECT_EQ(seq[126], 127);
  EXPECT_EQ(seq[127], 1);
  EXPECT_EQ(unwrapper.crcFailures(), 0);
}

TEST_F(Exchange, LoraReplyMayComeWrapped) {
  start({.Wtime = 300, .lora = true}, true, true);
  EXPECT_EQ(read(), "123456");
}

TEST_F(Exchange, LateReplyToAnEarlierItemIsNotTakenForTheNextOne) {
  // The wrapped channel keeps what arrived earlier: a reply to 9010 that came too late
  // stands in the buffer when 9020 is read, and must not become 9020's value.
  start({.Wtime = 300, .lora = true}, true);
  peer->inject(sim::Dlt645Meter::frame("000000012345", 0x81, {0x10, 0x90, 0x11, 0x11, 0x11}));
  EXPECT_EQ(read("90", "20"), "222222");
  EXPECT_TRUE(lastOk);
}

TEST_F(Exchange, RemoteChannelReadsThroughTheRelay) {
  sim::TcpRelay relay(meter);
  fields.local = false;
  ex = std::make_unique<ComExchange>(fields, ui);
  ex->FormShow({.Wtime = 300});
  ex->btnConnectClick("127.0.0.1", std::to_string(relay.port()));
  ASSERT_EQ(ui.only("message").back(), "Connect successful!");
  EXPECT_EQ(ui.events.back(), "disable btnConnect");
  EXPECT_EQ(read(), "123456");

  // A silent meter: one wait per attempt, then "Return null!".
  meter.setFaults({.silent = true});
  size_t before = meter.requestCount();
  ex = std::make_unique<ComExchange>(fields, ui);
  ex->FormShow({.Wtime = 50});
  ex->btnConnectClick("127.0.0.1", std::to_string(relay.port()));
  EXPECT_EQ(read(), "Return null!");
  EXPECT_TRUE(testhost::waitUntil([&] { return meter.requestCount() >= before + 3; }));
  EXPECT_EQ(meter.requestCount(), before + 3);

  // What comes back holds no frame: no reply, never an empty frame.
  meter.setFaults({.badChecksum = true});
  EXPECT_EQ(read(), "Return null!");
  ex->btnDisconnectClick();
  EXPECT_EQ(ui.events.back(), "enable btnConnect");
}

TEST_F(Exchange, ConnectFailuresAreReported) {
  ex = std::make_unique<ComExchange>(fields, ui);
  ex->FormShow({});
  EXPECT_THROW(ex->btnConnectClick("127.0.0.1", "60x"), SetupError);
  try {
    ex->btnConnectClick("127.0.0.1", "abc");
    ADD_FAILURE() << "abc was taken for a port";
  } catch (const SetupError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
  // A port nobody listens on (the relay's, after it stopped).
  int port = 0;
  {
    sim::TcpRelay relay(meter);
    port = relay.port();
  }
  ex->btnConnectClick("127.0.0.1", std::to_string(port));
  const auto messages = ui.only("message");
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().rfind("Connect failed!\n\r", 0), 0u);
  EXPECT_GT(messages.back().size(), std::string("Connect failed!\n\r").size());
}

TEST_F(Exchange, FirstShowSetsTheLineAndTheWait) {
  ex = std::make_unique<ComExchange>(fields, ui);
  ex->FormShow({.Wtime = 1234, .BaudRate = 2400});
  zr::com::ComPtr<kavlink::IZrSerial> serial;
  ex->ZrComm()->get_Serial(serial.put());
  kavlink::TBaudRate br{};
  kavlink::TParityBits pr{};
  kavlink::TDataBits db{};
  kavlink::TStopBits sb{};
  serial->get_BaudRate(&br);
  serial->get_ParityBits(&pr);
  serial->get_DataBits(&db);
  serial->get_StopBits(&sb);
  EXPECT_EQ(br, 2400);
  EXPECT_EQ(pr, kavlink::prEven);
  EXPECT_EQ(db, kavlink::dbEight);
  EXPECT_EQ(sb, kavlink::sbOneStopBit);
  ULONG wt = 0;
  ex->ZrComm()->get_WaitTimeout(&wt);
  EXPECT_EQ(wt, 1234u);
  EXPECT_TRUE(ex->RequestFrame);
  EXPECT_TRUE(ex->ReplyFrame);
  EXPECT_TRUE(ex->SocketControl());
}
