// The window's loop and the component's message queue, joined on the window's thread.
#include "ui/pump_bridge.h"

#include <QTimer>

#include "msg/message_queue.h"
#include "ui_harness.h"

namespace zr::setup::uitest {
namespace {

int g_handled = 0;

msg::LRESULT countingProc(msg::HWND, msg::UINT, msg::WPARAM, msg::LPARAM) {
  ++g_handled;
  return 0;
}

TEST(PumpBridge, ComponentMessagesAreDispatchedByTheIdleWindowLoop) {
  application();
  PumpBridge bridge;
  g_handled = 0;
  msg::HWND window = msg::createWindow("ZrBridgeTest", countingProc);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(msg::postMessage(window, msg::WM_USER, 0, 0));
  ASSERT_TRUE(msg::postMessage(window, msg::WM_USER, 0, 0));
  EXPECT_TRUE(waitUntil([] { return g_handled == 2; }));
  msg::destroyWindow(window);
}

TEST(PumpBridge, TheComponentsPumpRunsWindowEventsOnlyWhileTheBridgeStands) {
  application();
  for (bool withBridge : {true, false}) {
    auto bridge = withBridge ? std::make_unique<PumpBridge>() : nullptr;
    bool fired = false;
    int nested = 0;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      fired = true;
      // A window event that itself waits in the component must not run itself again.
      ++nested;
      msg::pumpOne();
    });
    timer.start(0);
    // As a wait of the component does: pump in steps until the deadline.
    QElapsedTimer clock;
    clock.start();
    while (!fired && clock.elapsed() < 200) {
      msg::pumpOne();
      msg::waitFdOrQueue(-1, 0, 5);
    }
    EXPECT_EQ(fired, withBridge);
    EXPECT_EQ(nested, withBridge ? 1 : 0);
    bridge.reset();
    QCoreApplication::processEvents();  // the timer left pending without the bridge
  }
}

}  // namespace
}  // namespace zr::setup::uitest
