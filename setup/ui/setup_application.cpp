#include "ui/setup_application.h"

namespace zr::setup {

SetupApplication::SetupApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QString::fromLatin1(kApplicationTitle));
}

bool SetupApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    showError(errorBoxes(), std::current_exception());
    return true;
  }
}

}  // namespace zr::setup
