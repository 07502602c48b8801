// The client against the meter-side engine, over a pseudo-terminal and over loopback TCP:
// association at every level, the services single and with list, a segmented answer,
// release, and the refusals a meter gives.
#include <gtest/gtest.h>

#include <memory>

#include "dlms_client_host.h"
#include "sim/pty_pair.h"

using namespace dlmstest;

namespace {

enum class Transport { kPty, kTcp };

class ClientAgainstEngine : public ::testing::TestWithParam<Transport> {
 protected:
  // Starts a meter that asks for authentication level `level` and points the client at it.
  void start(LONG level) {
    host.control->put_Authentioation(level);
    if (GetParam() == Transport::kPty) {
      peer = std::make_unique<sim::DlmsMeterPeer>(table, level, pty.master());
      ComPtr<kavlink::IZrSerial> serial;
      host.control->get_Serial(serial.put());
      serial->put_Port(zr::com::Bstr(zr::text::ansiToWide(pty.slavePath())).get());
      host.control->put_Channel(0);
    } else {
      peer = std::make_unique<sim::DlmsMeterPeer>(table, level);
      ComPtr<kavlink::IZrSocket> socket;
      host.control->get_socket(socket.put());
      socket->put_Host(zr::com::Bstr(u"127.0.0.1").get());
      socket->put_Port(peer->port());
      host.control->put_Channel(1);
    }
  }
  void TearDown() override {
    // A test's handler may refer to its own locals, gone by now.
    host.hook = nullptr;
    host.control->CosemRelease();
    if (peer) peer->stop();
  }

  ComPtr<IZrCosemObject> energy() { return cosem(3, u"1.0.1.8.0.255", 2); }

  sim::PtyPair pty;
  sim::DlmsObjectTable table;
  std::unique_ptr<sim::DlmsMeterPeer> peer;
  ClientHost host;
};

TEST_P(ClientAgainstEngine, AssociatesAtEveryLevelReadsAndReleases) {
  struct Row {
    LONG level;
    std::string password;
  };
  for (const Row& r : {Row{0, ""}, Row{1, "12345678"}, Row{2, "ClientChallenge!"}}) {
    SCOPED_TRACE(r.level);
    start(r.level);
    host.setPassword(r.password);
    ASSERT_EQ(host.open(), TRUE) << host.lastError();
    auto o = energy();
    BOOL ok = FALSE;
    ASSERT_EQ(host.control->CosemGet(o.get(), &ok), S_OK);
    EXPECT_EQ(ok, TRUE) << host.lastError();
    EXPECT_EQ(dataOf(o.get()), (Bytes{0x06, 0x00, 0x01, 0xE2, 0x40}));
    EXPECT_EQ(accessResultOf(o.get()), 0);
    ASSERT_EQ(host.control->CosemRelease(), S_OK);
    // The release is a DISC (no release request APDU), and the channel is closed after it.
    EXPECT_EQ(host.commMsg(true), "7E A0 07 03 21 53 03 C7 7E");
    EXPECT_EQ(host.control->CosemGet(o.get(), &ok), DISP_E_EXCEPTION);
    peer->stop();
  }
}

// Both hosts answer challenges with this; a standard client computes the same only if it is
// AES-128 itself (the published example vector of the cipher).
TEST(HighLevelAnswer, IsTheAes128CipherItself) {
  const std::string key = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                           0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};
  const Bytes plain = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  EXPECT_EQ(sim::dlmsHlsAnswer(key, plain.data(), plain.size()),
            (Bytes{0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30, 0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a}));
}

TEST_P(ClientAgainstEngine, WrongPasswordIsRefusedAtLowAndHighLevel) {
  start(1);
  host.setPassword("wrong");
  EXPECT_EQ(host.open(), FALSE);
  EXPECT_EQ(host.lastError(), "COSEM AARQ responsed failed! Diagnostics Result = 13 ");
  peer->stop();

  start(2);
  host.setPassword("ClientChallenge!");
  host.hlsSecret = "not the meter's";
  EXPECT_EQ(host.open(), FALSE);
  // The meter refuses the reply to its challenge as an ACTION result.
  EXPECT_EQ(host.lastError(), "COSEM ACTION responsed failed! Access Result = 3 ");
}

TEST_P(ClientAgainstEngine, SingleServicesReadWriteAndInvoke) {
  start(0);
  ASSERT_EQ(host.open(), TRUE) << host.lastError();
  BOOL ok = FALSE;

  auto clock = cosem(8, u"0.0.1.0.0.255", 2);
  ASSERT_EQ(host.control->CosemGet(clock.get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE);
  EXPECT_EQ(dataOf(clock.get()).size(), 14u);

  auto newEnergy = cosem(3, u"1.0.1.8.0.255", 2, {0x06, 0x00, 0x00, 0x00, 0x07});
  ASSERT_EQ(host.control->CosemSet(newEnergy.get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE);
  EXPECT_EQ(table.attribute(3, {1, 0, 1, 8, 0, 255}, 2), (Bytes{0x06, 0x00, 0x00, 0x00, 0x07}));

  auto scaler = cosem(3, u"1.0.1.8.0.255", 3, {0x02, 0x02, 0x0F, 0x01, 0x16, 0x1E});
  ASSERT_EQ(host.control->CosemSet(scaler.get(), &ok), S_OK);
  EXPECT_EQ(ok, FALSE);
  EXPECT_EQ(accessResultOf(scaler.get()), 3);
  EXPECT_EQ(host.lastError(), "COSEM SET responsed failed! Access Result = 3 ");

  auto disconnect = cosem(70, u"0.0.96.3.10.255", 1, {0x0F, 0x00});
  ASSERT_EQ(host.control->CosemAction(disconnect.get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE);
  EXPECT_EQ(dataOf(disconnect.get()), Bytes{});
  auto reconnect = cosem(70, u"0.0.96.3.10.255", 2);
  ASSERT_EQ(host.control->CosemAction(reconnect.get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE);
  EXPECT_EQ(dataOf(reconnect.get()), (Bytes{0x03, 0x01}));
  EXPECT_EQ(table.actionsRun(), 2);

  auto missing = cosem(1, u"0.0.96.1.0.255", 2);
  ASSERT_EQ(host.control->CosemGet(missing.get(), &ok), S_OK);
  EXPECT_EQ(ok, FALSE);
  EXPECT_EQ(host.lastError(), "COSEM GET responsed failed! Access Result = 3 ");
}

TEST_P(ClientAgainstEngine, ListServicesCarryEveryItemsOutcome) {
  start(0);
  ASSERT_EQ(host.open(), TRUE) << host.lastError();
  BOOL ok = FALSE;

  auto a = energy();
  auto b = cosem(3, u"1.0.2.8.0.255", 2);
  auto c = cosem(1, u"0.0.96.1.0.255", 2);
  ASSERT_EQ(host.control->CosemGetWithList(listOf({a.get(), b.get(), c.get()}).get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE) << host.lastError();
  EXPECT_EQ(dataOf(a.get()), (Bytes{0x06, 0x00, 0x01, 0xE2, 0x40}));
  EXPECT_EQ(dataOf(b.get()), (Bytes{0x06, 0x00, 0x00, 0x30, 0x39}));
  EXPECT_EQ(accessResultOf(c.get()), 3);

  auto w1 = cosem(3, u"1.0.2.8.0.255", 2, {0x06, 0x00, 0x00, 0x00, 0x01});
  auto w2 = cosem(3, u"1.0.1.8.0.255", 3, {0x02, 0x02, 0x0F, 0x00, 0x16, 0x1E});
  ASSERT_EQ(host.control->CosemSetWithList(listOf({w1.get(), w2.get()}).get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE) << host.lastError();
  EXPECT_EQ(accessResultOf(w1.get()), 0);
  EXPECT_EQ(accessResultOf(w2.get()), 3);
  EXPECT_EQ(table.attribute(3, {1, 0, 2, 8, 0, 255}, 2), (Bytes{0x06, 0x00, 0x00, 0x00, 0x01}));

  auto m1 = cosem(70, u"0.0.96.3.10.255", 1, {0x0F, 0x00});
  auto m2 = cosem(70, u"0.0.96.3.10.255", 2);
  auto m3 = cosem(70, u"0.0.96.3.10.255", 9);
  ASSERT_EQ(host.control->CosemActionWithList(listOf({m1.get(), m2.get(), m3.get()}).get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE) << host.lastError();
  EXPECT_EQ(accessResultOf(m1.get()), 0);
  EXPECT_EQ(dataOf(m2.get()), (Bytes{0x03, 0x01}));
  EXPECT_EQ(accessResultOf(m3.get()), 3);
}

TEST_P(ClientAgainstEngine, LongAnswerArrivesInSeveralFramesAndIsReassembled) {
  start(0);
  ASSERT_EQ(host.open(), TRUE) << host.lastError();
  size_t received = 0;
  host.hook = [&](DISPID id, DISPPARAMS* p) {
    if (id == kavlink::_IZrDLMSEvents::kOnDLMSMsg && p->rgvarg[0].lVal == FALSE) ++received;
  };
  auto profile = cosem(7, u"1.0.99.1.0.255", 2);
  BOOL ok = FALSE;
  ASSERT_EQ(host.control->CosemGet(profile.get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE) << host.lastError();
  EXPECT_EQ(dataOf(profile.get()), table.attribute(7, {1, 0, 99, 1, 0, 255}, 2));
  // 406 answer bytes: 125 + 128 + 128 + 25.
  EXPECT_EQ(received, 4u);
}

TEST_P(ClientAgainstEngine, AnswersWrittenInPiecesAreGathered) {
  start(0);
  peer->chunkSize = 5;
  ASSERT_EQ(host.open(), TRUE) << host.lastError();
  auto o = energy();
  BOOL ok = FALSE;
  ASSERT_EQ(host.control->CosemGet(o.get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE) << host.lastError();
}

TEST_P(ClientAgainstEngine, CallFromAnEventHandlerDuringAnExchangeIsRefused) {
  start(0);
  ASSERT_EQ(host.open(), TRUE) << host.lastError();
  HRESULT nested = S_OK;
  std::string text;
  BOOL nestedResult = -1;
  auto other = energy();
  host.hook = [&](DISPID id, DISPPARAMS*) {
    if (id != kavlink::_IZrDLMSEvents::kOnDLMSMsg || nested != S_OK) return;
    nested = host.control->CosemGet(other.get(), &nestedResult);
    text = comErrorText();
  };
  auto o = energy();
  BOOL ok = FALSE;
  ASSERT_EQ(host.control->CosemGet(o.get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE);
  EXPECT_EQ(nested, DISP_E_EXCEPTION);
  EXPECT_EQ(text, "Devices is communicating......");
  EXPECT_EQ(nestedResult, FALSE);
}

INSTANTIATE_TEST_SUITE_P(Transports, ClientAgainstEngine, ::testing::Values(Transport::kPty, Transport::kTcp),
                         [](const auto& info) { return info.param == Transport::kPty ? "Pty" : "Tcp"; });

}  // namespace
