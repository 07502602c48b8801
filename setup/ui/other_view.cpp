// "Other": the voltage assessments, power ceiling, pulse constants and current limit, the
// EDU ID and the open-meter-box clear. Some of it is designed out of sight; the handlers
// behind it work whenever it is pressed.
#include <QGridLayout>

#include "ui/page_views.h"
#include "ui/view_helpers.h"

namespace zr::setup {

QWidget* buildOtherPage() {
  QWidget* p = page("TabSheet9");
  auto* grid = new QGridLayout(p);
  grid->addWidget(groupRow("Maximum voltage assessment(xxxx.xx v)", "GroupBox8",
                           {edit("Edit5", "0000.00", 7), button("Read", "BitBtn14"), button("Set", "BitBtn15")}),
                  0, 0);
  grid->addWidget(groupRow("Lower voltage assessment(xxxx.xx v)", "GroupBox9",
                           {edit("Edit7", "0000.00", 7), button("Read", "BitBtn17"), button("Set", "BitBtn18")}),
                  0, 1);
  QGroupBox* ceiling = groupRow("Active power ceiling(xx.xx kW)", "GroupBox10",
                                {edit("Edit8", "00.00", 5), button("Read", "BitBtn20"), button("Set", "BitBtn21")});
  ceiling->setVisible(false);
  grid->addWidget(ceiling, 1, 0);
  QPushButton* activeSet = button("Set", "BitBtn23");
  QPushButton* reactiveSet = button("Set", "BitBtn25");
  activeSet->setVisible(false);
  reactiveSet->setVisible(false);
  grid->addWidget(groupRow("Active pulse constant(xxxxxx)", "GroupBox11",
                           {edit("Edit9", "000000", 6), button("Read", "BitBtn22"), activeSet}),
                  2, 0);
  grid->addWidget(groupRow("Reactive pulse constant(xxxxxx)", "GroupBox12",
                           {edit("Edit10", "000000", 6), button("Read", "BitBtn24"), reactiveSet}),
                  2, 1);
  QGroupBox* current = groupRow("Current  limit(xxxx)", "GroupBox25",
                                {edit("Edit14", "0000", 5), button("Read", "BitBtn40"), button("Set", "BitBtn46")});
  current->setVisible(false);
  grid->addWidget(current, 3, 0);
  QGroupBox* edu =
      groupRow("EDU ID", "GroupBox26",
               {edit("Edit15", "000000000001", 12), button("Read", "BitBtn47"), button("Set", "BitBtn48")});
  edu->setVisible(false);
  grid->addWidget(edu, 3, 1);
  QGroupBox* box = groupRow("State of open meter box", "GroupBox13", {button("Clear", "BitBtn31")});
  box->setVisible(false);
  grid->addWidget(box, 4, 0);
  grid->setRowStretch(5, 1);
  return p;
}

}  // namespace zr::setup
