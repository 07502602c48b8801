// "Relay control" and "State word": the relay commands, and the three status words read
// into a name/value grid.
#include <QGridLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "ui/page_views.h"
#include "ui/table_view.h"
#include "ui/view_helpers.h"

namespace zr::setup {

QWidget* buildRelayPage() {
  QWidget* p = page("TabSheet3");
  auto* layout = new QVBoxLayout(p);
  layout->addWidget(
      groupRow("Relay control", "GroupBox14", {button("Relay on", "BitBtn28"), button("Relay off", "BitBtn27")}));
  layout->addStretch(1);
  return p;
}

QWidget* buildStatusPage() {
  QWidget* p = page("TabSheet4");
  auto* layout = new QHBoxLayout(p);
  auto* column = new QVBoxLayout;
  column->addWidget(groupRow("State word of meter running", "GroupBox15", {button("Read", "BitBtn16")}));
  column->addWidget(groupRow("Meter alarm status", "GroupBox16", {button("Read", "BitBtn19")}));
  column->addWidget(groupRow("Relay status", "GroupBox17", {button("Read", "BitBtn26")}));
  column->addWidget(button("Clear", "BitBtn29"));
  column->addStretch(1);
  layout->addLayout(column);
  auto* grid = named(new TableView, "ValueListEditor1");
  grid->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(grid, 1);
  return p;
}

}  // namespace zr::setup
