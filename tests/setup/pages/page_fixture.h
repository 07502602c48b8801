// The page handlers through the real exchange and component, against the simulated meter on
// a pseudo-terminal, with the window faked: its fields, its boxes, its page controls.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/com_exchange.h"
#include "setup/core/fake_window.h"
#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"
#include "sim/tcp_relay.h"
#include "support/module_host.h"

namespace zr::setup::pagetest {

using sim::Bytes;

// The meter of these tests answers as 000000012345 and takes the password 318204, whose
// bytes travel as 04 82 31.
inline const Bytes kPassword{0x04, 0x82, 0x31};

class PageTest : public ::testing::Test {
 protected:
  // The exchange is made before the derived fixtures' pages, which hold it.
  std::unique_ptr<ComExchange> startExchange() {
    EXPECT_NE(testhost::registerComponent(), nullptr);
    form.meterId = "12345";
    form.port = pty.slavePath();
    auto made = std::make_unique<ComExchange>(form, ui);
    made->FormShow({.Wtime = 150});
    ui.events.clear();
    return made;
  }

  // Switches to the remote channel through a relay to the same meter.
  void goRemote() {
    relay = std::make_unique<sim::TcpRelay>(meter);
    form.local = false;
    exchange->btnConnectClick("127.0.0.1", std::to_string(relay->port()));
    ui.events.clear();
  }

  bool portOpen() {
    zr::com::ComPtr<kavlink::IZrSerial> s;
    exchange->ZrComm()->get_Serial(s.put());
    VARIANT_BOOL c = 0;
    s->get_Connected(&c);
    return c != 0;
  }

  // The data of every request the meter saw, in order.
  std::vector<Bytes> sentData() const {
    std::vector<Bytes> out;
    for (const sim::Request& r : meter.requests()) out.push_back(r.data);
    return out;
  }
  sim::Request lastRequest() const {
    auto all = meter.requests();
    EXPECT_FALSE(all.empty());
    return all.empty() ? sim::Request{} : all.back();
  }
  // The data of a set: identifier, level, password, then the value bytes.
  static Bytes setData(uint8_t di0, uint8_t di1, const Bytes& values) {
    Bytes d{di0, di1, 0x00};
    d.insert(d.end(), kPassword.begin(), kPassword.end());
    d.insert(d.end(), values.begin(), values.end());
    return d;
  }

  std::vector<std::string> messages() const { return ui.only("message"); }
  std::vector<std::string> warnings() const { return ui.only("warning"); }

  sim::PtyPair pty;
  sim::Dlt645Meter meter;
  sim::MeterOnFd peer{meter, pty.master()};
  std::unique_ptr<sim::TcpRelay> relay;
  FakeForm form;
  FakeUi ui;
  FakePage page{form};
  std::unique_ptr<ComExchange> exchange = startExchange();
};

}  // namespace zr::setup::pagetest
