// "Date and Time": date and week, time, scroll-display cycle, sliding time and the date of
// automatic meter reading, each with its "Read" and "Set".
#include <QDateEdit>
#include <QGridLayout>
#include <QTimeEdit>

#include "ui/page_views.h"
#include "ui/view_helpers.h"

namespace zr::setup {

QWidget* buildClockPage() {
  QWidget* p = page("TabSheet7");
  auto* grid = new QGridLayout(p);

  auto* date = named(new QDateEdit(QDate::currentDate()), "DateTimePicker1");
  date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  date->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  grid->addWidget(groupRow("Date and week", "GroupBox2",
                           {date, new QLabel(QStringLiteral("Day of week:")), edit("Edit2", "", 2),
                            button("Read", "BitBtn4"), button("Set", "BitBtn5")}),
                  0, 0);

  auto* time = named(new QTimeEdit(QTime::currentTime()), "DateTimePicker2");
  time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  grid->addWidget(groupRow("Time", "GroupBox3", {time, button("Read", "BitBtn6"), button("Set", "BitBtn7")}), 0, 1);

  grid->addWidget(groupRow("Cycle time of scroll-display(seconds)", "GroupBox4",
                           {edit("scroll", "", 2), button("Read", "BitBtn12"), button("Set", "BitBtn13")}),
                  1, 0);
  grid->addWidget(groupRow("Sliding time(minutes)", "GroupBox5",
                           {edit("Edit6", "", 2), button("Read", "BitBtn10"), button("Set", "BitBtn11")}),
                  1, 1);
  grid->addWidget(groupRow("Date of automatic meter reading", "GroupBox7",
                           {new QLabel(QStringLiteral("Day")), edit("Edit3", "", 2), new QLabel(QStringLiteral("Hour")),
                            edit("Edit4", "", 2), button("Read", "BitBtn8"), button("Set", "BitBtn9")}),
                  2, 0);
  grid->setRowStretch(3, 1);
  return p;
}

}  // namespace zr::setup
