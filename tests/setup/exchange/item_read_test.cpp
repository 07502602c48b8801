// "Read" of the item tab through the real exchange, on each of its three channels.
#include <gtest/gtest.h>

#include <memory>

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

class ItemRead : public ::testing::TestWithParam<Channel> {
 protected:
  void SetUp() override {
    ASSERT_NE(testhost::registerComponent(), nullptr);
    meter.setValue(0x9010, {0x45, 0x23, 0x01, 0x00});
    form.meterId = "12345";
    form.port = pty.slavePath();
    ExchangeSettings s{.Wtime = 150};
    switch (GetParam()) {
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
