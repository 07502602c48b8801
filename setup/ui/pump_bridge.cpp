#include "ui/pump_bridge.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include "msg/message_queue.h"

namespace zr::setup {

namespace {

thread_local bool t_runningWindowEvents = false;

// The hook is process-wide: it works only on the window's thread, and never inside itself.
void runWindowEvents(QThread* windowThread) {
  if (QThread::currentThread() != windowThread || t_runningWindowEvents) return;
  struct Reset {
    ~Reset() { t_runningWindowEvents = false; }
  } reset;
  t_runningWindowEvents = true;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace

PumpBridge::PumpBridge() {
  // The descriptor stays readable while messages are pending, so one pass per activation
  // is enough: whatever is left or added wakes the loop again.
  notifier_ = std::make_unique<QSocketNotifier>(msg::queueFd(), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] { msg::pumpAll(); });
  // Holds no pointer to the bridge: another thread may still be inside the hook when the
  // bridge goes.
  msg::setPumpHook([thread = QThread::currentThread()] { runWindowEvents(thread); });
}

PumpBridge::~PumpBridge() { msg::setPumpHook({}); }

}  // namespace zr::setup
