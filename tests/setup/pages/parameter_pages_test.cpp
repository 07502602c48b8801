// Tariff periods, clock and display, limits and constants, meter identity: each handler
// through the real exchange against the simulated meter.
#include <gtest/gtest.h>

#include "core/setup_error.h"
#include "core/setup_pages.h"
#include "page_fixture.h"

namespace zr::setup::pagetest {
namespace {

// ---- Tariff periods --------------------------------------------------------------------

class Tariff : public PageTest {
 protected:
  TariffPage tab{form, page, *exchange, ui};
};

TEST_F(Tariff, ReadWithNoBoxTickedOnlyOpensAndClosesThePort) {
  tab.BitBtn33Click();
  EXPECT_EQ(meter.requestCount(), 0u);
  EXPECT_EQ(messages(), std::vector<std::string>{"Read complete!"});
  EXPECT_FALSE(portOpen());
  EXPECT_TRUE(ui.events.back() == "enable BitBtn33");
}

TEST_F(Tariff, TheLowerFirstBoxReadsPeriodTwoIntoItsEdit) {
  meter.setValue(0xC332, {0x02, 0x30, 0x08});
  page.setChecked("CheckBox6", true);
  tab.BitBtn33Click();
  ASSERT_EQ(meter.requestCount(), 1u);
  EXPECT_EQ(lastRequest().wire,
            (Bytes{0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x01, 0x02, 0x65, 0xF6, 0x97, 0x16}));
  EXPECT_EQ(page.text("LabeledEdit2"), "083002");
  EXPECT_FALSE(page.isChecked("CheckBox6"));
  EXPECT_EQ(ui.only("disable"), (std::vector<std::string>{"BitBtn33", "LabeledEdit2"}));
  EXPECT_EQ(messages(), std::vector<std::string>{"Read complete!"});
}

TEST_F(Tariff, AFailedPeriodStopsTheReadAndLeavesItAndTheRestTicked) {
  for (int k = 1; k <= 10; ++k) meter.setValue(static_cast<uint16_t>(0xC330 + k), {0x01, 0x00, 0x08});
  meter.setFaults({.silentDi = 0xC333});
  page.setChecked("CheckBox11", true);
  tab.CheckBox11Click();
  tab.BitBtn33Click();
  EXPECT_EQ(warnings(), std::vector<std::string>{"Tariff No 3 :read failed!!"});
  EXPECT_EQ(messages(), std::vector<std::string>{"Read complete!"});
  EXPECT_EQ(ui.events.back(), "enable BitBtn33");
  EXPECT_FALSE(page.isChecked("CheckBox1"));  // period 1
  EXPECT_FALSE(page.isChecked("CheckBox6"));  // period 2
  for (const char* box : {"CheckBox2", "CheckBox7", "CheckBox3", "CheckBox10"}) EXPECT_TRUE(page.isChecked(box)) << box;
  EXPECT_EQ(page.text("LabeledEdit1"), "080001");
  EXPECT_EQ(page.text("LabeledEdit3"), "");
}

TEST_F(Tariff, AReplyToAnotherPeriodIsARead_Failure) {
  // A meter that answers every read with period 1's identifier.
  meter.setHandler(0x01, [](const sim::Request&) {
    return std::optional<std::pair<uint8_t, Bytes>>({0x81, {0x31, 0xC3, 0x01, 0x00, 0x08}});
  });
  page.setChecked("CheckBox6", true);
  tab.BitBtn33Click();
  EXPECT_EQ(warnings(), std::vector<std::string>{"Tariff No 2 :read failed!!"});
  EXPECT_EQ(page.text("LabeledEdit2"), "");
  EXPECT_TRUE(page.isChecked("CheckBox6"));
}

TEST_F(Tariff, SetFillsTheEditToSixDigitsAndTheMeterKeepsThePeriod) {
  page.setChecked("CheckBox1", true);
  page.setText("LabeledEdit1", "0830");
  tab.BitBtn34Click();
  EXPECT_EQ(page.text("LabeledEdit1"), "000830");
  EXPECT_EQ(lastRequest().data, setData(0x31, 0xC3, {0x30, 0x08, 0x00}));
  EXPECT_EQ(messages(), std::vector<std::string>{"Set complete!"});
  EXPECT_FALSE(page.isChecked("CheckBox1"));
  page.setChecked("CheckBox1", true);
  page.setText("LabeledEdit1", "");
  tab.BitBtn33Click();
  EXPECT_EQ(page.text("LabeledEdit1"), "000830");
}

TEST_F(Tariff, ARefusedSetIsAPlainMessageBeforeSetComplete) {
  meter.setFaults({.refuseDi = 0xC331});
  page.setChecked("CheckBox1", true);
  page.setChecked("CheckBox6", true);
  tab.BitBtn34Click();
  EXPECT_EQ(messages(), (std::vector<std::string>{"Tariff No 1 :Set failed!!", "Set complete!"}));
  EXPECT_TRUE(warnings().empty());
  EXPECT_EQ(meter.requestCount(), 1u);
  EXPECT_TRUE(page.isChecked("CheckBox6"));
}

TEST_F(Tariff, SelectAllEnablesAndDisablesEveryEdit) {
  page.setChecked("CheckBox11", true);
  tab.CheckBox11Click();
  EXPECT_EQ(ui.only("enable").size(), 10u);
  page.setChecked("CheckBox11", false);
  tab.CheckBox11Click();
  EXPECT_EQ(ui.only("disable").size(), 10u);
  EXPECT_FALSE(page.isChecked("CheckBox10"));
}

TEST_F(Tariff, AnEmptyMeterIdGoesOutAsTwelveZeros) {
  form.meterId = "";
  page.setChecked("CheckBox1", true);
  tab.BitBtn33Click();
  ASSERT_EQ(meter.requestCount(), 1u);
  EXPECT_EQ(lastRequest().address, (std::array<uint8_t, 6>{}));
  EXPECT_EQ(warnings(), std::vector<std::string>{"Tariff No 1 :read failed!!"});
}

// ---- Clock and display -----------------------------------------------------------------

class Clock : public PageTest {
 protected:
  ClockPage tab{form, page, *exchange, ui};
};

TEST_F(Clock, SetDateSendsWeekDayMonthYear) {
  page.setText("DateTimePicker1", "2026-12-08");
  page.setText("Edit2", "2");
  tab.click("BitBtn5");
  EXPECT_EQ(lastRequest().wire, (Bytes{0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x04, 0x0A, 0x43,
                                       0xF3, 0x33, 0x37, 0xB5, 0x64, 0x35, 0x3B, 0x45, 0x59, 0x0E, 0x16}));
  EXPECT_EQ(messages(), std::vector<std::string>{"Operate successful!!"});
}

TEST_F(Clock, SetsSendTheirValueBytesLowestFirst) {
  struct Case {
    const char* name;
    const char* button;
    std::vector<std::pair<const char*, const char*>> fields;
    Bytes expected;
  };
  const Case cases[] = {
      {"time", "BitBtn7", {{"DateTimePicker2", "13:05:09"}}, setData(0x11, 0xC0, {0x09, 0x05, 0x13})},
      {"auto reading", "BitBtn9", {{"Edit3", "15"}, {"Edit4", "08"}}, setData(0x17, 0xC1, {0x08, 0x15})},
      {"scroll empty", "BitBtn13", {{"scroll", ""}}, setData(0x13, 0xC1, {0x00})},
      {"scroll 1x", "BitBtn13", {{"scroll", "1x"}}, setData(0x13, 0xC1, {0x00})},
      {"scroll 7", "BitBtn13", {{"scroll", "7"}}, setData(0x13, 0xC1, {0x07})},
      {"sliding", "BitBtn11", {{"Edit6", "15"}}, setData(0x12, 0xC1, {0x15})},
  };
  for (const Case& c : cases) {
    for (auto [name, text] : c.fields) page.setText(name, text);
    tab.click(c.button);
    EXPECT_EQ(lastRequest().data, c.expected) << c.name;
  }
  EXPECT_EQ(messages(), std::vector<std::string>(std::size(cases), "Operate successful!!"));
}

TEST_F(Clock, ReadsShowTheReplyBytesAsHexDigits) {
  meter.setValue(0xC117, {0x08, 0x15});
  meter.setValue(0xC112, {0x0A});
  meter.setValue(0xC010, {0x03, 0x08, 0x12, 0x26});
  meter.setValue(0xC011, {0x09, 0x05, 0x13});
  tab.click("BitBtn8");
  tab.click("BitBtn10");
  tab.click("BitBtn4");
  tab.click("BitBtn6");
  EXPECT_EQ(page.text("Edit4"), "08");
  EXPECT_EQ(page.text("Edit3"), "15");
  EXPECT_EQ(page.text("Edit6"), "0A");
  EXPECT_EQ(page.text("DateTimePicker1"), "2026-12-08");
  EXPECT_EQ(page.text("Edit2"), "03");
  EXPECT_EQ(page.text("DateTimePicker2"), "13:05:09");
  EXPECT_EQ(messages(), std::vector<std::string>(4, "Operate successful!!"));
  EXPECT_EQ(meter.requests()[0].data, (Bytes{0x17, 0xC1}));
}

TEST_F(Clock, ADateOrTimeOutOfRangeIsAReadFailureAndChangesNoField) {
  struct Case {
    uint16_t di;
    Bytes value;
  };
  const Case cases[] = {
      {0xC010, {0x03, 0x08, 0x13, 0x26}},  // month 13
      {0xC010, {0x03, 0x32, 0x12, 0x26}},  // day 32
      {0xC010, {0x03, 0x30, 0x02, 0x26}},  // 30 February
      {0xC010, {0x03, 0x00, 0x12, 0x26}},  // day 0
      {0xC010, {0x03, 0x1A, 0x12, 0x26}},  // not BCD
      {0xC010, {0x07, 0x08, 0x12, 0x26}},  // weekday 7
      {0xC010, {0x03, 0x08, 0x12}},        // a byte short
      {0xC011, {0x00, 0x00, 0x24}},        // 24 h
      {0xC011, {0x00, 0x60, 0x10}},        // 60 min
      {0xC011, {0x5F, 0x00, 0x10}},        // not BCD
  };
  page.setText("DateTimePicker1", "2020-01-01");
  page.setText("Edit2", "04");
  page.setText("DateTimePicker2", "01:02:03");
  for (const Case& c : cases) {
    meter.setValue(c.di, c.value);
    c.di == 0xC010 ? tab.click("BitBtn4") : tab.click("BitBtn6");
  }
  EXPECT_EQ(messages(), std::vector<std::string>(std::size(cases), "Communication failed!!"));
  EXPECT_EQ(page.text("DateTimePicker1"), "2020-01-01");
  EXPECT_EQ(page.text("Edit2"), "04");
  EXPECT_EQ(page.text("DateTimePicker2"), "01:02:03");
}

TEST_F(Clock, ARefusedReadChangesNoField) {
  meter.setValue(0xC113, {0x05});
  meter.setFaults({.refuseDi = 0xC113});
  page.setText("scroll", "09");
  tab.click("BitBtn12");
  EXPECT_EQ(messages(), std::vector<std::string>{"Communication failed!!"});
  EXPECT_EQ(page.text("scroll"), "09");
}

TEST_F(Clock, ChecksStopAHandlerBeforeThePortAndLeaveTheButtonEnabled) {
  form.meterId = "  ";
  EXPECT_THROW(
      {
        try {
          tab.click("BitBtn12");
        } catch (const SetupError& e) {
          EXPECT_STREQ(e.what(), "Please input Meter ID !");
          throw;
        }
      },
      SetupError);
  form.meterId = "12345";
  form.password = "31820";
  EXPECT_THROW(tab.click("BitBtn13"), SetupError);
  EXPECT_EQ(meter.requestCount(), 0u);
  EXPECT_EQ(ui.events, (std::vector<std::string>{"enable BitBtn12", "enable BitBtn13"}));
}

TEST_F(Clock, RemoteReadsNeverTouchTheSerialPort) {
  meter.setValue(0xC113, {0x05});
  goRemote();
  form.port = "/dev/nonexistent-port";
  tab.click("BitBtn12");
  EXPECT_EQ(page.text("scroll"), "05");
  EXPECT_TRUE(warnings().empty());
}

TEST_F(Clock, AMeterIdWithBlanksAddressesTheMeter) {
  meter.setValue(0xC113, {0x05});
  form.meterId = " 12345 ";
  tab.click("BitBtn12");
  EXPECT_EQ(page.text("scroll"), "05");
}

// ---- Limits and constants --------------------------------------------------------------

class Limits : public PageTest {
 protected:
  LimitsPage tab{form, page, *exchange, ui};
};

TEST_F(Limits, SetsSendTheLayoutsValueBytes) {
  struct Case {
    const char* button;
    const char* field;
    const char* text;
    Bytes expected;
  };
  const Case cases[] = {
      {"BitBtn15", "Edit5", "0220.00", setData(0x1C, 0xC1, {0x00, 0x20, 0x02})},
      {"BitBtn18", "Edit7", "02x0.00", setData(0x1B, 0xC1, {0x00, 0x00, 0x02})},
      {"BitBtn21", "Edit8", "12.34", setData(0x34, 0xB6, {0x34, 0x12})},
      {"BitBtn23", "Edit9", "003200", setData(0x30, 0xC0, {0x00, 0x32, 0x00})},
      {"BitBtn25", "Edit10", "001600", setData(0x31, 0xC0, {0x00, 0x16, 0x00})},
      {"BitBtn46", "Edit14", "0060", setData(0x34, 0xB6, {0x60, 0x00})},
  };
  for (const Case& c : cases) {
    page.setText(c.field, c.text);
    tab.click(c.button);
    EXPECT_EQ(lastRequest().data, c.expected) << c.text;
  }
  EXPECT_EQ(messages(), std::vector<std::string>(std::size(cases), "Operate successful!!"));
}

TEST_F(Limits, AFailedFormatCheckDoesNothingButItsMessage) {
  struct Case {
    const char* button;
    const char* field;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"BitBtn15", "Edit5", "220.00", "Voltage value format error!"},
      {"BitBtn15", "Edit5", "0220,00", "Voltage value format error!"},
      {"BitBtn18", "Edit7", "02200.0", "Voltage value format error!"},
      {"BitBtn21", "Edit8", "1.234", "Active power ceiling value format error!"},
      {"BitBtn23", "Edit9", "3200", "Active pulse constant value format error!"},
      {"BitBtn25", "Edit10", "3200", "Reactive pulse constant value format error!"},
      {"BitBtn46", "Edit14", "12.3", "Active power ceiling value format error!"},
      {"BitBtn46", "Edit14", "060", "Active power ceiling value format error!"},
      {"BitBtn46", "Edit14", "00600", "Active power ceiling value format error!"},
  };
  form.port = "/dev/nonexistent-port";  // an attempt to open it would warn
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    page.setText(c.field, c.text);
    tab.click(c.button);
    expected.push_back(std::string("message ") + c.message);
  }
  EXPECT_EQ(ui.events, expected);  // no button, no port, no check
  EXPECT_EQ(meter.requestCount(), 0u);
}

TEST_F(Limits, ReadsJoinTheDigitsWithTheLayoutsPoint) {
  meter.setValue(0xC11B, {0x50, 0x34, 0x02});
  meter.setValue(0xB634, {0x50, 0x07});
  tab.click("BitBtn17");
  tab.click("BitBtn20");
  tab.click("BitBtn40");
  EXPECT_EQ(page.text("Edit7"), "0234.50");
  EXPECT_EQ(page.text("Edit8"), "07.50");
  EXPECT_EQ(page.text("Edit14"), "0750");
}

TEST_F(Limits, ThePowerCeilingOpensTheLocalPortEvenForRemote) {
  meter.setValue(0xB634, {0x50, 0x07});
  meter.setValue(0xC11C, {0x00, 0x64, 0x02});
  goRemote();
  form.port = "/dev/nonexistent-port";
  tab.click("BitBtn20");
  EXPECT_EQ(warnings(), std::vector<std::string>{"Serial port open failed"});
  EXPECT_EQ(meter.requestCount(), 0u);
  tab.click("BitBtn14");  // the voltage read does not touch the port
  EXPECT_EQ(page.text("Edit5"), "0264.00");
  EXPECT_EQ(warnings().size(), 1u);
}

TEST_F(Limits, TheEduIdIsFilledToTwelveDigitsBeforeItIsSent) {
  page.setText("Edit15", "1");
  tab.click("BitBtn48");
  EXPECT_EQ(page.text("Edit15"), "000000000001");
  EXPECT_EQ(lastRequest().data, setData(0x11, 0xD2, {0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
  meter.setValue(0xD211, {0x56, 0x34, 0x12, 0x90, 0x78, 0x00});
  tab.click("BitBtn47");
  EXPECT_EQ(page.text("Edit15"), "007890123456");
}

TEST_F(Limits, AWrongPasswordIsRefusedByTheMeter) {
  form.password = "123456";
  page.setText("Edit5", "0220.00");
  tab.click("BitBtn15");
  EXPECT_EQ(messages(), std::vector<std::string>{"Communication failed!!"});
  EXPECT_FALSE(meter.value(0xC11C).has_value());
}

// ---- Meter identity --------------------------------------------------------------------

class Identity : public PageTest {
 protected:
  void SetUp() override { meter.setBroadcastReplyAddress("999999999999"); }
  IdentityHandlers tab{form, page, *exchange, ui};
};

TEST_F(Identity, SetIdSendsTheNewAddressToTheBroadcastAddress) {
  form.meterId = " 12345";
  tab.click("Button1");
  EXPECT_EQ(lastRequest().wire, (Bytes{0x68, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x68, 0x0A, 0x06, 0x78, 0x56, 0x34,
                                       0x33, 0x33, 0x33, 0x11, 0x16}));
  EXPECT_EQ(messages(), std::vector<std::string>{"Operate successful!!"});
  EXPECT_EQ(form.meterId, " 12345");
}

TEST_F(Identity, SetIdWithAnEmptyFieldSendsSixZeroBytes) {
  form.meterId = "";
  tab.click("Button1");
  EXPECT_EQ(lastRequest().data, Bytes(6, 0x00));
  EXPECT_EQ(meter.address(), "000000000000");
}

TEST_F(Identity, ReadIdPutsTheMeterNumberIntoTheField) {
  form.meterId = "";
  tab.click("Button2");
  EXPECT_EQ(lastRequest().wire,
            (Bytes{0x68, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x68, 0x01, 0x02, 0x65, 0xF3, 0xC1, 0x16}));
  EXPECT_EQ(form.meterId, "000000012345");
  EXPECT_EQ(messages(), std::vector<std::string>{"Operate successful!!"});
}

TEST_F(Identity, AFailedReadIdKeepsThePreviousMeterId) {
  meter.setFaults({.silent = true});
  form.meterId = "000000012345";
  tab.click("Button2");
  EXPECT_EQ(form.meterId, "000000012345");
  EXPECT_EQ(messages(), std::vector<std::string>{"Communication failed!!"});
}

TEST_F(Identity, AnAnswerFromTheMetersOwnAddressIsNoAnswer) {
  meter.setBroadcastReplyAddress(std::nullopt);
  form.meterId = "777";
  tab.click("Button2");
  tab.click("Button1");
  EXPECT_EQ(form.meterId, "777");
  EXPECT_EQ(messages(), (std::vector<std::string>{"Communication failed!!", "Communication failed!!"}));
}

TEST_F(Identity, BothOpenTheLocalPortEvenForRemote) {
  goRemote();
  form.port = "/dev/nonexistent-port";
  tab.click("Button1");
  tab.click("Button2");
  EXPECT_EQ(warnings(), (std::vector<std::string>(2, "Serial port open failed")));
  EXPECT_EQ(meter.requestCount(), 0u);
  EXPECT_EQ(form.meterId, "12345");
}

}  // namespace
}  // namespace zr::setup::pagetest
