// The load profile reading and the class-1 interval through the real exchange against the
// simulated meter's 2880 records.
#include "core/load_profile.h"

#include <gtest/gtest.h>

#include "core/setup_error.h"
#include "core/setup_pages.h"
#include "page_fixture.h"

namespace zr::setup::pagetest {
namespace {

class Profile : public PageTest {
 protected:
  void SetUp() override {
    page.setText("Edit11", "1");
    page.setText("Edit12", "3");
  }
  std::vector<std::string> column(size_t c) {
    std::vector<std::string> out;
    for (size_t r = 0; r < tab.records().size(); ++r) out.push_back(tab.records().row(r)[c]);
    return out;
  }
  std::vector<std::string> logs() const { return ui.only("log"); }

  LoadProfilePage tab{form, page, *exchange, ui};
};

TEST_F(Profile, RecordNumbersOutsideTheTwoByteFieldAreOutOfRange) {
  const std::pair<const char*, const char*> ranges[] = {
      {"0", "3"}, {"-1", "3"}, {"65536", "65537"}, {"99999999999", "3"}, {"1", "65536"}, {"1", "4294967297"},
  };
  for (auto [first, last] : ranges) {
    page.setText("Edit11", first);
    page.setText("Edit12", last);
    tab.BitBtn43Click();
  }
  EXPECT_EQ(messages(), std::vector<std::string>(std::size(ranges), "The area is out of range!"));
  EXPECT_EQ(meter.requestCount(), 0u);
  EXPECT_FALSE(portOpen());
  EXPECT_EQ(ui.events.back(), "enable BitBtn43");
}

TEST_F(Profile, ARecordNumberThatIsNoIntegerRaisesTheConversionError) {
  page.setText("Edit12", "3x");
  EXPECT_THROW(tab.BitBtn43Click(), SetupError);
  EXPECT_EQ(ui.events.back(), "enable BitBtn43");
  EXPECT_EQ(meter.requestCount(), 0u);
}

TEST_F(Profile, ALastRecordBeforeTheFirstRebuildsTheListAndReadsNothing) {
  page.setText("Edit11", "5");
  page.setText("Edit12", "4");
  tab.BitBtn43Click();
  EXPECT_EQ(tab.records().columns().size(), 7u);
  EXPECT_EQ(tab.records().size(), 0u);
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(meter.requestCount(), 0u);
}

TEST_F(Profile, ThreeRecordsGiveThreeRowsAndNineLogLines) {
  tab.BitBtn43Click();
  EXPECT_EQ(column(0), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(tab.records().row(1),
            (std::vector<std::string>{"2", "12.01 00:15", "001000.50", "000200.10", "220.2", "005.2", ""}));
  const auto lines = logs();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "0001 tx: 68 45 23 01 00 00 00 68 01 04 43 04 34 33 EC 16");
  EXPECT_EQ(lines[1].substr(0, 9), "0001 rx: ");
  EXPECT_EQ(lines[2], "1201000000100025000500022201005100000000");
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(portOpen());
  EXPECT_EQ(meter.requests()[2].data, (Bytes{0x10, 0xD1, 0x03, 0x00}));
}

TEST_F(Profile, TheLastRecordTravelsAsTwoBinaryBytes) {
  page.setText("Edit11", "2880");
  page.setText("Edit12", "2880");
  tab.BitBtn43Click();
  EXPECT_EQ(lastRequest().wire,
            (Bytes{0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x01, 0x04, 0x43, 0x04, 0x73, 0x3E, 0x36, 0x16}));
  EXPECT_EQ(logs()[0].substr(0, 8), "0B40 tx:");
  EXPECT_EQ(column(1), std::vector<std::string>{"12.30 23:45"});
}

TEST_F(Profile, ADroppedRecordStopsTheReadingAndKeepsTheRowsBeforeIt) {
  page.setText("Edit12", "5");
  meter.setFaults({.silentRecord = 3});
  tab.BitBtn43Click();
  EXPECT_EQ(column(0), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(messages(), (std::vector<std::string>{"Return null!", "Reading is completed!"}));
  EXPECT_EQ(meter.requestCount(), 5u);  // two records, then three attempts
  EXPECT_FALSE(portOpen());
}

TEST_F(Profile, ARecordRefusedTwiceIsTakenOnTheThirdAttempt) {
  page.setText("Edit12", "1");
  meter.setFaults({.errorReplies = 2});
  tab.BitBtn43Click();
  EXPECT_EQ(column(0), std::vector<std::string>{"1"});
  EXPECT_EQ(logs().size(), 3u);  // one tx, one rx, the record
  EXPECT_EQ(meter.requestCount(), 3u);
}

TEST_F(Profile, AShortOrForeignReplyIsNoAnswer) {
  page.setText("Edit12", "1");
  meter.setHandler(0x01, [](const sim::Request& r) {
    Bytes data{r.data[0], r.data[1]};
    data.resize(21, 0x11);  // a byte short of a single-phase record
    return std::optional<std::pair<uint8_t, Bytes>>({0x81, data});
  });
  tab.BitBtn43Click();
  EXPECT_EQ(tab.records().size(), 0u);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Return null!", "Reading is completed!"}));
}

TEST_F(Profile, StopEndsTheReadingAfterTheRecordUnderWay) {
  page.setText("Edit12", "2880");
  ui.onPause = [&] {
    if (tab.records().size() == 2) tab.BitBtn44Click();
  };
  tab.BitBtn43Click();
  EXPECT_EQ(tab.records().size(), 2u);
  EXPECT_TRUE(messages().empty());
}

TEST_F(Profile, AHandlerStartedDuringAReadingLeavesItsPortOpen) {
  StatusPage other{form, page, *exchange, ui};
  meter.setValue(0xC020, {0x00});
  ui.onPause = [&] {
    if (tab.records().size() == 1) other.click("BitBtn16");  // the port is held by the reading
  };
  tab.BitBtn43Click();
  EXPECT_EQ(warnings(), std::vector<std::string>{"Serial port open failed"});
  EXPECT_EQ(column(0), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_FALSE(portOpen());
}

TEST_F(Profile, ThreePhaseRecordsHaveNineteenColumns) {
  meter.setThreePhaseProfile(true);
  tab.setThreePhase(true);
  page.setText("Edit12", "1");
  tab.BitBtn43Click();
  ASSERT_EQ(tab.records().size(), 1u);
  EXPECT_EQ(tab.records().row(0),
            (std::vector<std::string>{"1", "12.01 00:00", "001000.25", "220.1", "220.4", "220.7", "005.1", "005.2",
                                      "005.3", "01.11", "01.12", "01.13", "00.21", "00.22", "00.23", "0.981", "0.982",
                                      "0.983", "50.00"}));
  EXPECT_EQ(logs()[2].size(), 80u);
}

TEST_F(Profile, RecordCellsFollowTheSignRuleAndTheFieldForms) {
  // Reply data as they come: identifier, head, energy, then 2-byte values lowest first.
  std::vector<uint8_t> data{0x10, 0xD1, 0x45, 0x13, 0x17, 0x05, 0x67, 0x45, 0x23, 0x95};
  for (int k = 0; k < 16; ++k) data.insert(data.end(), {0x00, 0x00});
  data[34 + 0] = 0x87;  // power factor A: D34 = 0x87, D35 = 0x09
  data[34 + 1] = 0x09;
  const std::string three = LoadProfilePage::recordText(data, true);
  const auto cells = LoadProfilePage::recordCells(three, true);
  EXPECT_EQ(cells[0], "05.17 13:45");
  EXPECT_EQ(cells[1], "-152345.67");
  EXPECT_EQ(cells[14], "0.987");
  data[9] = 0x9A;
  EXPECT_EQ(LoadProfilePage::recordCells(LoadProfilePage::recordText(data, true), true)[1], "9A2345.67");
  // Single phase: the reactive energy is D13 D12 D11 D10.
  std::vector<uint8_t> single{0x10, 0xD1, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x32, 0x54, 0x81, 0x15, 0x22, 0x52, 0x00};
  single.resize(22, 0x00);
  const std::string text = LoadProfilePage::recordText(single, false);
  EXPECT_EQ(text.substr(16, 8), "32108154");  // as the record text holds it
  const auto cells1 = LoadProfilePage::recordCells(text, false);
  EXPECT_EQ(cells1[2], "-015432.10");
  EXPECT_EQ(cells1[3], "221.5");
  EXPECT_EQ(cells1[4], "005.2");
}

TEST_F(Profile, TheIntervalTravelsAsTwoDigitsUpToSixty) {
  const std::pair<const char*, uint8_t> sent[] = {{"60", 0x60}, {"5", 0x05}, {"15", 0x15}, {"", 0x00}};
  for (auto [text, byte] : sent) {
    page.setText("Edit13", text);
    tab.BitBtn45Click();
    EXPECT_EQ(lastRequest().data, setData(0x10, 0xC5, {byte})) << text;
  }
  EXPECT_EQ(messages(), std::vector<std::string>(std::size(sent), "Operate successful!!"));
  const auto lines = logs();
  ASSERT_EQ(lines.size(), 8u);  // request and reply per set
  EXPECT_EQ(lines[4], "68 45 23 01 00 00 00 68 04 07 43 F8 33 37 B5 64 48 4A 16");
}

TEST_F(Profile, AnIntervalAboveSixtyOrWithASignSendsNothing) {
  page.setText("Edit13", "61");
  tab.BitBtn45Click();
  EXPECT_EQ(messages(), std::vector<std::string>{"Interval < 60"});
  for (const char* text : {"-5", "+5", " 5", "5 "}) {
    page.setText("Edit13", text);
    EXPECT_THROW(tab.BitBtn45Click(), SetupError) << text;
  }
  EXPECT_EQ(meter.requestCount(), 0u);
}

}  // namespace
}  // namespace zr::setup::pagetest
