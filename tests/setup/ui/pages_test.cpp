// The parameter pages in the real window against the simulated meter (with the demo's
// values) on a pseudo-terminal, through the real component: tick, press, see the field.
// With ZR_SCREENSHOT_DIR set, the screenshot test also writes each page as a PNG there.
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <cstdlib>

#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"
#include "ui/pump_bridge.h"
#include "ui/table_view.h"
#include "ui_harness.h"

namespace zr::setup::uitest {
namespace {

class PagesTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    bridge = std::make_unique<PumpBridge>();
    useSampleDatabase();
    sim::loadDemoValues(meter);
  }
  TForm1& startOnMeter(const std::string& extraSettings = "") {
    writeFile("Tools.ini", "[option]\nWtime=300\naddress=000000012345\nport=" + pty.slavePath() + "\n" + extraSettings);
    return start();
  }
  std::string text(const char* name) { return child<QLineEdit>(name)->text().toStdString(); }
  void press(const char* name) { child<QPushButton>(name)->click(); }
  std::vector<std::vector<std::string>> rows(const char* name) {
    auto* table = child<TableView>(name);
    std::vector<std::vector<std::string>> out;
    for (int r = 0; r < table->rowCount(); ++r) {
      std::vector<std::string> cells;
      for (int c = 0; c < table->columnCount(); ++c)
        cells.push_back(table->item(r, c) ? table->item(r, c)->text().toStdString() : "");
      out.push_back(cells);
    }
    return out;
  }

  sim::PtyPair pty;
  sim::Dlt645Meter meter;
  sim::MeterOnFd peer{meter, pty.master()};
  std::unique_ptr<PumpBridge> bridge;
};

TEST_F(PagesTest, TariffPeriodsAreReadIntoTheTickedEdits) {
  startOnMeter();
  EXPECT_FALSE(child<QLineEdit>("LabeledEdit2")->isEnabled());
  child<QCheckBox>("CheckBox6")->click();
  EXPECT_TRUE(child<QLineEdit>("LabeledEdit2")->isEnabled());
  press("BitBtn33");
  EXPECT_EQ(text("LabeledEdit2"), "080002");
  EXPECT_FALSE(child<QCheckBox>("CheckBox6")->isChecked());
  EXPECT_FALSE(child<QLineEdit>("LabeledEdit2")->isEnabled());
  EXPECT_EQ(text("LabeledEdit1"), "000000");
  EXPECT_EQ(boxes.events, std::vector<std::string>{"information Read complete!"});
  child<QCheckBox>("CheckBox11")->click();
  for (int k = 1; k <= 10; ++k) EXPECT_TRUE(child<QLineEdit>(("LabeledEdit" + std::to_string(k)).c_str())->isEnabled());
}

TEST_F(PagesTest, ClockReadsFillThePickersAndSetsGoToTheMeter) {
  startOnMeter();
  press("BitBtn4");
  press("BitBtn6");
  EXPECT_EQ(child<QDateEdit>("DateTimePicker1")->date(), QDate(2026, 12, 8));
  EXPECT_EQ(text("Edit2"), "02");
  EXPECT_EQ(child<QTimeEdit>("DateTimePicker2")->time(), QTime(10, 30, 0));
  child<QTimeEdit>("DateTimePicker2")->setTime(QTime(13, 5, 9));
  press("BitBtn7");
  EXPECT_EQ(meter.value(0xC011), (sim::Bytes{0x09, 0x05, 0x13}));
  EXPECT_EQ(boxes.events, std::vector<std::string>(3, "information Operate successful!!"));
}

TEST_F(PagesTest, LimitsAreReadAndAFormatErrorSendsNothing) {
  startOnMeter();
  press("BitBtn14");
  EXPECT_EQ(text("Edit5"), "0264.00");
  child<QLineEdit>("Edit5")->setText("264.00");
  const size_t before = meter.requestCount();
  press("BitBtn15");
  EXPECT_EQ(meter.requestCount(), before);
  EXPECT_EQ(boxes.events,
            (std::vector<std::string>{"information Operate successful!!", "information Voltage value format error!"}));
}

TEST_F(PagesTest, ReadIdTakesTheMeterNumberAndAFailureKeepsTheField) {
  startOnMeter();
  child<QLineEdit>("Edit1")->setText("1");
  press("Button2");
  EXPECT_EQ(text("Edit1"), "000000012345");
  meter.setFaults({.silent = true});
  press("Button2");
  EXPECT_EQ(text("Edit1"), "000000012345");
  EXPECT_EQ(boxes.events,
            (std::vector<std::string>{"information Operate successful!!", "information Communication failed!!"}));
}

TEST_F(PagesTest, RelayOffShowsInTheRelayStatusWord) {
  startOnMeter();
  press("BitBtn27");
  press("BitBtn26");
  const auto grid = rows("ValueListEditor1");
  ASSERT_EQ(grid.size(), 7u);  // the designed empty row, then six bits
  EXPECT_EQ(grid[1], (std::vector<std::string>{"Last operation", "Relay off"}));
  EXPECT_EQ(grid[4], (std::vector<std::string>{"Export status", "No electricity"}));
  press("BitBtn29");
  EXPECT_TRUE(rows("ValueListEditor1").empty());
  EXPECT_EQ(boxes.events, std::vector<std::string>(2, "information Operate successful!!"));
}

TEST_F(PagesTest, PrepaymentRegistersAreReadOnTheirHiddenPage) {
  meter.setValue(0x9F23, {0x50, 0x34, 0x12, 0x81});
  startOnMeter();
  press("BitBtn39");
  press("BitBtn30");
  EXPECT_EQ(text("MaskEdit4"), "-11234.50");
  EXPECT_EQ(text("MaskEdit1"), "000125.50");
}

TEST_F(PagesTest, AShortProfileReadFillsTheListAndTheLog) {
  startOnMeter();
  child<QLineEdit>("Edit11")->setText("1");
  child<QLineEdit>("Edit12")->setText("3");
  press("BitBtn43");
  const auto list = rows("ListView2");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], (std::vector<std::string>{"1", "12.01 00:00", "001000.25", "000200.05", "220.1", "005.1", ""}));
  EXPECT_EQ(list[2][0], "3");
  const QStringList log = child<QPlainTextEdit>("Memo1")->toPlainText().split('\n');
  ASSERT_EQ(log.size(), 10);  // the designed line, then tx, rx and the record per record
  EXPECT_TRUE(log[1].startsWith("0001 tx: 68 45 23 01 00 00 00 68 01 04 43 04 34 33")) << log[1].toStdString();
  EXPECT_TRUE(boxes.events.empty());
  EXPECT_TRUE(child<QPushButton>("BitBtn43")->isEnabled());
}

TEST_F(PagesTest, StopEndsAProfileReadBeforeTheNextRecord) {
  startOnMeter("types=three-phase\n");
  meter.setThreePhaseProfile(true);
  child<QLineEdit>("Edit11")->setText("1");
  child<QLineEdit>("Edit12")->setText("2880");
  // Stop is pressed from the window's own events once two rows are in.
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (child<TableView>("ListView2")->rowCount() < 2) return;
    poll.stop();
    press("BitBtn44");
  });
  poll.start();
  press("BitBtn43");
  EXPECT_GE(rows("ListView2").size(), 2u);
  EXPECT_LE(rows("ListView2").size(), 3u);
  EXPECT_EQ(child<TableView>("ListView2")->columnCount(), 19);
  EXPECT_TRUE(boxes.events.empty());
}

// Renders each page after reading it from the demo meter. Without ZR_SCREENSHOT_DIR it
// only checks that every page renders.
TEST_F(PagesTest, PagesRenderWithTheDemoMetersValues) {
  const char* dir = std::getenv("ZR_SCREENSHOT_DIR");
  TForm1& w = startOnMeter();
  w.setWindowState(Qt::WindowNoState);
  w.resize(1100, 620);
  auto* top = child<QTabWidget>("PageControl1");
  auto* system = child<QTabWidget>("PageControl2");
  auto* profile = child<QTabWidget>("PageControl3");
  auto shoot = [&](const char* file) {
    QCoreApplication::processEvents();
    const QPixmap shot = w.grab();
    EXPECT_FALSE(shot.isNull());
    if (dir) {
      EXPECT_TRUE(shot.save(QString::fromLatin1(dir) + "/" + file));
    }
  };
  for (const char* b : {"BitBtn4", "BitBtn6", "BitBtn12", "BitBtn10", "BitBtn8"}) press(b);
  top->setCurrentIndex(1);
  system->setCurrentIndex(0);
  shoot("setup_clock.png");
  child<QCheckBox>("CheckBox11")->click();
  press("BitBtn33");
  system->setCurrentIndex(1);
  shoot("setup_tariff.png");
  for (const char* b : {"BitBtn14", "BitBtn17", "BitBtn22", "BitBtn24"}) press(b);
  system->setCurrentIndex(2);
  shoot("setup_other.png");
  // The hidden pages are shown for the picture only.
  top->setTabVisible(3, true);
  top->setTabVisible(4, true);
  for (const char* b : {"BitBtn16", "BitBtn19", "BitBtn26"}) press(b);
  top->setCurrentIndex(3);
  shoot("setup_state_word.png");
  for (const char* b : {"BitBtn30", "BitBtn35", "BitBtn37", "BitBtn39", "BitBtn41"}) press(b);
  top->setCurrentIndex(4);
  shoot("setup_prepayment.png");
  child<QLineEdit>("Edit12")->setText("12");
  press("BitBtn43");
  top->setCurrentIndex(5);
  profile->setCurrentIndex(0);
  shoot("setup_load_profile.png");
  EXPECT_EQ(rows("ListView2").size(), 12u);
}

}  // namespace
}  // namespace zr::setup::uitest
