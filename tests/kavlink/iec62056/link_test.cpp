// The link engine against scripted byte exchanges: no port, no COM.
#include <gtest/gtest.h>

#include "iec62056/iec_link.h"
#include "support/scripted_channel.h"

using namespace kavlink::iec;
using namespace std::string_literals;
using testhost::ScriptedChannel;

namespace {

class RecordingEvents final : public LinkEvents {
 public:
  void onComm(const std::string& text, bool sent) override { comm.emplace_back(text, sent); }
  void onDataGroup(const std::string& line) override { groups.push_back(line); }
  std::vector<std::pair<std::string, bool>> comm;
  std::vector<std::string> groups;
};

// The message with its block check appended: XOR of every byte after the first.
std::string withBcc(std::string m) {
  uint8_t x = 0;
  for (size_t i = 1; i < m.size(); ++i) x ^= static_cast<uint8_t>(m[i]);
  return m + static_cast<char>(x);
}

const std::string kReadout = withBcc(
    "\x02"s
    "1.8.0(001234.5*kWh)\r\n!\r\n\x03");
const std::string kPasswordRequest = withBcc("\x01P0\x02(12345678)\x03"s);
const std::string kMeterBreak =
    "\x01"
    "B0\x03\x71"s;
const std::string kAckMsg = "\x06"s, kNakMsg = "\x15"s;

class Link : public ::testing::Test {
 protected:
  Link() { link.setBusy(true); }
  ScriptedChannel ch;
  LinkSettings settings;
  RecordingEvents events;
  IecLink link{ch, settings, &events};
};

}  // namespace

TEST(IecBcc, KnownAnswersAndCommandWireForms) {
  EXPECT_EQ(bcc("B0\x03"), 0x71);
  EXPECT_EQ(bcc("P1\x02(00000000)\x03"), 0x61);
  EXPECT_EQ(bcc(""), 0);
  EXPECT_EQ(breakMessage(0),
            "\x01"
            "B0\x03\x71"s);
  EXPECT_EQ(commandMessage('P', 1, "(00000000)", kEtx), "\x01P1\x02(00000000)\x03\x61"s);
  EXPECT_EQ(commandMessage('W', 2, "", kEtx), withBcc("\x01W2\x02\x03"s));
}

TEST(IecBaudChoice, EveryCharacterOfTheTable) {
  struct Row {
    char z, mode;
    int32_t rate;
  } rows[] = {{'1', 'C', 600},   {'2', 'C', 1200}, {'3', 'C', 2400}, {'4', 'C', 4800}, {'5', 'C', 9600},
              {'6', 'C', 19200}, {'0', 'C', 300},  {'7', 'C', 300},  {'8', 'C', 300},  {'9', 'C', 300},
              {'A', 'B', 600},   {'B', 'B', 1200}, {'C', 'B', 2400}, {'D', 'B', 4800}, {'E', 'B', 9600},
              {'F', 'B', 19200}, {'G', 'B', 300},  {'H', 'B', 300},  {'I', 'B', 300},  {'J', 'A', 0},
              {'Z', 'A', 0},     {'a', 'A', 0},    {'\0', 'A', 0}};
  for (const Row& r : rows) {
    BaudChoice c = baudChoice(r.z);
    EXPECT_EQ(c.mode, r.mode) << r.z;
    EXPECT_EQ(c.rate, r.rate) << r.z;
  }
}

TEST(IecClassify, EveryKindAndWhatIsNotYetAMessage) {
  struct Row {
    const char* name;
    std::string buffer;
    int32_t formatB;
    MsgKind kind;  // None: not recognised, buffer unchanged
    size_t length;
  } rows[] = {
      {"identification", "/ABC5XYZ\r\n"s, 0, MsgKind::Identification, 10},
      {"identification under 8 bytes", "/AB5\r\n"s, 0, MsgKind::None, 0},
      {"short identification with bytes behind", "/AB\r\nXYZ"s, 0, MsgKind::Identification, 5},
      {"identification without CR", "/ABC5XYZ\n"s, 0, MsgKind::None, 0},
      {"data message",
       withBcc("\x02"
               "F.F(00)\r\n!\r\n\x03"s),
       0, MsgKind::Data, 15},
      {"error text",
       withBcc("\x02"
               "ERR(03)\x03"s),
       0, MsgKind::Error, 10},
      {"no data set",
       withBcc("\x02"
               "0.0.0\x03"s),
       0, MsgKind::Error, 8},
      {"Err lower case",
       withBcc("\x02"
               "1(Err)\x03"s),
       0, MsgKind::Error, 9},
      {"partial block",
       withBcc("\x02"
               "1(2)\x04"s),
       0, MsgKind::Partial, 7},
      {"data without its BCC yet",
       "\x02"
       "1(2)\x03"s,
       0, MsgKind::None, 0},
      {"meter break", kMeterBreak, 0, MsgKind::Break, 5},
      {"meter break with another digit", kMeterBreak, 1, MsgKind::None, 0},
      {"meter break followed by more bytes", kMeterBreak + "\x06"s, 0, MsgKind::Break, 5},
      {"password request", kPasswordRequest, 0, MsgKind::Command, 16},
      // The break digits inside a password request's data do not make it a break.
      {"password request holding B0", withBcc("\x01P0\x02(B0)\x03"s), 0, MsgKind::Command, 10},
      {"SOH message of another form", withBcc("\x01X0\x03"s), 0, MsgKind::None, 0},
      {"SOH with EOT", withBcc("\x01P0\x02(1)\x04"s), 0, MsgKind::None, 0},
      {"ACK", kAckMsg, 0, MsgKind::Ack, 1},
      {"NAK", kNakMsg, 0, MsgKind::Nak, 1},
      {"ACK with more bytes", "\x06x"s, 0, MsgKind::None, 0},
      {"other first byte", "x/ABC5\r\n"s, 0, MsgKind::None, 0},
      {"empty", ""s, 0, MsgKind::None, 0},
  };
  for (const Row& r : rows) {
    std::string buffer = r.buffer;
    Reply reply;
    const bool found = classifyReply(buffer, r.formatB, reply);
    EXPECT_EQ(found, r.kind != MsgKind::None) << r.name;
    if (r.kind == MsgKind::None) {
      EXPECT_EQ(buffer, r.buffer) << r.name;
      continue;
    }
    EXPECT_EQ(reply.kind, r.kind) << r.name;
    EXPECT_EQ(reply.message, r.buffer.substr(0, r.length)) << r.name;
    EXPECT_EQ(buffer, r.buffer.substr(r.length)) << r.name;
  }
}

TEST(IecFormatText, DisplayFormats) {
  struct Row {
    std::string bytes;
    int32_t format;
    std::string shown;
  } rows[] = {
      {"/?12345678!\r\n"s, 2, "/?12345678![CR][LF]"},
      {"\x01P1\x02(00000000)\x03\x61"s, 2, "[SOH]P1[STX](00000000)[ETX][BCC=61]"},
      {"\x02"
       "1(2)\x04\x03"s,
       2, "[STX]1(2)[EOT][BCC=03]"},
      {"\x06\x15"s, 2, "[ACK][NAK]"},
      {"  abc "s, 2, "abc"},
      {"  abc "s, 7, "abc"},
      {"  abc "s, 1, "  abc "},
      {"\x06"s, 3, "06"},
      {"\x02\xff"s, 3, "02 FF"},
  };
  for (const Row& r : rows) EXPECT_EQ(formatCommText(r.bytes, r.format), r.shown) << r.shown;
}

TEST(IecCommandData, CutAfterTheFirstParenthesisAndTrimmed) {
  EXPECT_EQ(commandData("1.8.0(123)xyz"), "1.8.0(123)");
  EXPECT_EQ(commandData("C.1.0"), "");
  EXPECT_EQ(commandData("  96.1.0(1) "), "96.1.0(1)");
  EXPECT_TRUE(isDataSetText("a(b)"));
  EXPECT_FALSE(isDataSetText("a)b("));
  EXPECT_FALSE(isDataSetText(""));
}

// ---- receive ---------------------------------------------------------------------------

TEST_F(Link, NulInsideAChunkKeepsEveryByteAndLeadingNulsAreSkipped) {
  const std::string data = withBcc(
      "\x02"
      "1(a\0b)\x03"s);
  ch.preload({"\0\0"s + data.substr(0, 4), data.substr(4)});
  Reply r;
  ASSERT_TRUE(link.receiveReply(r));
  EXPECT_EQ(r.kind, MsgKind::Data);
  EXPECT_EQ(r.message,
            "\x02"
            "1(a\0b)\x03"s);
}

TEST_F(Link, TimeOutsAndLimits) {
  Reply r;
  settings.msgTimeout = 700;
  EXPECT_FALSE(link.receiveReply(r));
  EXPECT_EQ(link.lastError(), kErrTimeout);
  EXPECT_EQ(ch.waits.back(), 700u);
  // A negative time-out is no wait at all, not one of 49 days.
  settings.msgTimeout = -5;
  EXPECT_FALSE(link.receiveReply(r));
  EXPECT_EQ(ch.waits.back(), 0u);

  ch.preload({"\x02" + std::string(255, 'x'), "yy"});
  EXPECT_FALSE(link.receiveReply(r));
  EXPECT_EQ(link.lastError(), kErrTooLong);

  // Outside an operation nothing is waited for.
  link.setBusy(false);
  const size_t waits = ch.waits.size();
  EXPECT_FALSE(link.receiveReply(r));
  EXPECT_EQ(ch.waits.size(), waits);
}

TEST_F(Link, WrongBccIsNotHandedOnAndItsCodeOutlivesLaterSuccess) {
  std::string bad = kReadout;
  bad.back() = static_cast<char>(bad.back() ^ 0x20);
  ch.preload({bad, kAckMsg});
  Reply r;
  EXPECT_FALSE(link.receiveReply(r));
  EXPECT_EQ(link.lastError(), kErrBcc);
  EXPECT_TRUE(link.receiveReply(r));
  EXPECT_EQ(r.kind, MsgKind::Ack);
  EXPECT_EQ(link.lastError(), kErrBcc);
}

TEST_F(Link, DataGroupFiresOnceWhateverTheChunksAndImmediateShowsEachChunk) {
  for (int immediate : {0, 1}) {
    events = {};
    settings.msgImmediate = immediate;
    // Split inside the data set, and between ETX and its BCC.
    const size_t bccAt = kReadout.size() - 1;
    ch.preload({kReadout.substr(0, 8), kReadout.substr(8, bccAt - 8), kReadout.substr(bccAt)});
    Reply r;
    ASSERT_TRUE(link.receiveReply(r));
    EXPECT_EQ(events.groups, std::vector<std::string>{"1.8.0(001234.5*kWh)"});
    const size_t received = std::count_if(events.comm.begin(), events.comm.end(), [](auto& e) { return !e.second; });
    EXPECT_EQ(received, immediate ? 4u : 1u);
    EXPECT_EQ(events.comm.back().first, "[STX]1.8.0(001234.5*kWh)[CR][LF]![CR][LF][ETX][BCC=7B]");
  }
  settings.msgDisplayGroup = 0;
  events = {};
  ch.preload({kReadout});
  Reply r;
  ASSERT_TRUE(link.receiveReply(r));
  EXPECT_TRUE(events.groups.empty());
  settings.msgNotify = 0;
  events = {};
  ch.preload({kReadout});
  link.sendMessage("x");
  ASSERT_TRUE(link.receiveReply(r));
  EXPECT_TRUE(events.comm.empty());
}

TEST_F(Link, SendPausesFirstEmptiesTheBufferAndShowsTheMessage) {
  ch.preload({kAckMsg + "x"});  // not a whole message: stays in the buffer
  Reply r;
  settings.msgTimeout = 0;
  EXPECT_FALSE(link.receiveReply(r));
  EXPECT_FALSE(link.receiveBuffer().empty());
  settings.msgDelay = 30;
  link.sendMessage("/?!\r\n");
  EXPECT_TRUE(link.receiveBuffer().empty());
  EXPECT_EQ(ch.sleeps, std::vector<uint32_t>{30});
  ASSERT_EQ(events.comm.size(), 1u);
  EXPECT_EQ(events.comm[0], std::make_pair("/?![CR][LF]"s, true));
  settings.msgDelay = -1;
  link.sendMessage("x");
  EXPECT_EQ(ch.sleeps.size(), 1u);
}

// ---- sign-on ---------------------------------------------------------------------------

TEST_F(Link, ReadoutSignOnByIdentification) {
  struct Row {
    std::string ident;
    char mode;
    std::vector<int32_t> rates;
    std::vector<std::string> writes;
  } rows[] = {
      {"/ABC5XYZ\r\n",
       'C',
       {9600},
       {"/?!\r\n",
        "\x06"
        "050\r\n"}},
      {"/ABC7XYZ\r\n",
       'C',
       {300},
       {"/?!\r\n",
        "\x06"
        "070\r\n"}},
      {"/ABCEXYZ\r\n", 'B', {9600}, {"/?!\r\n"}},
      {"/ABCZXYZ\r\n", 'A', {}, {"/?!\r\n"}},
  };
  for (const Row& r : rows) {
    ScriptedChannel c;
    c.answer(0, {r.ident});
    IecLink l(c, settings, nullptr);
    l.setBusy(true);
    EXPECT_TRUE(l.signOn(false)) << r.ident;
    EXPECT_EQ(l.modeLetter(), r.mode) << r.ident;
    EXPECT_EQ(c.rates, r.rates) << r.ident;
    EXPECT_EQ(c.writes, r.writes) << r.ident;
    // Mode C pauses for the acknowledgement to leave before the rate changes.
    EXPECT_EQ(c.sleeps, r.mode == 'C' ? std::vector<uint32_t>{210} : std::vector<uint32_t>{}) << r.ident;
  }
}

TEST_F(Link, WakeUpAddressAndPauses) {
  settings.wakeupCharCount = 3;
  settings.deviceAddress = "12345678";
  settings.switchBaudDelay = -20;
  ch.answer(1, {"/ABC5XYZ\r\n"});
  ASSERT_TRUE(link.signOn(false));
  EXPECT_EQ(ch.writes[0], "\0\0\0"s);
  EXPECT_EQ(ch.writes[1], "/?12345678!\r\n");
  EXPECT_EQ(ch.sleeps, (std::vector<uint32_t>{1500, 0}));
}

TEST_F(Link, SignOnFailures) {
  struct Row {
    const char* name;
    std::vector<std::string> answer;
    int32_t error;
  } rows[] = {
      {"silence", {}, kErrTimeout},
      {"identification too short to be one", {"/AB5\r\n"}, kErrTimeout},
      {"identification without a baud-rate character", {"/A\r\nXYZW"}, kErrProtocol},
      {"not an identification", {kAckMsg}, kErrProtocol},
      {"wrong BCC", {kReadout.substr(0, kReadout.size() - 1) + "\x7f"s}, kErrBcc},
  };
  for (const Row& r : rows) {
    ScriptedChannel c;
    c.answer(0, r.answer);
    IecLink l(c, settings, nullptr);
    l.setBusy(true);
    EXPECT_FALSE(l.signOn(false)) << r.name;
    EXPECT_EQ(l.lastError(), r.error) << r.name;
    EXPECT_TRUE(c.rates.empty()) << r.name;
  }
}

TEST_F(Link, FailedRateSwitchIsAPortFailure) {
  ch.refuseRates = true;
  ch.answer(0, {"/ABC5XYZ\r\n"});
  try {
    link.signOn(false);
    FAIL() << "no failure";
  } catch (const zr::com::ComError& e) {
    EXPECT_STREQ(e.what(), "SetCommState function failed");
  }
}

TEST_F(Link, ProgrammingSignOnWithPassword) {
  settings.password = "00000000";
  settings.protocolCtrl = 1;
  settings.modeCtrl = 2;
  ch.answer(0, {"/ABC5XYZ\r\n"});
  ch.answer(1, {kPasswordRequest.substr(0, 6), kPasswordRequest.substr(6)});
  ch.answer(2, {kAckMsg});
  ASSERT_TRUE(link.signOn(true));
  EXPECT_EQ(ch.writes, (std::vector<std::string>{"/?!\r\n",
                                                 "\x06"
                                                 "152\r\n",
                                                 "\x01P1\x02(00000000)\x03\x61"s}));
  EXPECT_EQ(ch.rates, std::vector<int32_t>{9600});
  ASSERT_EQ(events.comm.size(), 6u);  // three sent, three received
  EXPECT_EQ(events.comm[4], std::make_pair("[SOH]P1[STX](00000000)[ETX][BCC=61]"s, true));
}

TEST_F(Link, ProgrammingSignOnOutcomes) {
  struct Row {
    const char* name;
    std::string password;
    std::vector<std::vector<std::string>> answers;  // to the request, the option, then each password send
    bool ok;
    int32_t error;
    size_t writes;
  } rows[] = {
      {"no password needed", "", {{"/ABC5XYZ\r\n"}, {kPasswordRequest}}, true, 0, 2},
      {"option answered with ACK", "1", {{"/ABC5XYZ\r\n"}, {kAckMsg}}, false, kErrProtocol, 2},
      {"password accepted", "1", {{"/ABC5XYZ\r\n"}, {kPasswordRequest}, {kAckMsg}}, true, 0, 3},
      {"meter breaks off", "1", {{"/ABC5XYZ\r\n"}, {kPasswordRequest}, {kMeterBreak}}, false, kErrMeterBreak, 3},
      {"four NAKs",
       "1",
       {{"/ABC5XYZ\r\n"}, {kPasswordRequest}, {kNakMsg}, {kNakMsg}, {kNakMsg}, {kNakMsg}},
       false,
       kErrProtocol,
       6},
      {"NAK then ACK", "1", {{"/ABC5XYZ\r\n"}, {kPasswordRequest}, {kNakMsg}, {kAckMsg}}, true, 0, 4},
      {"silence after the password", "1", {{"/ABC5XYZ\r\n"}, {kPasswordRequest}}, false, kErrTimeout, 3},
      {"answered with data", "1", {{"/ABC5XYZ\r\n"}, {kPasswordRequest}, {kReadout}}, false, kErrProtocol, 3},
  };
  for (const Row& r : rows) {
    ScriptedChannel c;
    for (size_t i = 0; i < r.answers.size(); ++i) c.answer(i, r.answers[i]);
    LinkSettings s;
    s.password = r.password;
    IecLink l(c, s, nullptr);
    l.setBusy(true);
    EXPECT_EQ(l.signOn(true), r.ok) << r.name;
    if (!r.ok) {
      EXPECT_EQ(l.lastError(), r.error) << r.name;
    }
    EXPECT_EQ(c.writes.size(), r.writes) << r.name;
    if (r.writes > 1) {
      EXPECT_EQ(c.writes[1],
                "\x06"
                "051\r\n")
          << r.name;
    }
  }
}

// ---- commands ----------------------------------------------------------------------------

TEST_F(Link, WriteCommandWireForms) {
  ch.answer(0, {kAckMsg});
  ch.answer(1, {kAckMsg});
  ch.answer(2, {kAckMsg});
  EXPECT_TRUE(link.sendWriteCommand("96.1.0(12345678)", false));
  EXPECT_TRUE(link.sendWriteCommand("C.1.0", false));
  // A middle block keeps its ")" and everything after it.
  EXPECT_TRUE(link.sendWriteCommand("1(2)3(4", true));
  EXPECT_EQ(ch.writes[0], withBcc("\x01W2\x02"
                                  "96.1.0(12345678)\x03"s));
  EXPECT_EQ(ch.writes[1], withBcc("\x01W2\x02\x03"s));
  EXPECT_EQ(ch.writes[2], withBcc("\x01W2\x02"
                                  "1(2)3(4\x04"s));
}

TEST_F(Link, CommandOutcomesAndTheBreakThatFollowsAFailure) {
  const std::string brk =
      "\x01"
      "B0\x03\x71"s;
  struct Row {
    const char* name;
    char command;  // W, E or R
    std::vector<std::vector<std::string>> answers;
    bool ok;
    int32_t error;
    size_t sends;  // command messages written
    bool breakSent;
  } rows[] = {
      {"write ACK", 'W', {{kAckMsg}}, true, 0, 1, false},
      {"write meter break", 'W', {{kMeterBreak}}, false, kErrMeterBreak, 1, false},
      {"write three NAKs", 'W', {{kNakMsg}, {kNakMsg}, {kNakMsg}}, false, kErrNak, 3, true},
      {"write NAK then ACK", 'W', {{kNakMsg}, {kAckMsg}}, true, 0, 2, false},
      {"write silence", 'W', {}, false, kErrTimeout, 1, false},
      {"write answered with data", 'W', {{kReadout}}, false, kErrProtocol, 1, true},
      {"exec ACK", 'E', {{kAckMsg}}, true, 0, 1, false},
      {"exec three NAKs", 'E', {{kNakMsg}, {kNakMsg}, {kNakMsg}}, false, kErrNak, 3, true},
      {"read data",
       'R',
       {{withBcc("\x02"
                 "1.8.0(5)\x03"s)}},
       true,
       0,
       1,
       false},
      {"read error message", 'R', {{withBcc("\x02(ERROR)\x03"s)}}, false, kErrProtocol, 1, true},
      {"read wrong BCC",
       'R',
       {{"\x02"
         "1(2)\x03\x00"s}},
       false,
       kErrBcc,
       1,
       true},
      {"read meter break", 'R', {{kMeterBreak}}, false, kErrMeterBreak, 1, false},
      {"read three NAKs", 'R', {{kNakMsg}, {kNakMsg}, {kNakMsg}}, false, kErrNak, 3, true},
  };
  for (const Row& r : rows) {
    ScriptedChannel c;
    for (size_t i = 0; i < r.answers.size(); ++i) c.answer(i, r.answers[i]);
    IecLink l(c, settings, nullptr);
    l.setBusy(true);
    std::string reply;
    bool ok = r.command == 'W'   ? l.sendWriteCommand("1.8.0(5)", false)
              : r.command == 'E' ? l.sendExecCommand("1.8.0(5)")
                                 : l.sendReadCommand("1.8.0()", reply);
    EXPECT_EQ(ok, r.ok) << r.name;
    if (!r.ok) {
      EXPECT_EQ(l.lastError(), r.error) << r.name;
    }
    EXPECT_EQ(c.writes.size(), r.sends + (r.breakSent ? 1 : 0)) << r.name;
    EXPECT_EQ(!c.writes.empty() && c.writes.back() == brk, r.breakSent) << r.name;
    if (r.breakSent) {
      EXPECT_EQ(c.sleeps.back(), 100u) << r.name;
    }
    if (r.command == 'R' && r.ok) {
      EXPECT_EQ(reply,
                "\x02"
                "1.8.0(5)\x03"s);
    }
  }
}

TEST_F(Link, ReadInPartialBlocksIsJoinedAfterOneAckPerBlock) {
  ch.answer(0, {withBcc("\x02"
                        "1.8.0(12)\x04"s)});
  ch.answer(1, {withBcc("\x02"
                        "2.8.0(34)\x04"s)});
  ch.answer(2, {withBcc("\x02"
                        "3.8.0(56)\x03"s)});
  std::string reply;
  ASSERT_TRUE(link.sendReadCommand("1.8.0()", reply)) << link.lastError();
  EXPECT_EQ(reply,
            "\x02"
            "1.8.0(12)\x04\x02"
            "2.8.0(34)\x04\x02"
            "3.8.0(56)\x03"s);
  EXPECT_EQ(ch.writes, (std::vector<std::string>{withBcc("\x01R2\x02"
                                                         "1.8.0()\x03"s),
                                                 kAckMsg, kAckMsg}));
}

TEST_F(Link, ReadInBlocksStopsAtTheReceiveLimit) {
  const std::string block = withBcc("\x02" + std::string(100, 'x') + "\x04");
  for (size_t i = 0; i < 4; ++i) ch.answer(i, {block});
  std::string reply;
  EXPECT_FALSE(link.sendReadCommand("1()", reply));
  EXPECT_EQ(link.lastError(), kErrTooLong);
  EXPECT_EQ(reply.size(), 3 * 102u);  // three blocks less their BCC reach 256
}

TEST_F(Link, ReadoutCountsOnlyAReadout) {
  struct Row {
    std::string answer;
    bool ok;
    int32_t error;
  } rows[] = {
      {kReadout, true, 0},
      {withBcc("\x02(ERROR)\x03"s), true, 0},
      {kMeterBreak, false, kErrMeterBreak},
      {kPasswordRequest, false, kErrProtocol},
      {withBcc("\x02"
               "1(2)\x04"s),
       false, kErrProtocol},
      {kAckMsg, false, kErrProtocol},
  };
  for (const Row& r : rows) {
    ScriptedChannel c;
    c.preload({r.answer});
    IecLink l(c, settings, nullptr);
    l.setBusy(true);
    std::string message;
    EXPECT_EQ(l.receiveReadout(65536, message), r.ok) << formatCommText(r.answer, 2);
    EXPECT_EQ(l.lastError(), r.error) << formatCommText(r.answer, 2);
    if (r.ok) {
      EXPECT_EQ(message, r.answer.substr(0, r.answer.size() - 1));
    }
    EXPECT_EQ(l.receiveLimit(), IecLink::kDefaultReceiveLimit);
  }
}

TEST_F(Link, ReadoutLongerThanOneBufferUsesTheGivenLimit) {
  std::string body = "\x02";
  for (int i = 0; i < 40; ++i) body += "1.8." + std::to_string(i) + "(000000.0*kWh)\r\n";
  const std::string msg = withBcc(body + "!\r\n\x03");
  for (size_t at = 0; at < msg.size(); at += 256) ch.preload({msg.substr(at, 256)});
  std::string message;
  ASSERT_TRUE(link.receiveReadout(65536, message));
  EXPECT_EQ(message.size(), msg.size() - 1);
  EXPECT_EQ(events.groups.size(), 40u);
}

TEST_F(Link, ReceiveLimitIsBackToItsDefaultWhenThePortFailsPartWay) {
  ch.preload(
      {"\x02"
       "1.8.0(0012"s,
       "34.5*kWh)\r\n"s});
  ch.readsBeforeFailure = 1;
  std::string message;
  EXPECT_THROW(link.receiveReadout(65536, message), zr::com::ComError);
  EXPECT_EQ(link.receiveLimit(), IecLink::kDefaultReceiveLimit);
}
