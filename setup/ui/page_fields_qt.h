// The core's PageFields over the window's widgets, found by their object names: line edits
// by their text, the date picker as yyyy-MM-dd, the time picker as HH:mm:ss, check boxes.
#pragma once

#include "core/page_fields.h"

class QWidget;

namespace zr::setup {

class QtPageFields : public PageFields {
 public:
  explicit QtPageFields(QWidget& window) : window_(window) {}

  std::string text(std::string_view name) const override;
  void setText(std::string_view name, const std::string& text) override;
  bool isChecked(std::string_view name) const override;
  void setChecked(std::string_view name, bool checked) override;

 private:
  QWidget& window_;
};

}  // namespace zr::setup
