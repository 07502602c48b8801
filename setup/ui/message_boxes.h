// The program's message boxes. The window and the error display go through this interface,
// so tests record the boxes in order instead of blocking on them.
#pragma once

#include <exception>
#include <string>

namespace zr::setup {

// The application title: the caption of the plain message boxes and of the error box.
inline constexpr char kApplicationTitle[] = "Information";

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // A plain box titled with the application title, button OK.
  virtual void information(const std::string& text) = 0;
  // A warning with the single button "&Yes".
  virtual void warningYes(const std::string& text) = 0;
  // The default error display: the error's text in a box titled with the application title.
  virtual void error(const std::string& text) = 0;
};

// Modal Qt boxes over the active window.
class QtMessageBoxes : public MessageBoxes {
 public:
  void information(const std::string& text) override;
  void warningYes(const std::string& text) override;
  void error(const std::string& text) override;
};

// The text an error display shows for a caught exception.
std::string errorText(const std::exception_ptr& error);

// Shows the error in the boxes' error display; never throws.
void showError(MessageBoxes& boxes, const std::exception_ptr& error) noexcept;

}  // namespace zr::setup
