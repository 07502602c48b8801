// The controls of the parameter pages as the handlers see them: edits, pickers and check
// boxes found by their control names (Edit5, DateTimePicker1, CheckBox6 ...). The window
// implements it over its widgets, tests over a map. The date picker's text is yyyy-MM-dd,
// the time picker's HH:mm:ss.
#pragma once

#include <string>
#include <string_view>

namespace zr::setup {

class PageFields {
 public:
  virtual ~PageFields() = default;

  // The control's text as it stands, untrimmed; a name the page does not have reads empty.
  virtual std::string text(std::string_view name) const = 0;
  virtual void setText(std::string_view name, const std::string& text) = 0;
  virtual bool isChecked(std::string_view name) const = 0;
  // Changing a box this way does not run its click handler; the caller does that.
  virtual void setChecked(std::string_view name, bool checked) = 0;
};

}  // namespace zr::setup
