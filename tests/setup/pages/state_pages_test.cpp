// Status words, relay control and prepayment registers through the real exchange against
// the simulated meter.
#include <gtest/gtest.h>

#include "core/setup_error.h"
#include "core/setup_pages.h"
#include "page_fixture.h"

namespace zr::setup::pagetest {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class Status : public PageTest {
 protected:
  // The grid without its designed empty first row.
  Rows gridRows() {
    Rows out;
    for (size_t i = 1; i < tab.grid().size(); ++i) out.push_back(tab.grid().row(i));
    return out;
  }
  StatusPage tab{form, page, *exchange, ui};
};

TEST_F(Status, EachWordListsItsKnownBitsInOrder) {
  struct Case {
    const char* button;
    uint16_t di;
    uint8_t status;
    Rows rows;
  };
  const Case cases[] = {
      {"BitBtn16",
       0xC020,
       0x00,
       {{"3.6V Battery Alarm", "Normal"}, {"Active power", "Positive"}, {"Reactive power", "Positive"}}},
      {"BitBtn16",
       0xC020,
       0x34,
       {{"3.6V Battery Alarm", "Owe"}, {"Active power", "Reverse"}, {"Reactive power", "Reverse"}}},
      {"BitBtn19",
       0xC021,
       0xFF,
       {{"Illegal out-of-the-box state", "Out"},
        {"Open the top cover state", "Open"},
        {"Active power", "Positive"},
        {"Lower voltage assessment", "not enough"},
        {"Maximum voltage assessment", "Overload"},
        {"Remaining electricity", "Warning"},
        {"Overload alarm", "Overload"}}},
      {"BitBtn26",
       0xC026,
       0x01,
       {{"Last operation", "Relay on"},
        {"Relay on failure", "No"},
        {"Relay off failure", "No"},
        {"Export status", "No electricity"},
        {"Invasive phase", "No"},
        {"Ultra credit battery trip", "No"}}},
  };
  for (const Case& c : cases) {
    tab.BitBtn29Click();
    tab.grid().append({"", ""});
    meter.setValue(c.di, {c.status});
    tab.click(c.button);
    EXPECT_EQ(gridRows(), c.rows) << std::hex << c.di << " " << int(c.status);
    EXPECT_EQ(lastRequest().data, (Bytes{static_cast<uint8_t>(c.di & 0xFF), 0xC0}));
  }
  EXPECT_EQ(messages(), std::vector<std::string>(std::size(cases), "Operate successful!!"));
}

TEST_F(Status, RepeatedReadsAppendUntilCleared) {
  meter.setValue(0xC020, {0x00});
  tab.click("BitBtn16");
  tab.click("BitBtn16");
  EXPECT_EQ(tab.grid().size(), 7u);
  tab.BitBtn29Click();
  EXPECT_EQ(tab.grid().size(), 0u);
}

TEST_F(Status, ARefusedOrEmptyReplyAddsNoRow) {
  meter.setValue(0xC020, {0x00});
  meter.setFaults({.refuseDi = 0xC020});
  tab.click("BitBtn16");
  meter.setFaults({});
  meter.setValue(0xC021, {});  // echoes the identifier without the status byte
  tab.click("BitBtn19");
  EXPECT_EQ(tab.grid().size(), 1u);
  EXPECT_EQ(messages(), (std::vector<std::string>(2, "Communication failed!!")));
}

TEST_F(Status, RemoteStatusReadsStillOpenTheLocalPort) {
  meter.setValue(0xC020, {0x00});
  goRemote();
  form.port = "/dev/nonexistent-port";
  tab.click("BitBtn16");
  EXPECT_EQ(warnings(), std::vector<std::string>{"Serial port open failed"});
  EXPECT_EQ(meter.requestCount(), 0u);
}

TEST_F(Status, RelayCommandsSwitchTheRelayTheStatusWordShows) {
  tab.click("BitBtn27");
  EXPECT_EQ(lastRequest().wire, (Bytes{0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x04, 0x06, 0x6F, 0xF3, 0x33,
                                       0x37, 0xB5, 0x64, 0x28, 0x16}));
  EXPECT_EQ(meter.value(0xC026), Bytes{0x00});
  tab.click("BitBtn28");
  EXPECT_EQ(lastRequest().data, setData(0x3D, 0xC0, {}));
  EXPECT_EQ(meter.value(0xC026), Bytes{0x09});
  meter.setFaults({.refuseDi = 0xC03D});
  tab.click("BitBtn28");
  EXPECT_EQ(messages(), (std::vector<std::string>{"Operate successful!!", "Operate successful!!", "Operate failed!!"}));
}

TEST_F(Status, RelayCommandsCheckThePasswordFirst) {
  form.password = " 31820 ";
  EXPECT_THROW(tab.click("BitBtn28"), SetupError);
  EXPECT_EQ(meter.requestCount(), 0u);
  EXPECT_EQ(ui.events, std::vector<std::string>{"enable BitBtn28"});
}

TEST_F(Status, TheOpenBoxClearSendsFiveBytesAndWantsControl92) {
  meter.setValue(0xC021, {0x01});
  tab.click("BitBtn31");
  EXPECT_EQ(lastRequest().wire, (Bytes{0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x12, 0x05, 0x33, 0x37, 0xB5,
                                       0x64, 0x34, 0x07, 0x16}));
  EXPECT_EQ(meter.value(0xC021), Bytes{0x00});
  meter.setHandler(0x12, [](const sim::Request&) { return std::optional<std::pair<uint8_t, Bytes>>({0x84, {}}); });
  tab.click("BitBtn31");
  EXPECT_EQ(messages(), (std::vector<std::string>{"Operate successful!!", "Communication failed!!"}));
}

// ---- Prepayment registers --------------------------------------------------------------

class Prepayment : public PageTest {
 protected:
  PrepaymentPage tab{form, page, *exchange, ui};
};

TEST_F(Prepayment, ReadsShowTheRegistersDigits) {
  struct Case {
    const char* button;
    uint16_t di;
    Bytes value;
    const char* field;
    const char* shown;
  };
  const Case cases[] = {
      {"BitBtn30", 0x9F1F, {0x50, 0x34, 0x12, 0x00}, "MaskEdit1", "001234.50"},
      {"BitBtn35", 0x9F20, {0x50, 0x00}, "MaskEdit2", "0050"},
      {"BitBtn37", 0x9F22, {0x10, 0x00}, "MaskEdit3", "0010"},
      {"BitBtn39", 0x9F23, {0x50, 0x34, 0x12, 0x00}, "MaskEdit4", "001234.50"},
      {"BitBtn39", 0x9F23, {0x50, 0x34, 0x12, 0x80}, "MaskEdit4", "-01234.50"},
      // The top byte's digits stay part of a negative value.
      {"BitBtn39", 0x9F23, {0x50, 0x34, 0x12, 0x81}, "MaskEdit4", "-11234.50"},
      {"BitBtn39", 0x9F23, {0x50, 0x34, 0x12, 0x95}, "MaskEdit4", "-151234.50"},
      {"BitBtn41", 0x9F21, {0x05}, "MaskEdit5", "05"},
  };
  for (const Case& c : cases) {
    meter.setValue(c.di, c.value);
    tab.click(c.button);
    EXPECT_EQ(page.text(c.field), c.shown) << c.shown;
  }
  EXPECT_EQ(messages(), std::vector<std::string>(std::size(cases), "Operate successful!!"));
}

TEST_F(Prepayment, SetsTakeTheirDigitsByPosition) {
  struct Case {
    const char* button;
    const char* field;
    const char* text;
    Bytes data;
  };
  const Case cases[] = {
      {"BitBtn32", "MaskEdit1", "000125.50", setData(0x1F, 0x9F, {0x50, 0x25, 0x01, 0x00})},
      {"BitBtn36", "MaskEdit2", "0050", setData(0x20, 0x9F, {0x50, 0x00})},
      {"BitBtn38", "MaskEdit3", "0030", setData(0x22, 0x9F, {0x30, 0x00})},
      {"BitBtn42", "MaskEdit5", " 5", setData(0x21, 0x9F, {0x00})},
  };
  for (const Case& c : cases) {
    page.setText(c.field, c.text);
    tab.click(c.button);
    EXPECT_EQ(lastRequest().data, c.data) << c.text;
    EXPECT_EQ(page.text(c.field), c.text);
  }
}

TEST_F(Prepayment, AnEmptyEditEndsASetSilently) {
  form.port = "/dev/nonexistent-port";
  tab.click("BitBtn32");
  EXPECT_TRUE(ui.events.empty());
  EXPECT_EQ(meter.requestCount(), 0u);
}

TEST_F(Prepayment, ARefusedReadLeavesTheEditsText) {
  meter.setValue(0x9F1F, {0x50, 0x34, 0x12, 0x00});
  meter.setFaults({.refuseDi = 0x9F1F});
  page.setText("MaskEdit1", "000001.00");
  tab.click("BitBtn30");
  EXPECT_EQ(page.text("MaskEdit1"), "000001.00");
  EXPECT_EQ(messages(), std::vector<std::string>{"Communication failed!!"});
}

TEST_F(Prepayment, ReadsOpenTheLocalPortWhateverTheChannel) {
  meter.setValue(0x9F21, {0x05});
  goRemote();
  tab.click("BitBtn41");  // the local port opens; the exchange goes remote
  EXPECT_EQ(page.text("MaskEdit5"), "05");
  EXPECT_FALSE(portOpen());
  form.port = "/dev/nonexistent-port";
  tab.click("BitBtn41");
  EXPECT_EQ(warnings(), std::vector<std::string>{"Serial port open failed"});
}

}  // namespace
}  // namespace zr::setup::pagetest
