// Joins the component's message queue and the Qt event loop on the window's thread, as the
// two share one loop on Windows:
// - the component's waits run the window's events (the pump hook), so its other buttons
//   work while an exchange waits;
// - the window's loop dispatches the component's queued messages when it is idle (a
//   notifier on the queue's descriptor).
#pragma once

#include <memory>

class QSocketNotifier;

namespace zr::setup {

class PumpBridge {
 public:
  // On the thread that runs the QApplication; one bridge at a time.
  PumpBridge();
  ~PumpBridge();
  PumpBridge(const PumpBridge&) = delete;
  PumpBridge& operator=(const PumpBridge&) = delete;

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace zr::setup
