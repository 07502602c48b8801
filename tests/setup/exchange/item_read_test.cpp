// "Read" of the item tab through the real exchange, on each of its three channels, and on the
// demo meter the way a newcomer first tries the program.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>
#include <string>

#include "core/com_exchange.h"
#include "core/item_tab.h"
#include "setup/core/fake_window.h"
#include "sim/dlt645_meter.h"
#include "sim/lora_wrapper.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"
#include "sim/tcp_relay.h"
#include "support/module_host.h"

using namespace zr::setup;
using sim::Bytes;

namespace {

enum class Channel { Plain, Lora, Remote };

class ItemTabOnMeter : public ::testing::Test {
 protected:
  void start(Channel channel) {
    ASSERT_NE(testhost::registerComponent(), nullptr);
    form.meterId = "12345";
    form.port = pty.slavePath();
    ExchangeSettings s{.Wtime = 150};
    switch (channel) {
      case Channel::Plain:
        peer = std::make_unique<sim::MeterOnFd>(meter, pty.master());
        break;
      case Channel::Lora:
        s.lora = true;
        peer = std::make_unique<sim::MeterOnFd>(meter, pty.master(), nullptr,
                                                [this](const Bytes& b) { return unwrapper.feed(b); });
        break;
      case Channel::Remote:
        form.local = false;
        relay = std::make_unique<sim::TcpRelay>(meter);
        break;
    }
    exchange = std::make_unique<ComExchange>(form, ui);
    exchange->FormShow(s);
    if (relay) exchange->btnConnectClick("127.0.0.1", std::to_string(relay->port()));
    ui.events.clear();
    tab = std::make_unique<ItemTab>(store, form, *exchange, ui);
    tab->create();
  }
  bool portOpen() {
    zr::com::ComPtr<kavlink::IZrSerial> s;
    exchange->ZrComm()->get_Serial(s.put());
    VARIANT_BOOL c = 0;
    s->get_Connected(&c);
    return c != 0;
  }

  ItemStore store{kItemConnectionString, ZR_TEST_BIN_DIR};
  sim::PtyPair pty;
  sim::Dlt645Meter meter;
  sim::LoraUnwrapper unwrapper;
  std::unique_ptr<sim::MeterOnFd> peer;
  std::unique_ptr<sim::TcpRelay> relay;
  FakeForm form;
  FakeUi ui;
  std::unique_ptr<ComExchange> exchange;
  std::unique_ptr<ItemTab> tab;
};

class ItemRead : public ItemTabOnMeter, public ::testing::WithParamInterface<Channel> {
 protected:
  void SetUp() override {
    meter.setValue(0x9010, {0x45, 0x23, 0x01, 0x00});
    start(GetParam());
  }
};

class DemoMeter : public ItemTabOnMeter {
 protected:
  void SetUp() override {
    sim::loadDemoValues(meter);
    start(Channel::Plain);
  }
};

}  // namespace

TEST_P(ItemRead, TickedRowsAreReadFormattedAndTheirBoxesCleared) {
  tab->results().append({"Total active energy", "", "", true});
  tab->results().append({"No such item", "", "", true});
  tab->BitBtn1Click();
  EXPECT_EQ(tab->results().row(0).value, "000123.45");
  EXPECT_EQ(tab->results().row(0).unit, "kWh");
  EXPECT_FALSE(tab->results().row(0).checked);
  EXPECT_EQ(tab->results().row(1).value, "Without this item");
  EXPECT_EQ(ui.only("message"), (std::vector<std::string>{"Reading is completed!"}));
  EXPECT_TRUE(ui.only("warning").empty());
  EXPECT_FALSE(portOpen());
}

TEST_P(ItemRead, SilentMeterEndsWithReturnNullAndThePortClosed) {
  meter.setFaults({.silent = true});
  tab->results().append({"Total active energy", "", "", true});
  tab->BitBtn1Click();
  EXPECT_EQ(tab->results().row(0).value, "Please wait...");
  EXPECT_EQ(ui.only("message"), (std::vector<std::string>{"Return null!", "Reading is completed!"}));
  EXPECT_TRUE(ui.only("warning").empty());
  EXPECT_FALSE(portOpen());
}

INSTANTIATE_TEST_SUITE_P(Channels, ItemRead, ::testing::Values(Channel::Plain, Channel::Lora, Channel::Remote),
                         [](const auto& info) {
                           switch (info.param) {
                             case Channel::Plain:
                               return std::string("PlainSerial");
                             case Channel::Lora:
                               return std::string("LoraSerial");
                             default:
                               return std::string("RemoteTcp");
                           }
                         });

TEST_F(DemoMeter, AnswersEveryItemOfTheSampleDatabaseInItsLayout) {
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

  // Every group ticked, "Select", "Read".
  for (int group : tab->tree().topLevel()) {
    tab->tree().SetNodeChecked(group, true);
    tab->TreeView1MouseUp(group);
  }
  tab->BitBtn2Click();
  ASSERT_GT(tab->results().size(), 0u);

  // A read stops at the first item the meter does not answer; that row is set aside and
  // the reading goes on, so one run names every missing item.
  std::string missing;
  for (int run = 0; run < 64; ++run) {
    ui.events.clear();
    tab->BitBtn1Click();
    if (ui.only("message") == std::vector<std::string>{"Reading is completed!"}) break;
    for (size_t i = 0; i < tab->results().size(); ++i) {
      if (tab->results().row(i).checked && tab->results().row(i).value == "Please wait...") {
        missing += " " + tab->results().row(i).caption;
        tab->results().setChecked(i, false);
      }
    }
  }
  EXPECT_EQ(missing, "") << "the demo meter does not answer these items";

  for (size_t i = 0; i < tab->results().size(); ++i) {
    const ResultRow& row = tab->results().row(i);
    const std::optional<ItemRow> item = store.findItem(row.caption);
    ASSERT_TRUE(item) << row.caption;
    ASSERT_TRUE(layouts.count(item->fl)) << row.caption << " has layout " << item->fl;
    EXPECT_TRUE(std::regex_match(row.value, std::regex(layouts.at(item->fl))))
        << row.caption << ": " << row.value << " is not in layout " << item->fl;
  }
}
