// A modal dialog built from a component's dialog layout: one group box per group, each
// control with its label, the buttons below. It is the view its model fills and reads;
// the window only forwards the user's list picks and the two buttons to the model.
//
// Every control's object name is "control" followed by its id (control206), so tests and
// accessibility tools find it.
#pragma once

#include <QDialog>
#include <map>
#include <string>

#include "module/dialog_abi.h"

class QWidget;

namespace kavlink::dialog {

class DialogWindow final : public QDialog, public DialogView {
 public:
  DialogWindow(DialogModel& model, QWidget* owner);

  // Fills the controls through the model and runs the window: kIdOk or kIdCancel, or 0
  // when the model threw (its text in error()).
  int run();
  const std::string& error() const { return error_; }

  // ---- DialogView
  void setItems(int id, const std::vector<std::string>& items) override;
  void setText(int id, const std::string& text) override;
  std::string text(int id) const override;
  void select(int id, int index) override;
  int selection(int id) const override;
  void setChecked(int id, bool checked) override;
  bool checked(int id) const override;

 protected:
  void reject() override;

 private:
  QWidget* control(int id) const;
  // Runs a model call; an exception ends the dialog with 0.
  template <class F>
  void callModel(F&& f);
  void pressed(int id);

  DialogModel& model_;
  const DialogLayout& layout_;
  std::map<int, QWidget*> controls_;
  std::string error_;
};

}  // namespace kavlink::dialog
