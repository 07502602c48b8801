// A host without a Qt application of its own but with a window system (here the offscreen
// platform): the dialog module makes the application, and while a dialog is open the
// thread's component messages keep flowing. This program never makes a QApplication
// itself; it acts on the dialogs from a message window's procedure.
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>

#include "channels/serial/zr_serial.h"
#include "com/com_ptr.h"
#include "dialogs/dialog_test_support.h"
#include "msg/message_queue.h"

namespace kavlink::test {
namespace {

using zr::com::ComPtr;

std::function<void()> g_onMessage;

zr::msg::LRESULT procedure(zr::msg::HWND, zr::msg::UINT msg, zr::msg::WPARAM, zr::msg::LPARAM) {
  if (msg == zr::msg::WM_USER + 7 && g_onMessage) g_onMessage();
  return 0;
}

TEST(OwnApplication, DialogRunsWithTheModulesApplicationAndTheThreadsMessages) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  zr::msg::HWND window = zr::msg::createWindow("own-application-test", &procedure);
  ASSERT_NE(window, nullptr);

  // Delivered only by the dialog's loop: nothing else pumps this thread meanwhile.
  int delivered = 0;
  g_onMessage = [&] {
    ++delivered;
    QWidget* d = QApplication::activeModalWidget();
    ASSERT_NE(d, nullptr);
    auto* flow = control<QComboBox>(d, 206);
    flow->setCurrentIndex(2);
    Q_EMIT flow->activated(2);
    control<QPushButton>(d, 2)->click();
  };
  zr::msg::postMessage(window, zr::msg::WM_USER + 7, 0, 0);
  EXPECT_EQ(port->ShowSetupDlg(), S_OK);
  EXPECT_EQ(delivered, 1);
  TFlow flow = fcNone;
  port->get_FlowControl(&flow);
  EXPECT_EQ(flow, fcXonXoff);
  EXPECT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);

  // The application stays for the next call.
  g_onMessage = [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Ok)->click();
  };
  zr::msg::postMessage(window, zr::msg::WM_USER + 7, 0, 0);
  EXPECT_EQ(port->AboutBox(), S_OK);

  // Another thread cannot use the application this one runs.
  HRESULT fromOther = S_OK;
  std::thread([&] {
    auto other = ComPtr<CZrSerial>::attach(CZrSerial::create());
    fromOther = other->AboutBox();
  }).join();
  EXPECT_EQ(fromOther, DISP_E_EXCEPTION);
  g_onMessage = nullptr;
  zr::msg::destroyWindow(window);
}

}  // namespace
}  // namespace kavlink::test
