// The parameter pages' buttons and boxes, bound by control name to the core's handlers.
#include <QCheckBox>
#include <QPushButton>

#include "ui/page_views.h"
#include "ui/qt_text.h"
#include "ui/table_view.h"

namespace zr::setup {

PageBindings::PageBindings(QWidget& window, FormFields& form, MeterExchange& meter, UiPort& ui, Guard guarded,
                           std::function<bool()> threePhase)
    : window_(window),
      fields_(window),
      guarded_(std::move(guarded)),
      clock_(form, fields_, meter, ui),
      tariff_(form, fields_, meter, ui),
      limits_(form, fields_, meter, ui),
      identity_(form, fields_, meter, ui),
      status_(form, fields_, meter, ui),
      prepayment_(form, fields_, meter, ui),
      loadProfile_(form, fields_, meter, ui) {
  if (auto* grid = window.findChild<TableView*>(QStringLiteral("ValueListEditor1"))) grid->bind(status_.grid());
  if (auto* list = window.findChild<TableView*>(QStringLiteral("ListView2"))) list->bind(loadProfile_.records());

  ClockPage& c = clock_;
  onClick("BitBtn4", [&c] { c.BitBtn4Click(); });
  onClick("BitBtn5", [&c] { c.BitBtn5Click(); });
  onClick("BitBtn6", [&c] { c.BitBtn6Click(); });
  onClick("BitBtn7", [&c] { c.BitBtn7Click(); });
  onClick("BitBtn12", [&c] { c.BitBtn12Click(); });
  onClick("BitBtn13", [&c] { c.BitBtn13Click(); });
  onClick("BitBtn10", [&c] { c.BitBtn10Click(); });
  onClick("BitBtn11", [&c] { c.BitBtn11Click(); });
  onClick("BitBtn8", [&c] { c.BitBtn8Click(); });
  onClick("BitBtn9", [&c] { c.BitBtn9Click(); });

  TariffPage& t = tariff_;
  for (const TariffPage::Period& p : TariffPage::kPeriods) {
    const int period = p.number;
    onToggle(p.box, [&t, period] { t.periodBoxClick(period); });
  }
  onToggle("CheckBox11", [&t] { t.CheckBox11Click(); });
  onClick("BitBtn33", [&t] { t.BitBtn33Click(); });
  onClick("BitBtn34", [&t] { t.BitBtn34Click(); });

  LimitsPage& l = limits_;
  onClick("BitBtn14", [&l] { l.BitBtn14Click(); });
  onClick("BitBtn15", [&l] { l.BitBtn15Click(); });
  onClick("BitBtn17", [&l] { l.BitBtn17Click(); });
  onClick("BitBtn18", [&l] { l.BitBtn18Click(); });
  onClick("BitBtn20", [&l] { l.BitBtn20Click(); });
  onClick("BitBtn21", [&l] { l.BitBtn21Click(); });
  onClick("BitBtn22", [&l] { l.BitBtn22Click(); });
  onClick("BitBtn23", [&l] { l.BitBtn23Click(); });
  onClick("BitBtn24", [&l] { l.BitBtn24Click(); });
  onClick("BitBtn25", [&l] { l.BitBtn25Click(); });
  onClick("BitBtn40", [&l] { l.BitBtn40Click(); });
  onClick("BitBtn46", [&l] { l.BitBtn46Click(); });
  onClick("BitBtn47", [&l] { l.BitBtn47Click(); });
  onClick("BitBtn48", [&l] { l.BitBtn48Click(); });

  IdentityHandlers& i = identity_;
  onClick("Button1", [&i] { i.Button1Click(); });
  onClick("Button2", [&i] { i.Button2Click(); });

  StatusPage& s = status_;
  onClick("BitBtn16", [&s] { s.BitBtn16Click(); });
  onClick("BitBtn19", [&s] { s.BitBtn19Click(); });
  onClick("BitBtn26", [&s] { s.BitBtn26Click(); });
  onClick("BitBtn29", [&s] { s.BitBtn29Click(); });
  onClick("BitBtn28", [&s] { s.BitBtn28Click(); });
  onClick("BitBtn27", [&s] { s.BitBtn27Click(); });
  onClick("BitBtn31", [&s] { s.BitBtn31Click(); });

  PrepaymentPage& p = prepayment_;
  onClick("BitBtn30", [&p] { p.BitBtn30Click(); });
  onClick("BitBtn32", [&p] { p.BitBtn32Click(); });
  onClick("BitBtn35", [&p] { p.BitBtn35Click(); });
  onClick("BitBtn36", [&p] { p.BitBtn36Click(); });
  onClick("BitBtn37", [&p] { p.BitBtn37Click(); });
  onClick("BitBtn38", [&p] { p.BitBtn38Click(); });
  onClick("BitBtn39", [&p] { p.BitBtn39Click(); });
  onClick("BitBtn41", [&p] { p.BitBtn41Click(); });
  onClick("BitBtn42", [&p] { p.BitBtn42Click(); });

  LoadProfilePage& lp = loadProfile_;
  onClick("BitBtn43", [&lp, threePhase = std::move(threePhase)] {
    lp.setThreePhase(threePhase && threePhase());
    lp.BitBtn43Click();
  });
  onClick("BitBtn44", [&lp] { lp.BitBtn44Click(); });
  onClick("BitBtn45", [&lp] { lp.BitBtn45Click(); });
}

PageBindings::~PageBindings() = default;

void PageBindings::onClick(const char* name, std::function<void()> handler) {
  auto* b = window_.findChild<QPushButton*>(QString::fromLatin1(name));
  if (!b) return;
  QObject::connect(b, &QPushButton::clicked, &window_, [this, handler = std::move(handler)] { guarded_(handler); });
}

void PageBindings::onToggle(const char* name, std::function<void()> handler) {
  auto* box = window_.findChild<QCheckBox*>(QString::fromLatin1(name));
  if (!box) return;
  QObject::connect(box, &QCheckBox::toggled, &window_, [this, handler = std::move(handler)] { guarded_(handler); });
}

}  // namespace zr::setup
