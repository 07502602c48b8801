#include "ui/qt_ui_port.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>

#include "ui/qt_text.h"

namespace zr::setup {

void QtUiPort::showMessage(const std::string& text) { boxes_.information(text); }

void QtUiPort::showWarning(const std::string& text) { boxes_.warningYes(text); }

void QtUiPort::appendLog(const std::string& line) {
  if (auto* memo = window_.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))) memo->appendPlainText(toQt(line));
}

void QtUiPort::pause(int ms) {
  if (ms <= 0) {
    QCoreApplication::processEvents();
    return;
  }
  // A nested loop rather than a sleep: the other buttons stay live during the pause.
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

void QtUiPort::setControlEnabled(std::string_view controlName, bool enabled) {
  if (auto* control = window_.findChild<QWidget*>(toQt(controlName))) control->setEnabled(enabled);
}

}  // namespace zr::setup
