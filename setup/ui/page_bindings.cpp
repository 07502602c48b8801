// The parameter pages' buttons and boxes, bound by control name to the core's handlers.
#include <QCheckBox>
#include <QPushButton>
#include <initializer_list>
#include <stdexcept>
#include <string>

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

  // A row's button is bound from its row; a name the window lacks fails here, at start.
  for (PageHandlers* page :
       std::initializer_list<PageHandlers*>{&clock_, &limits_, &identity_, &status_, &prepayment_}) {
    for (const ReadItem& row : page->rows().reads) onClick(row.button, [page, &row] { page->runRead(row); });
    for (const SetItem& row : page->rows().sets) onClick(row.button, [page, &row] { page->runSet(row); });
  }

  TariffPage& t = tariff_;
  for (const TariffPage::Period& p : TariffPage::kPeriods) {
    const int period = p.number;
    onToggle(p.box, [&t, period] { t.periodBoxClick(period); });
  }
  onToggle("CheckBox11", [&t] { t.CheckBox11Click(); });
  onClick("BitBtn33", [&t] { t.BitBtn33Click(); });
  onClick("BitBtn34", [&t] { t.BitBtn34Click(); });

  onClick("BitBtn29", [this] { status_.BitBtn29Click(); });

  LoadProfilePage& lp = loadProfile_;
  onClick("BitBtn43", [&lp, threePhase = std::move(threePhase)] {
    lp.setThreePhase(threePhase && threePhase());
    lp.BitBtn43Click();
  });
  onClick("BitBtn44", [&lp] { lp.BitBtn44Click(); });
  onClick("BitBtn45", [&lp] { lp.BitBtn45Click(); });
}

PageBindings::~PageBindings() = default;

template <class W>
W& PageBindings::control(const char* name) {
  // A misspelt name or a second handler for one control would otherwise show only when the
  // control is used, as a button that does nothing or does two things.
  if (!bound_.insert(name).second) throw std::logic_error(std::string(name) + " is bound twice");
  auto* w = window_.findChild<W*>(QString::fromLatin1(name));
  if (!w) throw std::logic_error("the window has no " + std::string(name));
  return *w;
}

void PageBindings::onClick(const char* name, std::function<void()> handler) {
  QObject::connect(&control<QPushButton>(name), &QPushButton::clicked, &window_,
                   [this, handler = std::move(handler)] { guarded_(handler); });
}

void PageBindings::onToggle(const char* name, std::function<void()> handler) {
  QObject::connect(&control<QCheckBox>(name), &QCheckBox::toggled, &window_,
                   [this, handler = std::move(handler)] { guarded_(handler); });
}

}  // namespace zr::setup
