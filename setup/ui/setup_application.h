// The program's application object. Its event delivery is the program's default error
// display: an error escaping any event handler is shown in a box and the loop goes on.
#pragma once

#include <QApplication>

#include "ui/message_boxes.h"

namespace zr::setup {

class SetupApplication : public QApplication {
 public:
  SetupApplication(int& argc, char** argv);

  // Where errors are shown; the Qt boxes unless set.
  void setErrorBoxes(MessageBoxes* boxes) { boxes_ = boxes; }
  MessageBoxes& errorBoxes() { return boxes_ ? *boxes_ : qtBoxes_; }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  QtMessageBoxes qtBoxes_;
  MessageBoxes* boxes_ = nullptr;
};

}  // namespace zr::setup
