// "Read" from the window against a simulated meter on a pseudo-terminal, through the real
// component.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"
#include "sim/tcp_relay.h"
#include "ui/pump_bridge.h"
#include "ui_harness.h"

namespace zr::setup::uitest {
namespace {

class ReadTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    bridge = std::make_unique<PumpBridge>();
    useSampleDatabase();
    meter.setValue(0x9010, {0x45, 0x23, 0x01, 0x00});  // 000123.45
    meter.setValue(0xB611, {0x20, 0x02});              // 0220
    meter.setValue(0xC011, {0x00, 0x30, 0x10});        // 10:30:00
  }

  // Starts the window on the meter's port with the given rows in the list.
  void startOnMeter(const std::string& infoLines, int waitMs) {
    writeFile("Tools.ini", "[option]\nWtime=" + std::to_string(waitMs) + "\nport=" + pty.slavePath() + "\n");
    writeFile("info.txt", infoLines);
    start();
    child<QLineEdit>("Edit1")->setText("12345");
    child<QCheckBox>("chk1")->setChecked(true);
  }

  std::vector<std::vector<std::string>> cells() {
    std::vector<std::vector<std::string>> rows;
    const ResultList& list = window->itemTab().results();
    for (size_t i = 0; i < list.size(); ++i) {
      const ResultRow& r = list.row(i);
      rows.push_back({r.caption, r.value, r.unit, r.checked ? "ticked" : "-"});
      auto* view = child<QTableWidget>("ListView1");
      EXPECT_EQ(view->item(static_cast<int>(i), 1)->text().toStdString(), r.value);  // the view shows the model
    }
    return rows;
  }

  sim::PtyPair pty;
  sim::Dlt645Meter meter;
  sim::MeterOnFd peer{meter, pty.master()};
  std::unique_ptr<PumpBridge> bridge;
};

TEST_F(ReadTest, TickedRowsGetTheirValuesAndUnitsAndTheBoxesComeInOrder) {
  startOnMeter("Total active energy,,\r\nNo such item,,\r\nVoltage A,,\r\nTime,,\r\n", 200);
  child<QPushButton>("BitBtn1")->click();
  EXPECT_EQ(cells(),
            (std::vector<std::vector<std::string>>{{"Total active energy", "000123.45", "kWh", "-"},
                                                   {"No such item", "Without this item", "Without this item", "ticked"},
                                                   {"Voltage A", "0220", "V", "-"},
                                                   {"Time", "10:30:00", "", "-"}}));
  EXPECT_EQ(boxes.events, std::vector<std::string>{"information Reading is completed!"});
  EXPECT_TRUE(child<QPushButton>("BitBtn1")->isEnabled());
}

TEST_F(ReadTest, AnItemTheMeterRefusesStopsTheReadingAtItsRow) {
  startOnMeter("Voltage A,,\r\nVoltage B,,\r\nTime,,\r\n", 100);  // the meter has no B612
  child<QPushButton>("BitBtn1")->click();
  EXPECT_EQ(cells(), (std::vector<std::vector<std::string>>{{"Voltage A", "0220", "V", "-"},
                                                            {"Voltage B", "Please wait...", "Please wait...", "ticked"},
                                                            {"Time", "", "", "ticked"}}));
  EXPECT_EQ(boxes.events, (std::vector<std::string>{"information Return null!", "information Reading is completed!"}));
  EXPECT_EQ(meter.requestCount(), 4u);  // one read, then three attempts
}

TEST_F(ReadTest, TheWindowStaysLiveWhileAReadWaitsForASlowMeter) {
  meter.setFaults({.delayMs = 300});
  startOnMeter("Total active energy,,\r\nVoltage A,,\r\n", 3000);
  // Once the first request has reached the meter, the read waits for its late answer:
  // "Select all" is cleared from the window's own events in that wait.
  bool readWasRunning = false;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (meter.requestCount() == 0) return;
    poll.stop();
    readWasRunning = !child<QPushButton>("BitBtn1")->isEnabled();
    child<QCheckBox>("chk1")->setChecked(false);
  });
  poll.start();
  child<QPushButton>("BitBtn1")->click();
  EXPECT_TRUE(readWasRunning);
  // The row being read still gets its value; the row unticked during the wait is skipped.
  EXPECT_EQ(cells(), (std::vector<std::vector<std::string>>{{"Total active energy", "000123.45", "kWh", "-"},
                                                            {"Voltage A", "", "", "-"}}));
  EXPECT_EQ(meter.requestCount(), 1u);
  EXPECT_EQ(boxes.events, std::vector<std::string>{"information Reading is completed!"});
}

TEST_F(ReadTest, RemoteReadGoesThroughTheServerTypedIntoTheWindow) {
  sim::TcpRelay relay(meter);
  startOnMeter("Voltage A,,\r\n", 500);
  child<QRadioButton>("RadioButton2")->setChecked(true);
  child<QLineEdit>("txtIP")->setText("127.0.0.1");
  child<QLineEdit>("txtPort")->setText(QString::number(relay.port()));
  child<QPushButton>("btnConnect")->click();
  EXPECT_FALSE(child<QPushButton>("btnConnect")->isEnabled());
  child<QPushButton>("BitBtn1")->click();
  EXPECT_EQ(cells(), (std::vector<std::vector<std::string>>{{"Voltage A", "0220", "V", "-"}}));
  child<QPushButton>("btnDisconnect")->click();
  EXPECT_TRUE(child<QPushButton>("btnConnect")->isEnabled());
  EXPECT_EQ(boxes.events,
            (std::vector<std::string>{"information Connect successful!", "information Reading is completed!"}));
}

}  // namespace
}  // namespace zr::setup::uitest
