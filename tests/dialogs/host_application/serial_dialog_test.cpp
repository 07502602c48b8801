// The serial setup dialog and the about boxes in a host that runs its own Qt application
// (as the setup program does), on the offscreen platform.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <atomic>
#include <thread>

#include "channels/serial/serial_setup_model.h"
#include "channels/socket/zr_socket.h"
#include "dialogs/dialog_test_support.h"
#include "dlt645/zr_comm_dlt645.h"

namespace kavlink::test {
namespace {

using M = SerialSetupModel;
using zr::com::ComPtr;

QApplication& application() {
  // Never destroyed: Qt must not be torn down by static destructors after the tests.
  static QApplication* app = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "dialog_test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

class HostApplication : public ::testing::Test {
 protected:
  void SetUp() override { application(); }
  ComPtr<CZrSerial> port = ComPtr<CZrSerial>::attach(CZrSerial::create());
};

QStringList itemsOf(QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

QString labelOf(QWidget* dialog, QWidget* control) {
  for (QLabel* label : dialog->findChildren<QLabel*>()) {
    if (label->buddy() == control) return label->text();
  }
  return {};
}

void press(QWidget* dialog, int id) { control<QPushButton>(dialog, id)->click(); }

TEST_F(HostApplication, DialogShowsEveryControlWithItsLabelAndTheSettings) {
  port->put_BaudRate(static_cast<TBaudRate>(4800));
  port->put_FlowControl(fcXonXoff);
  port->SetChar(VARIANT_TRUE, static_cast<CHAR>(0xFE), 26);
  auto guard = whenShown([&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), QStringLiteral("对话框"));
    QStringList groups;
    for (QGroupBox* g : d->findChildren<QGroupBox*>()) groups << g->title();
    EXPECT_EQ(groups, (QStringList{"General", "Flow", "Other"}));
    const std::pair<int, const char*> labelled[] = {
        {201, "Com port:"},     {202, "Baur rate:"},   {203, "Parity bits:"}, {204, "Data bits:"}, {205, "Stop bits:"},
        {206, "Flow control:"}, {207, "Rts control:"}, {208, "Dtr control:"}, {213, "XonChar:"},   {220, "XoffChar:"},
        {222, "Error char:"},   {223, "Eof char:"},    {224, "Event char:"},
    };
    for (auto [id, text] : labelled) EXPECT_EQ(labelOf(d, control<QWidget>(d, id)), QString::fromUtf8(text)) << id;
    const std::pair<int, const char*> boxes[] = {
        {214, "OutxDsrFlow"},      {215, "OutxCtsFlow"}, {221, "DsrSensitivity"}, {218, "OutX "},
        {219, "TXContinueOnXoff"}, {217, "InX "},        {216, "Use error char"}, {225, "Discard NULL"},
    };
    for (auto [id, text] : boxes) EXPECT_EQ(control<QCheckBox>(d, id)->text(), QString::fromUtf8(text)) << id;
    EXPECT_EQ(control<QPushButton>(d, 1)->text(), "Ok");
    EXPECT_EQ(control<QPushButton>(d, 2)->text(), "Cancel");
    const std::pair<int, QStringList> lists[] = {
        {202,
         {"br300", "br600", "br1200", "br2400", "br4800", "br9600", "br19200", "br38400", "br57600", "br115200",
          "br128000", "br256000"}},
        {203, {"prNone", "prOdd", "prEven", "prMark", "prSpace"}},
        {204, {"dbFive", "dbSix", "dbSeven", "dbEight"}},
        {205, {"sbOneStopBits", "sbOne5StopBits", "sbTwoStopBits"}},
        {206, {"fcNone", "fcHardware", "fcXonXoff", "fcCustom"}},
        {207, {"DISABLE", "ENABLE", "HANDSHAKE"}},
        {208, {"DISABLE", "ENABLE", "HANDSHAKE"}},
    };
    for (const auto& [id, items] : lists) EXPECT_EQ(itemsOf(control<QComboBox>(d, id)), items) << id;
    EXPECT_TRUE(control<QComboBox>(d, 201)->isEditable());
    EXPECT_FALSE(control<QComboBox>(d, 203)->isEditable());
    // The settings, as the port holds them.
    EXPECT_EQ(control<QComboBox>(d, 201)->currentText(), "COM1");
    EXPECT_EQ(control<QComboBox>(d, 202)->currentText(), "br4800");
    EXPECT_EQ(control<QComboBox>(d, 204)->currentIndex(), 3);
    EXPECT_EQ(control<QComboBox>(d, 206)->currentIndex(), 2);
    EXPECT_EQ(control<QComboBox>(d, 208)->currentIndex(), 1);
    EXPECT_TRUE(control<QCheckBox>(d, 217)->isChecked());
    EXPECT_TRUE(control<QCheckBox>(d, 216)->isChecked());
    EXPECT_EQ(control<QLineEdit>(d, 222)->text(), "-2");
    EXPECT_EQ(control<QLineEdit>(d, 223)->text(), "26");
    press(d, 2);
  });
  EXPECT_EQ(port->ShowSetupDlg(), S_OK);
}

TEST_F(HostApplication, PresetPickedThenCancelStaysWhileTheRestIsDropped) {
  auto guard = whenShown([&](QWidget* d) {
    auto* flow = control<QComboBox>(d, 206);
    flow->setCurrentIndex(1);
    Q_EMIT flow->activated(1);
    // Shown again from the port at once.
    EXPECT_TRUE(control<QCheckBox>(d, 215)->isChecked());
    EXPECT_EQ(control<QComboBox>(d, 207)->currentIndex(), 2);
    EXPECT_EQ(control<QComboBox>(d, 208)->currentIndex(), 1);
    control<QComboBox>(d, 202)->setEditText("br300");
    press(d, 2);
  });
  EXPECT_EQ(port->ShowSetupDlg(), S_OK);
  TFlow flow = fcNone;
  port->get_FlowControl(&flow);
  EXPECT_EQ(flow, fcHardWare);
  EXPECT_EQ(port->config().baudRate, 9600);
}

TEST_F(HostApplication, OkWritesTheControlsBack) {
  auto guard = whenShown([&](QWidget* d) {
    control<QComboBox>(d, 201)->setEditText("/dev/ttyUSB7");
    control<QComboBox>(d, 202)->setEditText("19200");
    control<QComboBox>(d, 203)->setCurrentIndex(2);
    auto* flow = control<QComboBox>(d, 206);
    flow->setCurrentIndex(2);
    Q_EMIT flow->activated(2);
    control<QCheckBox>(d, 218)->setChecked(false);  // after the preset: the box wins
    control<QLineEdit>(d, 222)->setText("-2");
    control<QLineEdit>(d, 224)->setText(" 13");
    control<QCheckBox>(d, 225)->setChecked(true);
    press(d, 1);
  });
  EXPECT_EQ(port->ShowSetupDlg(), S_OK);
  SerialConfig expected;
  expected.port = "/dev/ttyUSB7";
  expected.baudRate = 19200;
  expected.parityBits = 2;
  expected.dtrControl = 1;
  expected.xonXoffIn = 1;
  expected.errChar = 0xFE;
  expected.eventChar = 13;
  expected.discardNull = 1;
  EXPECT_EQ(port->config(), expected);
}

TEST_F(HostApplication, DialogsBelongToTheActiveWindow) {
  QWidget main;
  main.show();
  main.activateWindow();
  QApplication::setActiveWindow(&main);
  auto guard = whenShown([&](QWidget* d) {
    EXPECT_EQ(d->window()->parentWidget(), &main);
    EXPECT_TRUE(d->isModal());
    press(d, 2);
  });
  EXPECT_EQ(port->ShowSetupDlg(), S_OK);
}

TEST_F(HostApplication, AboutBoxesNameTheirControl) {
  auto dlt645 = ComPtr<CZrCommDLT645>::attach(CZrCommDLT645::create());
  auto socket = ComPtr<CZrSocket>::attach(CZrSocket::create());
  const std::pair<const char*, std::function<HRESULT()>> cases[] = {
      {"ZrSerial", [&] { return port->AboutBox(); }},
      {"ZrCommDLT645", [&] { return dlt645->AboutBox(); }},
      {"ZrSocket", [&] { return socket->AboutBox(); }},
  };
  for (const auto& [name, call] : cases) {
    auto guard = whenShown([name = QString(name)](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->windowTitle(), "About " + name);
      EXPECT_TRUE(box->text().startsWith(name + "\n")) << box->text().toStdString();
      EXPECT_TRUE(box->text().contains("version")) << box->text().toStdString();
      box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(call(), S_OK) << name;
  }
}

TEST_F(HostApplication, CallFromAnotherThreadShowsOnTheApplicationThread) {
  std::atomic<bool> done{false};
  HRESULT result = E_FAIL;
  QThread* shownOn = nullptr;
  auto guard = whenShown([&](QWidget* w) {
    shownOn = w->thread();
    qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
  });
  std::thread worker([&] {
    auto own = ComPtr<CZrSerial>::attach(CZrSerial::create());
    result = own->AboutBox();
    done = true;
  });
  QDeadlineTimer deadline(5000);
  while (!done && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(shownOn, application().thread());
}

}  // namespace
}  // namespace kavlink::test
