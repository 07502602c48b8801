// The handlers of the parameter pages, by the window's handler names. Each is one row of
// the handler tables run through the shared read or set sequence; the tariff periods and
// the status grid add what is their own.
#pragma once

#include "core/page_handlers.h"
#include "core/table_model.h"

namespace zr::setup {

// "Date and Time".
class ClockPage : public PageHandlers {
 public:
  using PageHandlers::PageHandlers;
  void BitBtn4Click();   // read date and week
  void BitBtn5Click();   // set date and week
  void BitBtn6Click();   // read time
  void BitBtn7Click();   // set time
  void BitBtn12Click();  // read scroll-display cycle
  void BitBtn13Click();  // set scroll-display cycle
  void BitBtn10Click();  // read sliding time
  void BitBtn11Click();  // set sliding time
  void BitBtn8Click();   // read automatic meter reading
  void BitBtn9Click();   // set automatic meter reading
};

// "Other": limits and constants, the EDU ID.
class LimitsPage : public PageHandlers {
 public:
  using PageHandlers::PageHandlers;
  void BitBtn14Click();  // maximum voltage assessment
  void BitBtn15Click();
  void BitBtn17Click();  // lower voltage assessment
  void BitBtn18Click();
  void BitBtn20Click();  // active power ceiling
  void BitBtn21Click();
  void BitBtn22Click();  // active pulse constant
  void BitBtn23Click();
  void BitBtn24Click();  // reactive pulse constant
  void BitBtn25Click();
  void BitBtn40Click();  // current limit
  void BitBtn46Click();
  void BitBtn47Click();  // EDU ID
  void BitBtn48Click();
};

// "Set ID" and "Read ID".
class IdentityHandlers : public PageHandlers {
 public:
  using PageHandlers::PageHandlers;
  void Button1Click();
  // Edit1 keeps its text unless the read succeeds: an emptied field would be saved as the
  // meter ID when the window closes.
  void Button2Click();
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

  void BitBtn16Click();  // running state word
  void BitBtn19Click();  // alarm status word
  void BitBtn26Click();  // relay status word
  void BitBtn29Click();  // "Clear"
  void BitBtn28Click();  // "Relay on"
  void BitBtn27Click();  // "Relay off"
  void BitBtn31Click();  // clear the open-meter-box state

 private:
  TableModel grid_;
};

// "Prepayment part".
class PrepaymentPage : public PageHandlers {
 public:
  using PageHandlers::PageHandlers;
  void BitBtn30Click();  // total purchase
  void BitBtn32Click();
  void BitBtn35Click();  // trusted electricity
  void BitBtn36Click();
  void BitBtn37Click();  // alarm electricity
  void BitBtn38Click();
  void BitBtn39Click();  // remaining electricity (read only)
  void BitBtn41Click();  // meter type
  void BitBtn42Click();
};

}  // namespace zr::setup
