// "Tariff": the ten daily periods (HHmmNN) in two rows of five, odd periods above, with a
// box beside each, "Select all", "Read" and "Set".
#include <QCheckBox>
#include <QGridLayout>
#include <QVBoxLayout>

#include "ui/page_views.h"
#include "ui/view_helpers.h"

namespace zr::setup {

QWidget* buildTariffView(std::array<QLineEdit*, 10>& edits) {
  QWidget* p = page("TabSheet8");
  auto* layout = new QVBoxLayout(p);
  auto* group =
      named(new QGroupBox(QStringLiteral("Start time of the period and its tariff No. (HHmmNN)")), "GroupBox6");
  auto* grid = new QGridLayout(group);
  // The boxes are numbered by position (CheckBox1-5 above, CheckBox6-10 below), the edits
  // by period.
  for (int k = 1; k <= 10; ++k) {
    const int row = (k % 2 == 1) ? 0 : 1;
    const int column = (k - 1) / 2;
    const int box = row == 0 ? column + 1 : column + 6;
    auto* check = new QCheckBox;
    check->setObjectName(QStringLiteral("CheckBox%1").arg(box));
    auto* label = new QLabel(QStringLiteral("%1th").arg(k));
    auto* e = new QLineEdit(QStringLiteral("000000"));
    e->setObjectName(QStringLiteral("LabeledEdit%1").arg(k));
    e->setMaxLength(6);
    e->setToolTip(QStringLiteral("HHmmNN"));
    label->setBuddy(e);
    auto* cell = new QVBoxLayout;
    cell->addWidget(label);
    auto* line = new QHBoxLayout;
    line->addWidget(check);
    line->addWidget(e);
    cell->addLayout(line);
    grid->addLayout(cell, row, column);
    edits[static_cast<size_t>(k - 1)] = e;
  }
  layout->addWidget(group);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(named(new QCheckBox(QStringLiteral("Select all")), "CheckBox11"));
  buttons->addWidget(button("Read", "BitBtn33"));
  buttons->addWidget(button("Set", "BitBtn34"));
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->addStretch(1);
  return p;
}

}  // namespace zr::setup
