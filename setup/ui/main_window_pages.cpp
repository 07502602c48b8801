// The tabs of TForm1 whose handlers live elsewhere: "System parameters set" with its own
// pages and "LoadProfile" with the log. They hold what the window itself touches (the
// tariff period edits, the log Memo1); each tab's other controls come with its handlers.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/main_window.h"

namespace zr::setup {

QWidget* TForm1::buildSystemParametersPage() {
  auto* page = emptyPage("TabSheet2");
  auto* layout = new QVBoxLayout(page);
  auto* pages = new QTabWidget(page);
  pages->setObjectName(QStringLiteral("PageControl2"));
  pages->addTab(emptyPage("TabSheet7"), QStringLiteral("Date and Time"));
  pages->addTab(buildTariffPage(), QStringLiteral("Tariff"));
  pages->addTab(emptyPage("TabSheet9"), QStringLiteral("Other"));
  layout->addWidget(pages);
  return page;
}

QWidget* TForm1::buildTariffPage() {
  auto* page = emptyPage("TabSheet8");
  auto* layout = new QVBoxLayout(page);
  auto* group = new QGroupBox(QStringLiteral("Start time of the period and its tariff No. (HHmmNN)"));
  group->setObjectName(QStringLiteral("GroupBox6"));
  auto* grid = new QGridLayout(group);
  // Two rows of five: odd periods above, even periods below. The boxes are numbered by
  // position (CheckBox1-5 above, CheckBox6-10 below), the edits by period.
  for (int k = 1; k <= 10; ++k) {
    const int row = (k % 2 == 1) ? 0 : 1;
    const int column = (k - 1) / 2;
    const int box = row == 0 ? column + 1 : column + 6;
    auto* check = new QCheckBox;
    check->setObjectName(QStringLiteral("CheckBox%1").arg(box));
    auto* label = new QLabel(QStringLiteral("%1th").arg(k));
    auto* edit = new QLineEdit(QStringLiteral("000000"));
    edit->setObjectName(QStringLiteral("LabeledEdit%1").arg(k));
    edit->setMaxLength(6);
    edit->setToolTip(QStringLiteral("HHmmNN"));
    label->setBuddy(edit);
    auto* cell = new QVBoxLayout;
    cell->addWidget(label);
    auto* line = new QHBoxLayout;
    line->addWidget(check);
    line->addWidget(edit);
    cell->addLayout(line);
    grid->addLayout(cell, row, column);
    tariffEdits_[static_cast<size_t>(k - 1)] = edit;
  }
  layout->addWidget(group);
  layout->addStretch(1);
  return page;
}

QWidget* TForm1::buildLoadProfilePage() {
  auto* page = emptyPage("TabSheet6");
  auto* layout = new QVBoxLayout(page);
  auto* pages = new QTabWidget(page);
  pages->setObjectName(QStringLiteral("PageControl3"));
  pages->addTab(emptyPage("TabSheet10"), QStringLiteral("Class1"));
  auto* settingsPage = emptyPage("TabSheet11");
  auto* settingsLayout = new QVBoxLayout(settingsPage);
  Memo1 = new QPlainTextEdit(QStringLiteral("Memo1"));
  Memo1->setObjectName(QStringLiteral("Memo1"));
  settingsLayout->addWidget(Memo1);
  pages->addTab(settingsPage, QStringLiteral("Parameter settings"));
  layout->addWidget(pages);
  return page;
}

}  // namespace zr::setup
