// The handlers of the parameter pages. Most are rows of the handler tables run through the
// shared read or set sequence; the tariff periods and the status grid add what is their own,
// under the window's handler names.
#pragma once

#include "core/handler_tables.h"
#include "core/page_handlers.h"
#include "core/table_model.h"

namespace zr::setup {

// "Date and Time".
class ClockPage : public PageHandlers {
 public:
  ClockPage(FormFields& form, PageFields& page, MeterExchange& meter, UiPort& ui)
      : PageHandlers(form, page, meter, ui, {kClockReads, kClockSets}) {}
};

// "Other": limits and constants, the EDU ID.
class LimitsPage : public PageHandlers {
 public:
  LimitsPage(FormFields& form, PageFields& page, MeterExchange& meter, UiPort& ui)
      : PageHandlers(form, page, meter, ui, {kLimitReads, kLimitSets}) {}
};

// "Set ID" (Button1) and "Read ID" (Button2). Edit1 keeps its text unless the read succeeds:
// an emptied field would be saved as the meter ID when the window closes.
class IdentityHandlers : public PageHandlers {
 public:
  IdentityHandlers(FormFields& form, PageFields& page, MeterExchange& meter, UiPort& ui)
      : PageHandlers(form, page, meter, ui, {{&kReadMeterNumber, 1}, {&kSetMeterAddress, 1}}) {}
};

// "Tariff": ten periods, each its own item C331 to C33A.
class TariffPage : public PageHandlers {
 public:
  using PageHandlers::PageHandlers;

  struct Period {
    int number;        // 1 to 10
    const char* edit;  // LabeledEditN
    const char* box;   // the box beside it (numbered by position)
  };
  static const Period kPeriods[10];

  // Any period box changed: its edit is enabled while the box is ticked.
  void periodBoxClick(int period);
  void CheckBox1Click() { periodBoxClick(1); }
  void CheckBox6Click() { periodBoxClick(2); }
  void CheckBox2Click() { periodBoxClick(3); }
  void CheckBox7Click() { periodBoxClick(4); }
  void CheckBox3Click() { periodBoxClick(5); }
  void CheckBox8Click() { periodBoxClick(6); }
  void CheckBox4Click() { periodBoxClick(7); }
  void CheckBox9Click() { periodBoxClick(8); }
  void CheckBox5Click() { periodBoxClick(9); }
  void CheckBox10Click() { periodBoxClick(10); }
  // "Select all": every box (CheckBox1 to CheckBox10) takes its state.
  void CheckBox11Click();
  void BitBtn33Click();  // "Read"
  void BitBtn34Click();  // "Set"

 private:
  void untick(const Period& p);
};

// "State word", "Relay control" and the open-meter-box clear.
class StatusPage : public PageHandlers {
 public:
  StatusPage(FormFields& form, PageFields& page, MeterExchange& meter, UiPort& ui);

  TableModel& grid() { return grid_; }  // ValueListEditor1

  void BitBtn29Click();  // "Clear"

 private:
  TableModel grid_;
};

// "Prepayment part".
class PrepaymentPage : public PageHandlers {
 public:
  PrepaymentPage(FormFields& form, PageFields& page, MeterExchange& meter, UiPort& ui)
      : PageHandlers(form, page, meter, ui, {kPrepaymentReads, kPrepaymentSets}) {}
};

}  // namespace zr::setup
