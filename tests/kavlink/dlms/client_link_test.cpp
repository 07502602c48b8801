// The client alone, against scripted replies on a pseudo-terminal, on a loopback socket
// and through the host (Custom): the frames it sends, and every way a reply can be wrong.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "dlms/hdlc.h"
#include "dlms_client_host.h"
#include "sim/loopback_listener.h"
#include "sim/pty_pair.h"
#include "support/hdlc_frames.h"

using namespace dlmstest;
using namespace kavlink;

namespace {

const Bytes kAare = {0x61, 0x29, 0xA1, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01, 0xA2, 0x03,
                     0x02, 0x01, 0x00, 0xA3, 0x05, 0xA1, 0x03, 0x02, 0x01, 0x00, 0xBE, 0x10, 0x04, 0x0E, 0x08,
                     0x00, 0x06, 0x5F, 0x1F, 0x04, 0x00, 0x00, 0x40, 0x1F, 0x04, 0x00, 0x00, 0x07};
const Bytes kEnergyAnswer = {0xC4, 0x01, 0xC1, 0x00, 0x06, 0x00, 0x01, 0xE2, 0x40};

// Plays the meter from a script: for each request frame it receives, the next reply,
// written in the pieces given (with a short gap between them).
class ScriptedPeer {
 public:
  using Reply = std::vector<Bytes>;
  ScriptedPeer(int fd, std::vector<Reply> script) : fd_(fd), script_(std::move(script)) {
    thread_.start([this] { run(); });
  }
  std::vector<Bytes> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void run() {
    Bytes got;
    size_t next = 0;
    uint8_t buf[4096];
    while (const size_t n = thread_.receive(fd_, buf, sizeof buf)) {
      got.insert(got.end(), buf, buf + n);
      while (got.size() >= 3 && got[0] == 0x7E) {
        size_t len = ((got[1] << 8 | got[2]) & 0x7FF) + 2u;
        if (got.size() < len) break;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.emplace_back(got.begin(), got.begin() + static_cast<long>(len));
        }
        got.erase(got.begin(), got.begin() + static_cast<long>(len));
        if (next >= script_.size()) continue;
        const Reply& r = script_[next++];
        for (size_t i = 0; i < r.size(); ++i) {
          if (i > 0 && !thread_.pause(20)) return;
          sim::writeAllToFd(fd_, r[i].data(), r[i].size());
        }
      }
      if (!got.empty() && got[0] != 0x7E) got.clear();
    }
  }

  int fd_;
  std::vector<Reply> script_;
  std::mutex mutex_;
  std::vector<Bytes> requests_;
  sim::PeerThread thread_;
};

class ClientOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ComPtr<IZrSerial> serial;
    host.control->get_Serial(serial.put());
    serial->put_Port(zr::com::Bstr(zr::text::ansiToWide(pty.slavePath())).get());
    host.control->put_WaitTimeout(300);
  }
  // Associates against a script whose first two replies are UA and the AARE; the rest
  // answers what follows.
  void play(std::vector<ScriptedPeer::Reply> rest) {
    std::vector<ScriptedPeer::Reply> script = {{reply(kCtrlUa)}, {reply(0x30, withLlc(kAare))}};
    script.insert(script.end(), rest.begin(), rest.end());
    peer = std::make_unique<ScriptedPeer>(pty.master(), std::move(script));
    ASSERT_EQ(host.open(), TRUE) << host.lastError();
  }
  BOOL get() {
    auto o = cosem(3, u"1.0.1.8.0.255", 2);
    BOOL ok = -1;
    EXPECT_EQ(host.control->CosemGet(o.get(), &ok), S_OK) << comErrorText();
    got = dataOf(o.get());
    return ok;
  }
  void TearDown() override {
    host.hook = nullptr;
    peer.reset();
    ComPtr<IZrSerial> serial;
    host.control->get_Serial(serial.put());
    serial->Close();
  }

  sim::PtyPair pty;
  ClientHost host;
  std::unique_ptr<ScriptedPeer> peer;
  Bytes got;
};

TEST_F(ClientOnPty, OpenSendsSnrmThenTheAarqInItsFirstIFrame) {
  std::string firstFrame;
  host.hook = [&](DISPID id, DISPPARAMS* p) {
    if (id == _IZrDLMSEvents::kOnDLMSMsg && p->rgvarg[0].lVal == TRUE && firstFrame.empty())
      firstFrame = host.commMsg(true);
  };
  play({{reply(0x52, withLlc(kEnergyAnswer))}});
  EXPECT_EQ(firstFrame, "7E A0 07 03 21 93 0F 01 7E");
  EXPECT_EQ(get(), TRUE) << host.lastError();
  EXPECT_EQ(got, (Bytes{0x06, 0x00, 0x01, 0xE2, 0x40}));
  auto req = peer->requests();
  ASSERT_EQ(req.size(), 3u);
  EXPECT_EQ(req[1][5], 0x10);
  EXPECT_EQ(Bytes(req[1].begin() + 8, req[1].begin() + 11), (Bytes{0xE6, 0xE6, 0x00}));
  EXPECT_EQ(req[1].size(), 9u + 3u + 31u + 2u);
  EXPECT_EQ(req[2][5], 0x32);
  EXPECT_EQ(req[2][13], 0xC1);  // invoke-id-and-priority: confirmed
  // The received frame stays readable after the exchange.
  EXPECT_EQ(host.commMsg(false).substr(0, 8), "7E A0 15");
}

TEST_F(ClientOnPty, RepliesThatAreWrongGiveTheirErrors) {
  Bytes badFcs = reply(0x52, withLlc(kEnergyAnswer));
  badFcs[badFcs.size() - 2] ^= 0xFF;
  Bytes otherServer = reply(0x52, withLlc(kEnergyAnswer));
  {
    // Server address 2 bytes (LA 1, PA 1) where the client expects PA 1 alone.
    const uint8_t address[] = {0x21, 0x02, 0x03};
    uint8_t out[64] = {};
    Bytes info = withLlc(kEnergyAnswer);
    if (!info.empty()) std::memcpy(out + HdlcInfoOffset(3), info.data(), info.size());
    int n = BuildHdlcFrame(out, address, 3, 0x52, static_cast<int>(info.size()), false);
    otherServer.assign(out, out + n);
  }
  // A frame one byte longer than a bare header but without an FCS of its own.
  Bytes shortFrame = {0x7E, 0xA0, 0x08, 0x21, 0x03, 0x52, 0x00, 0x00, 0x00, 0x7E};
  uint16_t crc = Crc16X25(shortFrame.data() + 1, 6);
  shortFrame[7] = static_cast<uint8_t>(crc & 0xFF);
  shortFrame[8] = static_cast<uint8_t>(crc >> 8);
  Bytes endless = {0x7E, 0xA7, 0xFF};
  endless.resize(4100, 0x00);
  struct Row {
    const char* what;
    ScriptedPeer::Reply r;
    std::string text;
  };
  const std::vector<Row> rows = {
      {"DM", {reply(kCtrlDm)}, "HDLC is disconnected!"},
      {"FRMR", {reply(kCtrlFrmr, {0x52, 0x00, 0x01})}, "HDLC refused to answer!"},
      {"RR", {reply(0x51)}, "HDLC Server responsed frame Mismatch!"},
      {"service error", {reply(0x52, withLlc({0x0E, 0x05, 0x05, 0x01}))}, "COSEM Confirmed Service Error!"},
      {"other tag", {reply(0x52, withLlc({0xC5, 0x01, 0xC1, 0x00}))}, "COSE Server responsed frame Mismatch!"},
      {"data block",
       {reply(0x52, withLlc({0xC4, 0x02, 0xC1, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x05}))},
       "COSE Server responsed frame Mismatch!"},
      {"FCS", {badFcs}, "HDLC frame FCS error!"},
      {"address", {otherServer}, "HDLC frame address error!"},
      {"shorter than its header", {shortFrame}, "COSEM APDU Size is too large!"},
      {"4096 bytes or more", {endless}, "MAC wait responsed timeout!"},
      {"nothing", {}, "MAC wait responsed timeout!"},
  };
  for (const Row& r : rows) {
    peer.reset();
    play({r.r});
    EXPECT_EQ(get(), FALSE) << r.what;
    EXPECT_EQ(host.lastError(), r.text) << r.what;
  }
  // A reply that starts with anything but a flag ends the exchange, the code unchanged.
  peer.reset();
  play({{Bytes{0x00, 0x7E}}});
  EXPECT_EQ(get(), FALSE);
  EXPECT_EQ(host.lastError(), "MAC wait responsed timeout!");
}

TEST_F(ClientOnPty, ReplyInPiecesIsGathered) {
  Bytes r = reply(0x52, withLlc(kEnergyAnswer));
  play({{Bytes(r.begin(), r.begin() + 2), Bytes(r.begin() + 2, r.begin() + 9), Bytes(r.begin() + 9, r.end())}});
  EXPECT_EQ(get(), TRUE) << host.lastError();
  EXPECT_EQ(got, (Bytes{0x06, 0x00, 0x01, 0xE2, 0x40}));
}

TEST_F(ClientOnPty, AReplyLeftFromAnEarlierExchangeIsDroppedBeforeTheRequest) {
  play({{reply(0x52, withLlc(kEnergyAnswer))}});
  const Bytes late = reply(0x30, withLlc(kAare));
  sim::writeAllToFd(pty.master(), late.data(), late.size());
  ComPtr<IZrSerial> serial;
  host.control->get_Serial(serial.put());
  ASSERT_TRUE(testhost::waitUntil([&] {
    LONG n = 0;
    serial->GetInputCount(&n);
    return n == static_cast<LONG>(late.size());
  }));
  EXPECT_EQ(get(), TRUE) << host.lastError();
  EXPECT_EQ(got, (Bytes{0x06, 0x00, 0x01, 0xE2, 0x40}));
}

TEST_F(ClientOnPty, SixSegmentsAreAcceptedAndASeventhIsTooMany) {
  for (int frames : {6, 7}) {
    std::vector<ScriptedPeer::Reply> rest;
    Bytes whole = {0xC4, 0x01, 0xC1, 0x00, 0x09, static_cast<uint8_t>(frames * 10 - 6)};
    whole.resize(static_cast<size_t>(frames * 10), 0x41);
    for (int k = 0; k < frames; ++k) {
      Bytes piece(whole.begin() + k * 10, whole.begin() + k * 10 + 10);
      rest.push_back({reply(0x52, k == 0 ? withLlc(piece) : piece, k + 1 < frames)});
    }
    peer.reset();
    play(rest);
    if (frames == 6) {
      EXPECT_EQ(get(), TRUE) << host.lastError();
      EXPECT_EQ(got.size(), 56u);
      // Each segment but the last was acknowledged with an RR.
      auto req = peer->requests();
      ASSERT_EQ(req.size(), 8u);
      EXPECT_EQ(req[3][5], 0x51);
    } else {
      EXPECT_EQ(get(), FALSE);
      EXPECT_EQ(host.lastError(), "COSEM APDU Size is too large!");
      EXPECT_EQ(peer->requests().size(), 9u);
    }
  }
}

TEST_F(ClientOnPty, RequestTooLargeForOneFrameIsRefusedUnsent) {
  play({});
  Bytes value(2040, 0x00);
  value[0] = 0x09;
  auto o = cosem(1, u"0.0.96.1.0.255", 2, value);
  BOOL ok = -1;
  ASSERT_EQ(host.control->CosemSet(o.get(), &ok), S_OK);
  EXPECT_EQ(ok, FALSE);
  EXPECT_EQ(host.lastError(), "COSEM APDU Size is too large!");
  EXPECT_EQ(peer->requests().size(), 2u);
}

TEST_F(ClientOnPty, ReleaseWithoutAssociationSendsNothing) {
  ASSERT_EQ(host.control->CosemRelease(), S_OK);
  EXPECT_EQ(host.sink.count(_IZrDLMSEvents::kOnDLMSMsg), 0u);
}

TEST(DlmsClientSocket, ReplySplitAcrossReadsIsGatheredWhateverTheBufferSize) {
  int port = 0;
  const int listener = sim::listenOnLoopback(1, port);
  ASSERT_GE(listener, 0);
  ClientHost host;
  ComPtr<IZrSocket> socket;
  host.control->get_socket(socket.put());
  socket->put_Host(zr::com::Bstr(u"127.0.0.1").get());
  socket->put_Port(port);
  // Larger than the control's receive buffer: reads are capped to the room left.
  socket->put_BufferSize(100000);
  host.control->put_Channel(1);
  host.control->put_WaitTimeout(500);
  Bytes r = reply(0x52, withLlc(kEnergyAnswer));
  std::thread server([&] {
    int c = ::accept(listener, nullptr, nullptr);
    {
      // The peer's thread reads c: it ends before c is closed under it.
      ScriptedPeer peer(c, {{reply(kCtrlUa)},
                            {reply(0x30, withLlc(kAare))},
                            {Bytes(r.begin(), r.begin() + 4), Bytes(r.begin() + 4, r.end())}});
      pollfd p{c, POLLRDHUP, 0};
      ::poll(&p, 1, 3000);
    }
    ::close(c);
  });
  EXPECT_EQ(host.open(), TRUE) << host.lastError();
  auto o = cosem(3, u"1.0.1.8.0.255", 2);
  BOOL ok = -1;
  EXPECT_EQ(host.control->CosemGet(o.get(), &ok), S_OK);
  EXPECT_EQ(ok, TRUE) << host.lastError();
  LONG size = 0;
  socket->get_BufferSize(&size);
  EXPECT_EQ(size, 100000);
  host.control->CosemRelease();
  server.join();
  ::close(listener);
}

TEST(DlmsClientSocket, ConnectFailureIsReportedWithTheSocketsText) {
  ClientHost host;
  ComPtr<IZrSocket> socket;
  host.control->get_socket(socket.put());
  socket->put_Host(zr::com::Bstr(u"127.0.0.1").get());
  socket->put_Port(1);
  host.control->put_Channel(1);
  BOOL ok = -1;
  EXPECT_EQ(host.control->CosemOpen(&ok), DISP_E_EXCEPTION);
  EXPECT_EQ(ok, FALSE);
  EXPECT_EQ(comErrorText().rfind("Socket connect failed:  WSAECONNREFUSED", 0), 0u) << comErrorText();
}

// A COSEM object of some other making: the control cannot read it in place.
class ForeignCosem final : public IZrCosemObject {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = this;
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  HRESULT get_ClassID(USHORT*) override { return E_NOTIMPL; }
  HRESULT put_ClassID(USHORT) override { return E_NOTIMPL; }
  HRESULT get_index(BYTE*) override { return E_NOTIMPL; }
  HRESULT put_index(BYTE) override { return E_NOTIMPL; }
  HRESULT get_OBIS(BSTR*) override { return E_NOTIMPL; }
  HRESULT put_OBIS(BSTR) override { return E_NOTIMPL; }
  HRESULT get_Data(LONG, BYTE*) override { return E_NOTIMPL; }
  HRESULT put_Data(LONG, BYTE) override { return E_NOTIMPL; }
  HRESULT get_DataLen(LONG*) override { return E_NOTIMPL; }
  HRESULT put_DataLen(LONG) override { return E_NOTIMPL; }
  HRESULT get_AccessType(BYTE*) override { return E_NOTIMPL; }
  HRESULT get_AccessResult(BYTE*) override { return E_NOTIMPL; }
  HRESULT Clear() override { return E_NOTIMPL; }
  HRESULT GetDataPointer(PTRBUF*) override { return E_NOTIMPL; }
  HRESULT GetDataType(TZrCosemDataType*) override { return E_NOTIMPL; }
};

// Through the host: OnCosemComm carries each request APDU and brings the reply back.
class ClientCustom : public ::testing::Test {
 protected:
  void SetUp() override {
    host.control->put_Custom(TRUE);
    host.hook = [this](DISPID id, DISPPARAMS* p) {
      if (id != _IZrDLMSEvents::kOnCosemComm) return;
      auto* buf = reinterpret_cast<uint8_t*>(p->rgvarg[1].ullVal);
      LONG* len = p->rgvarg[0].plVal;
      requests.emplace_back(buf, buf + *len);
      if (answers.empty()) {
        *len = 0;
        return;
      }
      Bytes a = answers.front();
      answers.erase(answers.begin());
      std::memcpy(buf, a.data(), a.size());
      *len = overrideLength ? lengthOverride : static_cast<LONG>(a.size());
    };
  }
  ClientHost host;
  std::vector<Bytes> answers;
  std::vector<Bytes> requests;
  bool overrideLength = false;
  LONG lengthOverride = 0;
};

TEST_F(ClientCustom, AnswersFromTheHostAreDecoded) {
  struct Row {
    const char* what;
    Bytes answer;
    BOOL result;
    std::string text;
    BYTE accessResult;
    LONG dataType;
  };
  const Row rows[] = {
      {"data", {0xC4, 0x01, 0x81, 0x00, 0x11, 0x05}, TRUE, "", 0, cdtUINT8},
      {"refused", {0xC4, 0x01, 0x81, 0x01, 0x04}, FALSE, "COSEM GET responsed failed! Access Result = 4 ", 4, -1},
  };
  for (const Row& r : rows) {
    answers = {r.answer};
    auto o = cosem(3, u"1.0.1.8.0.255", 2);
    BOOL ok = -1;
    ASSERT_EQ(host.control->CosemGet(o.get(), &ok), S_OK);
    EXPECT_EQ(ok, r.result) << r.what;
    if (!r.text.empty()) {
      EXPECT_EQ(host.lastError(), r.text) << r.what;
    }
    EXPECT_EQ(accessResultOf(o.get()), r.accessResult) << r.what;
    TZrCosemDataType t = cdtNONE;
    o->GetDataType(&t);
    if (r.dataType >= 0) {
      EXPECT_EQ(t, r.dataType) << r.what;
    }
  }
  auto a = cosem(3, u"1.0.1.8.0.255", 2);
  answers = {{0xC4, 0x03, 0xC1, 0x02, 0x00, 0x11, 0x05}};
  BOOL ok = -1;
  ASSERT_EQ(host.control->CosemGetWithList(listOf({a.get()}).get(), &ok), S_OK);
  EXPECT_EQ(ok, FALSE);
  EXPECT_EQ(host.lastError(), "Unknow error msg");
}

TEST_F(ClientCustom, HostReplyLengthsOutsideTheBufferFail) {
  for (LONG bad : {0, -1, 4097}) {
    answers = {{0xC4, 0x01, 0xC1, 0x00, 0x11, 0x05}};
    overrideLength = true;
    lengthOverride = bad;
    auto o = cosem(3, u"1.0.1.8.0.255", 2);
    BOOL ok = -1;
    ASSERT_EQ(host.control->CosemGet(o.get(), &ok), S_OK);
    EXPECT_EQ(ok, FALSE) << bad;
    EXPECT_EQ(host.lastError(), "COSEM APDU Size is too large!") << bad;
  }
}

TEST_F(ClientCustom, AssociationRules) {
  // A short AARE is no association.
  answers = {{0x61, 0x00}};
  EXPECT_EQ(host.open(), FALSE);
  EXPECT_EQ(host.lastError(), "COSE Server responsed frame Mismatch!");
  // A password too long for the AARQ's lengths is refused before anything is sent.
  host.control->put_Authentioation(1);
  host.setPassword(std::string(82, 'p'));
  requests.clear();
  BOOL ok = -1;
  EXPECT_EQ(host.control->CosemOpen(&ok), DISP_E_EXCEPTION);
  EXPECT_EQ(comErrorText(), "Password is too long: at most 81 bytes fit the AARQ");
  EXPECT_TRUE(requests.empty());
  // High level: an answer to the challenge longer than its buffer is refused.
  host.control->put_Authentioation(2);
  host.setPassword("CtoS");
  Bytes aare = {0x61, 0x2C, 0xA1, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01, 0xA2, 0x03, 0x02,
                0x01, 0x00, 0xA3, 0x05, 0xA1, 0x03, 0x02, 0x01, 0x0E, 0x88, 0x02, 0x07, 0x80, 0x89, 0x07, 0x60,
                0x85, 0x74, 0x05, 0x08, 0x02, 0x02, 0xAA, 0x06, 0x80, 0x04, 1,    2,    3,    4};
  answers = {aare};
  host.sink.onEvent = [&](DISPID id, DISPPARAMS* p) {
    if (id == _IZrDLMSEvents::kOnCosemAuthen) {
      *p->rgvarg[1].plVal = 200;
      *p->rgvarg[0].plVal = TRUE;
    }
    if (host.hook) host.hook(id, p);
  };
  EXPECT_EQ(host.open(), FALSE);
  EXPECT_EQ(host.lastError(), "COSEM APDU Size is too large!");
}

TEST_F(ClientCustom, OnlyTheReplyToTheChallengeRunsWithTheBusyFlagDown) {
  host.control->put_Authentioation(2);
  host.setPassword("CtoS");
  const Bytes aare = {0x61, 0x2C, 0xA1, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01, 0xA2, 0x03, 0x02,
                      0x01, 0x00, 0xA3, 0x05, 0xA1, 0x03, 0x02, 0x01, 0x0E, 0x88, 0x02, 0x07, 0x80, 0x89, 0x07, 0x60,
                      0x85, 0x74, 0x05, 0x08, 0x02, 0x02, 0xAA, 0x06, 0x80, 0x04, 1,    2,    3,    4};
  const Bytes fStoC = sim::dlmsHlsAnswer(host.hlsSecret, reinterpret_cast<const uint8_t*>("CtoS"), 4);
  Bytes actionReply = {0xC7, 0x01, 0xC1, 0x00, 0x01, 0x00, 0x09, static_cast<uint8_t>(fStoC.size())};
  actionReply.insert(actionReply.end(), fStoC.begin(), fStoC.end());
  answers = {aare, actionReply};
  // A release while not associated does nothing unless refused: it shows the flag alone.
  std::vector<std::pair<std::string, HRESULT>> nested;
  auto carry = host.hook;
  host.hook = [&](DISPID id, DISPPARAMS* p) {
    if (id == _IZrDLMSEvents::kOnCosemComm) {
      const uint8_t tag = *reinterpret_cast<uint8_t*>(p->rgvarg[1].ullVal);
      nested.emplace_back(tag == 0x60 ? "AARQ" : "ACTION", host.control->CosemRelease());
      carry(id, p);
    } else if (id == _IZrDLMSEvents::kOnCosemAuthen) {
      nested.emplace_back("authentication " + std::to_string(p->rgvarg[3].lVal), host.control->CosemRelease());
    }
  };
  EXPECT_EQ(host.open(), TRUE) << host.lastError();
  const std::vector<std::pair<std::string, HRESULT>> expected = {{"AARQ", DISP_E_EXCEPTION},
                                                                 {"authentication 1", DISP_E_EXCEPTION},
                                                                 {"ACTION", S_OK},
                                                                 {"authentication 2", DISP_E_EXCEPTION}};
  EXPECT_EQ(nested, expected);
}

TEST_F(ClientCustom, NullAndForeignObjectsAreRefusedBeforeAnyExchange) {
  BOOL ok = -1;
  ForeignCosem foreign;
  EXPECT_EQ(host.control->CosemGet(nullptr, &ok), E_POINTER);
  EXPECT_EQ(host.control->CosemSet(&foreign, &ok), E_INVALIDARG);
  EXPECT_EQ(host.control->CosemGetWithList(nullptr, &ok), E_POINTER);
  auto list = ComPtr<IZrList>::attach(CZrList::create());
  auto mine = cosem(3, u"1.0.1.8.0.255", 2);
  list->Add(mine.get());
  list->Add(&foreign);
  EXPECT_EQ(host.control->CosemActionWithList(list.get(), &ok), E_INVALIDARG);
  EXPECT_EQ(ok, FALSE);
  EXPECT_TRUE(requests.empty());
}

}  // namespace
