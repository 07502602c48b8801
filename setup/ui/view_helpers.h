// Small helpers the page builders share: named widgets, and a group with an edit and its
// "Read" / "Set" buttons, the commonest shape of the parameter pages.
#pragma once

#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

namespace zr::setup {

template <class W>
W* named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

inline QPushButton* button(const char* caption, const char* name) {
  return named(new QPushButton(QString::fromLatin1(caption)), name);
}

inline QLineEdit* edit(const char* name, const char* text, int maxLength) {
  auto* e = named(new QLineEdit(QString::fromLatin1(text)), name);
  e->setMaxLength(maxLength);
  return e;
}

// A group holding one row: the widgets given, then stretch.
inline QGroupBox* groupRow(const char* caption, const char* name, std::initializer_list<QWidget*> widgets) {
  auto* group = named(new QGroupBox(QString::fromLatin1(caption)), name);
  auto* row = new QHBoxLayout(group);
  for (QWidget* w : widgets) row->addWidget(w);
  row->addStretch(1);
  return group;
}

inline QWidget* page(const char* name) {
  auto* p = new QWidget;
  p->setObjectName(QString::fromLatin1(name));
  return p;
}

}  // namespace zr::setup
