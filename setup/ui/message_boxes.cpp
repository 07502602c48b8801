#include "ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "com/object.h"
#include "ui/qt_text.h"

namespace zr::setup {
namespace {

void showBox(QMessageBox::Icon icon, const char* title, const std::string& text, QMessageBox::StandardButton button) {
  QMessageBox box(icon, QString::fromLatin1(title), toQt(text), button, QApplication::activeWindow());
  box.exec();
}

}  // namespace

void QtMessageBoxes::information(const std::string& text) {
  // A plain box: the title says "Information", the box itself carries no icon.
  showBox(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok);
}

void QtMessageBoxes::warningYes(const std::string& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), toQt(text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
  box.exec();
}

void QtMessageBoxes::error(const std::string& text) {
  showBox(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok);
}

std::string errorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const zr::com::HResultError& e) {
    char code[32];
    std::snprintf(code, sizeof code, "Error 0x%08X", static_cast<unsigned>(e.code()));
    return code;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

void showError(MessageBoxes& boxes, const std::exception_ptr& error) noexcept {
  try {
    boxes.error(errorText(error));
  } catch (...) {
    // Nothing is left to report it with; the window goes on.
  }
}

}  // namespace zr::setup
