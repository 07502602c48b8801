#include "dialog_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace kavlink::dialog {
namespace {

QString qs(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

std::string utf8(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace

DialogWindow::DialogWindow(DialogModel& model, QWidget* owner)
    : QDialog(owner), model_(model), layout_(model.layout()) {
  setWindowTitle(qs(layout_.title));
  QFont font(qs(layout_.fontFamily));
  font.setPointSize(layout_.fontPoints);
  setFont(font);

  auto* top = new QVBoxLayout(this);
  auto* groups = new QHBoxLayout;
  top->addLayout(groups);
  std::vector<QFormLayout*> forms;
  for (std::string_view name : layout_.groups) {
    auto* box = new QGroupBox(qs(name));
    forms.push_back(new QFormLayout(box));
    groups->addWidget(box, 0, Qt::AlignTop);
  }
  auto* loose = new QFormLayout;  // controls outside every group
  top->addLayout(loose);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();

  for (const DialogControl& c : layout_.controls) {
    QWidget* w = nullptr;
    switch (c.kind) {
      case ControlKind::EditCombo:
      case ControlKind::DropList:
      case ControlKind::SortedDropList: {
        auto* box = new QComboBox;
        box->setEditable(c.kind == ControlKind::EditCombo);
        box->setInsertPolicy(QComboBox::NoInsert);
        std::vector<std::string_view> items = c.items;
        if (c.kind == ControlKind::SortedDropList) std::sort(items.begin(), items.end());
        for (std::string_view item : items) box->addItem(qs(item));
        // Only the user's pick: the model's own select does not come back to it.
        connect(box, &QComboBox::activated, this,
                [this, id = c.id] { callModel([&] { model_.selectionChanged(*this, id); }); });
        w = box;
        break;
      }
      case ControlKind::CheckBox:
        w = new QCheckBox(qs(c.label));
        break;
      case ControlKind::Edit:
        w = new QLineEdit;
        break;
      case ControlKind::Button:
      case ControlKind::DefaultButton: {
        auto* button = new QPushButton(qs(c.label));
        button->setAutoDefault(false);
        button->setDefault(c.kind == ControlKind::DefaultButton);
        connect(button, &QPushButton::clicked, this, [this, id = c.id] { pressed(id); });
        w = button;
        break;
      }
    }
    w->setObjectName(QStringLiteral("control%1").arg(c.id));
    controls_[c.id] = w;
    if (c.kind == ControlKind::Button || c.kind == ControlKind::DefaultButton) {
      buttons->addWidget(w);
      continue;
    }
    QFormLayout* form = c.group >= 0 && static_cast<size_t>(c.group) < forms.size() ? forms[c.group] : loose;
    if (c.kind == ControlKind::CheckBox) {
      form->addRow(w);
    } else {
      auto* label = new QLabel(qs(c.label));
      label->setBuddy(w);
      form->addRow(label, w);
    }
  }
  top->addLayout(buttons);
}

int DialogWindow::run() {
  callModel([&] { model_.start(*this); });
  if (!error_.empty()) return 0;
  return exec();
}

template <class F>
void DialogWindow::callModel(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    error_ = e.what();
    done(0);
  } catch (...) {
    error_ = "Unknown error";
    done(0);
  }
}

void DialogWindow::pressed(int id) {
  if (id == kIdOk) {
    callModel([&] { model_.accept(*this); });
    if (error_.empty()) done(kIdOk);
  } else {
    done(kIdCancel);
  }
}

void DialogWindow::reject() { done(kIdCancel); }

QWidget* DialogWindow::control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void DialogWindow::setItems(int id, const std::vector<std::string>& items) {
  if (auto* box = qobject_cast<QComboBox*>(control(id))) {
    box->clear();
    for (const std::string& item : items) box->addItem(qs(item));
  }
}

void DialogWindow::setText(int id, const std::string& text) {
  QWidget* w = control(id);
  if (auto* box = qobject_cast<QComboBox*>(w); box && box->isEditable()) box->setEditText(qs(text));
  if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(qs(text));
}

std::string DialogWindow::text(int id) const {
  QWidget* w = control(id);
  if (auto* box = qobject_cast<QComboBox*>(w)) return utf8(box->currentText());
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return utf8(edit->text());
  return {};
}

void DialogWindow::select(int id, int index) {
  if (auto* box = qobject_cast<QComboBox*>(control(id))) box->setCurrentIndex(index < box->count() ? index : -1);
}

int DialogWindow::selection(int id) const {
  auto* box = qobject_cast<QComboBox*>(control(id));
  return box ? box->currentIndex() : -1;
}

void DialogWindow::setChecked(int id, bool checked) {
  if (auto* box = qobject_cast<QCheckBox*>(control(id))) box->setChecked(checked);
}

bool DialogWindow::checked(int id) const {
  auto* box = qobject_cast<QCheckBox*>(control(id));
  return box && box->isChecked();
}

}  // namespace kavlink::dialog
