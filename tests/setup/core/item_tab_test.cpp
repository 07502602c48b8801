#include "core/item_tab.h"

#include <gtest/gtest.h>

#include "core/setup_error.h"
#include "fake_window.h"

namespace zr::setup {
namespace {

using Events = std::vector<std::string>;

// The tab over the built sample database, a recorded window and a scripted meter.
struct Tab {
  ItemStore store{kItemConnectionString, ZR_TEST_BIN_DIR};
  FakeForm form;
  FakeUi ui;
  FakeMeter meter;
  ItemTab tab{store, form, meter, ui};

  Tab() { tab.create(); }
  void addRow(const std::string& caption, bool checked) { tab.results().append({caption, "", "", checked}); }
  std::vector<std::string> cells(size_t row) const {
    const ResultRow& r = const_cast<ItemTab&>(tab).results().row(row);
    return {r.value, r.unit, r.checked ? "ticked" : "clear"};
  }
};

TEST(ItemTabRead, FormatsGoodReadsClearsTheirBoxesAndClosesThePort) {
  Tab t;
  t.form.meterId = "  1 ";
  t.addRow("Total active energy", true);
  t.addRow("Voltage A", false);
  t.addRow("No such item", true);
  t.addRow("Meter's running status word", true);
  t.meter.replies = {{true, "00012345"}, {true, "03"}};
  t.tab.BitBtn1Click();

  EXPECT_EQ(t.meter.calls, (Events{"open /dev/ttyFAKE", "read 000000000001 9010", "read 000000000001 C020", "close"}));
  EXPECT_EQ(t.cells(0), (Events{"000123.45", "kWh", "clear"}));
  EXPECT_EQ(t.cells(1), (Events{"", "", "clear"}));
  EXPECT_EQ(t.cells(2), (Events{"Without this item", "Without this item", "ticked"}));
  EXPECT_EQ(t.cells(3), (Events{"Status:03 say:Relay and Forbid open and PA=PA", "", "clear"}));
  EXPECT_EQ(t.ui.events,
            (Events{"disable BitBtn1", "pause 200", "pause 200", "message Reading is completed!", "enable BitBtn1"}));
}

TEST(ItemTabRead, FailedReadStopsAtItsRowWithReturnNull) {
  Tab t;
  t.addRow("Total active energy", true);
  t.addRow("Time", true);
  t.addRow("Voltage A", true);
  t.meter.replies = {{true, "00000100"}, {false, "Return null!"}};
  t.tab.BitBtn1Click();

  EXPECT_EQ(t.cells(0), (Events{"000001.00", "kWh", "clear"}));
  EXPECT_EQ(t.cells(1), (Events{"Please wait...", "Please wait...", "ticked"}));
  EXPECT_EQ(t.cells(2), (Events{"", "", "ticked"}));
  EXPECT_EQ(t.meter.calls.back(), "close");
  EXPECT_EQ(t.ui.events, (Events{"disable BitBtn1", "pause 200", "message Return null!",
                                 "message Reading is completed!", "enable BitBtn1"}));
}

TEST(ItemTabRead, PortAndMeterIdFailuresTouchNoPortTheyDidNotOpen) {
  const struct {
    const char* what;
    bool openFails;
    bool local;
    const char* meterId;
    Events calls;
    Events events;
  } cases[] = {
      {"port held elsewhere",
       true,
       true,
       "1",
       {"open /dev/ttyFAKE"},
       {"warning Serial port open failed", "enable BitBtn1"}},
      {"no meter id", false, true, " ", {}, {"enable BitBtn1"}},
      {"remote channel", false, false, "1", {}, {"disable BitBtn1", "message Reading is completed!", "enable BitBtn1"}},
  };
  for (const auto& c : cases) {
    Tab t;
    t.meter.openFails = c.openFails;
    t.form.local = c.local;
    t.form.meterId = c.meterId;
    try {
      t.tab.BitBtn1Click();
    } catch (const SetupError& e) {
      EXPECT_STREQ(e.what(), "Please input Meter ID !") << c.what;
    }
    EXPECT_EQ(t.meter.calls, c.calls) << c.what;
    EXPECT_EQ(t.ui.events, c.events) << c.what;
  }
}

TEST(ItemTabRead, RowsClearedDuringAnExchangeEndTheReadingQuietly) {
  for (bool refill : {false, true}) {
    Tab t;
    t.addRow("Total active energy", true);
    t.addRow("Time", true);
    t.meter.replies = {{true, "00012345"}, {true, "235959"}};
    t.meter.duringRead = [&] {
      t.tab.BitBtn3Click();
      if (refill) t.addRow("Voltage A", true);
    };
    t.tab.BitBtn1Click();
    EXPECT_EQ(t.meter.calls, (Events{"open /dev/ttyFAKE", "read 000000000001 9010", "close"})) << refill;
    EXPECT_EQ(t.ui.events, (Events{"disable BitBtn1", "enable BitBtn1"})) << refill;
    if (refill) {
      EXPECT_EQ(t.cells(0), (Events{"", "", "ticked"}));
    }
  }
}

TEST(ItemTabRead, DatabaseErrorStillClosesThePortAndEnablesTheButton) {
  FakeForm form;
  FakeUi ui;
  FakeMeter meter;
  ItemStore missing(kItemConnectionString, "/nonexistent-dir");
  ItemTab tab(missing, form, meter, ui);
  EXPECT_THROW(tab.create(), SetupError);
  // The list knows its columns even though the tree could not be read.
  ASSERT_EQ(tab.results().columns().size(), 3u);
  EXPECT_EQ(tab.results().columns()[0].title, "Item");
  EXPECT_EQ(tab.results().columns()[2].width, 130);
  EXPECT_EQ(tab.tree().size(), 0u);

  tab.results().append({"Total active energy", "", "", true});
  EXPECT_THROW(tab.BitBtn1Click(), SetupError);
  EXPECT_EQ(meter.calls, (Events{"open /dev/ttyFAKE", "close"}));
  EXPECT_EQ(ui.events.back(), "enable BitBtn1");
}

TEST(ItemTabSelect, TickedBranchGivesItsLeavesEveryTimeAndTicksAllRows) {
  Tab t;
  ItemTree& tree = t.tab.tree();
  const int clock = tree.topLevel()[3];
  ASSERT_EQ(tree.text(clock), "Clock");
  tree.SetNodeChecked(clock, true);
  t.tab.TreeView1MouseUp(clock);
  t.addRow("Kept", false);
  t.tab.BitBtn2Click();
  t.tab.BitBtn2Click();
  std::vector<std::string> captions;
  for (size_t i = 0; i < t.tab.results().size(); ++i) {
    captions.push_back(t.tab.results().row(i).caption);
    EXPECT_TRUE(t.tab.results().row(i).checked);
  }
  EXPECT_EQ(captions, (Events{"Kept", "Date and week", "Time", "Date and week", "Time"}));

  tree.SetNodeChecked(clock, false);
  t.tab.TreeView1MouseUp(clock);
  EXPECT_TRUE(tree.checkedLeafTexts().empty());
  t.tab.chk1Click(false);
  EXPECT_FALSE(t.tab.results().row(4).checked);
}

}  // namespace
}  // namespace zr::setup
