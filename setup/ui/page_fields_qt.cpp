#include "ui/page_fields_qt.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimeEdit>

#include "ui/qt_text.h"

namespace zr::setup {
namespace {

constexpr char kDateFormat[] = "yyyy-MM-dd";
constexpr char kTimeFormat[] = "HH:mm:ss";

}  // namespace

std::string QtPageFields::text(std::string_view name) const {
  QWidget* w = window_.findChild<QWidget*>(toQt(name));
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return fromQt(edit->text());
  if (auto* date = qobject_cast<QDateEdit*>(w)) return fromQt(date->date().toString(QLatin1String(kDateFormat)));
  if (auto* time = qobject_cast<QTimeEdit*>(w)) return fromQt(time->time().toString(QLatin1String(kTimeFormat)));
  return {};
}

void QtPageFields::setText(std::string_view name, const std::string& text) {
  QWidget* w = window_.findChild<QWidget*>(toQt(name));
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(toQt(text));
  } else if (auto* date = qobject_cast<QDateEdit*>(w)) {
    date->setDate(QDate::fromString(toQt(text), QLatin1String(kDateFormat)));
  } else if (auto* time = qobject_cast<QTimeEdit*>(w)) {
    time->setTime(QTime::fromString(toQt(text), QLatin1String(kTimeFormat)));
  }
}

bool QtPageFields::isChecked(std::string_view name) const {
  auto* box = window_.findChild<QCheckBox*>(toQt(name));
  return box && box->isChecked();
}

void QtPageFields::setChecked(std::string_view name, bool checked) {
  if (auto* box = window_.findChild<QCheckBox*>(toQt(name))) {
    const QSignalBlocker quiet(box);
    box->setChecked(checked);
  }
}

}  // namespace zr::setup
