// "Prepayment part": the five registers, each an edit with its "Read" and (but for the
// remaining electricity) "Set". The edits take what their registers hold: digits, the
// point of the 9-character texts, blanks; the remaining electricity also a leading "-".
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "ui/page_views.h"
#include "ui/view_helpers.h"

namespace zr::setup {
namespace {

QLineEdit* register_(const char* name, int length, const char* pattern) {
  QLineEdit* e = edit(name, "", length);
  e->setValidator(new QRegularExpressionValidator(QRegularExpression(QString::fromLatin1(pattern)), e));
  return e;
}

}  // namespace

QWidget* buildPrepaymentPage() {
  QWidget* p = page("TabSheet5");
  auto* layout = new QVBoxLayout(p);
  layout->addWidget(groupRow("The total purchase of electricity", "GroupBox18",
                             {register_("MaskEdit1", 9, "[0-9 ]{0,6}\\.?[0-9 ]{0,2}"), button("Read", "BitBtn30"),
                              button("Set", "BitBtn32")}));
  layout->addWidget(
      groupRow("The truste electricity", "GroupBox19",
               {register_("MaskEdit2", 4, "[0-9 ]{0,4}"), button("Read", "BitBtn35"), button("Set", "BitBtn36")}));
  layout->addWidget(
      groupRow("Alarm electricity", "GroupBox20",
               {register_("MaskEdit3", 4, "[0-9 ]{0,4}"), button("Read", "BitBtn37"), button("Set", "BitBtn38")}));
  layout->addWidget(groupRow("Remaining electricity", "GroupBox21",
                             {register_("MaskEdit4", 10, "-?[0-9 ]{0,7}\\.?[0-9 ]{0,2}"), button("Read", "BitBtn39")}));
  layout->addWidget(
      groupRow("Meter type", "GroupBox22",
               {register_("MaskEdit5", 2, "[0-9 ]{0,2}"), button("Read", "BitBtn41"), button("Set", "BitBtn42")}));
  layout->addStretch(1);
  return p;
}

}  // namespace zr::setup
