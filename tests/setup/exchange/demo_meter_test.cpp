// The demo meter against the sample item database, read the way a newcomer first tries the
// program: every group ticked, "Select", "Read".
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "core/com_exchange.h"
#include "core/item_tab.h"
#include "setup/core/fake_window.h"
#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"
#include "support/module_host.h"

using namespace zr::setup;

TEST(DemoMeter, AnswersEveryItemOfTheSampleDatabaseInItsLayout) {
  ASSERT_NE(testhost::registerComponent(), nullptr);
  // What a value of each layout looks like once formatted; a value of the wrong length is
  // left as raw hex by the formatter, and a non-BCD byte shows as a letter.
  const std::map<int, std::string> layouts = {
      {0, "[0-9]+"},
      {1, "[0-9]{6}\\.[0-9]{2}"},
      {2, "[0-9]{2}\\.[0-9]{4}"},
      {3, "[0-9]{2}\\.[0-9]{2} [0-9]{2}:[0-9]{2}"},
      {4, "[0-9]{2}:[0-9]{2}-[0-9]{2}"},
      {5, "[0-9]{2}\\.[0-9]{2}\\.[0-9]{2} [0-9]{2}:[0-9]{2}"},
      {6, "[0-9]{2}\\.[0-9]{2}\\.[0-9]{2} [0-9]{2}:[0-9]{2} [0-9]{6}\\.[0-9]{2}"},
      {7, "[0-9]{4}\\.[0-9]{2}"},
      {8, "[0-9]{2}\\.[0-9]{2}"},
      {9, "[0-9]{2}\\.[0-9]{2}\\.[0-9]{2} [0-9]{2}"},
      {10, "[0-9]{2}:[0-9]{2}:[0-9]{2}"},
      {11, "[0-9]\\.[0-9]"},
      {12, "[0-9]\\.[0-9]{3}"},
      {13, "Status:[0-9A-F]{2} say:.*"},
  };

  sim::PtyPair pty;
  sim::Dlt645Meter meter("000000000001");
  sim::loadDemoValues(meter);
  sim::MeterOnFd peer(meter, pty.master());
  FakeForm form;
  form.port = pty.slavePath();
  FakeUi ui;
  ComExchange exchange(form, ui);
  exchange.FormShow(ExchangeSettings{.Wtime = 150});
  ItemStore store{kItemConnectionString, ZR_TEST_BIN_DIR};
  ItemTab tab(store, form, exchange, ui);
  tab.create();
  for (int group : tab.tree().topLevel()) {
    tab.tree().SetNodeChecked(group, true);
    tab.TreeView1MouseUp(group);
  }
  tab.BitBtn2Click();
  ASSERT_GT(tab.results().size(), 0u);

  // A read stops at the first item the meter does not answer; that row is set aside and
  // the reading goes on, so one run names every missing item.
  std::string missing;
  for (int run = 0; run < 64; ++run) {
    ui.events.clear();
    tab.BitBtn1Click();
    if (ui.only("message") == std::vector<std::string>{"Reading is completed!"}) break;
    for (size_t i = 0; i < tab.results().size(); ++i) {
      if (tab.results().row(i).checked && tab.results().row(i).value == "Please wait...") {
        missing += " " + tab.results().row(i).caption;
        tab.results().setChecked(i, false);
      }
    }
  }
  EXPECT_EQ(missing, "") << "the demo meter does not answer these items";

  for (size_t i = 0; i < tab.results().size(); ++i) {
    const ResultRow& row = tab.results().row(i);
    const std::optional<ItemRow> item = store.findItem(row.caption);
    ASSERT_TRUE(item) << row.caption;
    ASSERT_TRUE(layouts.count(item->fl)) << row.caption << " has layout " << item->fl;
    EXPECT_TRUE(std::regex_match(row.value, std::regex(layouts.at(item->fl))))
        << row.caption << ": " << row.value << " is not in layout " << item->fl;
  }
}
