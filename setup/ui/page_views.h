// The parameter pages of TForm1, one builder per page (each in its own file), and the
// binding of their buttons to the core's handlers. Widgets carry the control names of the
// design, so the binding, the fields adapter and the tests find them by name.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "core/form_fields.h"
#include "core/load_profile.h"
#include "core/meter_exchange.h"
#include "core/setup_pages.h"
#include "core/ui_port.h"
#include "ui/page_fields_qt.h"

class QLineEdit;
class QPlainTextEdit;

namespace zr::setup {

QWidget* buildClockPage();                                    // "Date and Time"
QWidget* buildTariffView(std::array<QLineEdit*, 10>& edits);  // "Tariff", edits in period order
QWidget* buildOtherPage();                                    // "Other"
QWidget* buildRelayPage();                                    // "Relay control"
QWidget* buildStatusPage();                                   // "State word"
QWidget* buildPrepaymentPage();                               // "Prepayment part"
QWidget* buildClass1Page();                                   // "LoadProfile" / "Class1"
QWidget* buildProfileSettingsPage(QPlainTextEdit*& memo);     // "LoadProfile" / "Parameter settings"

// The core's page handlers with the window's controls behind them. Made once the pages
// are built; every handler runs through guarded, which shows what it raises.
class PageBindings {
 public:
  using Guard = std::function<void(const std::function<void()>&)>;

  PageBindings(QWidget& window, FormFields& form, MeterExchange& meter, UiPort& ui, Guard guarded,
               std::function<bool()> threePhase);
  ~PageBindings();

  ClockPage& clock() { return clock_; }
  TariffPage& tariff() { return tariff_; }
  LimitsPage& limits() { return limits_; }
  IdentityHandlers& identity() { return identity_; }
  StatusPage& status() { return status_; }
  PrepaymentPage& prepayment() { return prepayment_; }
  LoadProfilePage& loadProfile() { return loadProfile_; }

 private:
  // Throw std::logic_error when the window has no such control or it is bound already.
  void onClick(const char* button, std::function<void()> handler);
  void onToggle(const char* box, std::function<void()> handler);
  template <class W>
  W& control(const char* name);

  QWidget& window_;
  std::set<std::string> bound_;
  QtPageFields fields_;
  Guard guarded_;
  ClockPage clock_;
  TariffPage tariff_;
  LimitsPage limits_;
  IdentityHandlers identity_;
  StatusPage status_;
  PrepaymentPage prepayment_;
  LoadProfilePage loadProfile_;
};

}  // namespace zr::setup
