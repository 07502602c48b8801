// "LoadProfile": the record range, "Read class 1" and "Stop" with the record list on
// "Class1"; the class-1 interval and the log on "Parameter settings".
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "ui/page_views.h"
#include "ui/table_view.h"
#include "ui/view_helpers.h"

namespace zr::setup {

QWidget* buildClass1Page() {
  QWidget* p = page("TabSheet10");
  auto* layout = new QVBoxLayout(p);
  auto* row = new QHBoxLayout;
  row->addWidget(
      groupRow("Area(1~2880)", "GroupBox23",
               {edit("Edit11", "1", 32767), new QLabel(QStringLiteral("-")), edit("Edit12", "2880", 32767)}));
  row->addWidget(button("Read class 1", "BitBtn43"));
  row->addWidget(button("Stop", "BitBtn44"));
  row->addStretch(1);
  layout->addLayout(row);
  layout->addWidget(named(new TableView, "ListView2"), 1);
  return p;
}

QWidget* buildProfileSettingsPage(QPlainTextEdit*& memo) {
  QWidget* p = page("TabSheet11");
  auto* layout = new QVBoxLayout(p);
  layout->addWidget(
      groupRow("Interval of class1", "GroupBox24",
               {edit("Edit13", "00", 2), new QLabel(QStringLiteral("min(<60)")), button("Set", "BitBtn45")}));
  memo = named(new QPlainTextEdit(QStringLiteral("Memo1")), "Memo1");
  memo->setReadOnly(false);
  layout->addWidget(memo, 1);
  return p;
}

}  // namespace zr::setup
