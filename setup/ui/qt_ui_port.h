// The core's UiPort over the Qt window: boxes through MessageBoxes, the log into Memo1,
// pauses that keep the window's events running, controls found by their object names.
#pragma once

#include "core/ui_port.h"
#include "ui/message_boxes.h"

class QPlainTextEdit;
class QWidget;

namespace zr::setup {

class QtUiPort : public UiPort {
 public:
  QtUiPort(QWidget& window, MessageBoxes& boxes) : window_(window), boxes_(boxes) {}

  void showMessage(const std::string& text) override;
  void showWarning(const std::string& text) override;
  void appendLog(const std::string& line) override;
  void pause(int ms) override;
  void setControlEnabled(std::string_view controlName, bool enabled) override;

 private:
  QWidget& window_;
  MessageBoxes& boxes_;
};

}  // namespace zr::setup
