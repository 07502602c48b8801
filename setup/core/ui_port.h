// What the core asks of the window beyond its input fields: messages, the log, pauses that
// keep the window live, and enabling its buttons. Errors are not reported here: the core
// throws, and the window's main loop shows the text in an error box.
#pragma once

#include <string>
#include <string_view>

namespace zr::setup {

class UiPort {
 public:
  virtual ~UiPort() = default;

  // A plain message box titled with the application title ("Information").
  virtual void showMessage(const std::string& text) = 0;
  // A warning box with the single button "&Yes".
  virtual void showWarning(const std::string& text) = 0;
  // One line added to the log (Memo1).
  virtual void appendLog(const std::string& line) = 0;
  // Waits ms milliseconds while the window keeps handling its events.
  virtual void pause(int ms) = 0;
  // Enables or disables the control of that name (BitBtn1, btnConnect, ...).
  virtual void setControlEnabled(std::string_view controlName, bool enabled) = 0;
};

}  // namespace zr::setup
