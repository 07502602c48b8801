#include "core/setup_pages.h"

#include <string>

#include "core/handler_tables.h"
#include "core/system_fun.h"

namespace zr::setup {

// ---- Date and Time ---------------------------------------------------------------------

void ClockPage::BitBtn4Click() { runRead(readItemFor(kClockReads, "BitBtn4")); }
void ClockPage::BitBtn5Click() { runSet(setItemFor(kClockSets, "BitBtn5")); }
void ClockPage::BitBtn6Click() { runRead(readItemFor(kClockReads, "BitBtn6")); }
void ClockPage::BitBtn7Click() { runSet(setItemFor(kClockSets, "BitBtn7")); }
void ClockPage::BitBtn12Click() { runRead(readItemFor(kClockReads, "BitBtn12")); }
void ClockPage::BitBtn13Click() { runSet(setItemFor(kClockSets, "BitBtn13")); }
void ClockPage::BitBtn10Click() { runRead(readItemFor(kClockReads, "BitBtn10")); }
void ClockPage::BitBtn11Click() { runSet(setItemFor(kClockSets, "BitBtn11")); }
void ClockPage::BitBtn8Click() { runRead(readItemFor(kClockReads, "BitBtn8")); }
void ClockPage::BitBtn9Click() { runSet(setItemFor(kClockSets, "BitBtn9")); }

// ---- Other -----------------------------------------------------------------------------

void LimitsPage::BitBtn14Click() { runRead(readItemFor(kLimitReads, "BitBtn14")); }
void LimitsPage::BitBtn15Click() { runSet(setItemFor(kLimitSets, "BitBtn15")); }
void LimitsPage::BitBtn17Click() { runRead(readItemFor(kLimitReads, "BitBtn17")); }
void LimitsPage::BitBtn18Click() { runSet(setItemFor(kLimitSets, "BitBtn18")); }
void LimitsPage::BitBtn20Click() { runRead(readItemFor(kLimitReads, "BitBtn20")); }
void LimitsPage::BitBtn21Click() { runSet(setItemFor(kLimitSets, "BitBtn21")); }
void LimitsPage::BitBtn22Click() { runRead(readItemFor(kLimitReads, "BitBtn22")); }
void LimitsPage::BitBtn23Click() { runSet(setItemFor(kLimitSets, "BitBtn23")); }
void LimitsPage::BitBtn24Click() { runRead(readItemFor(kLimitReads, "BitBtn24")); }
void LimitsPage::BitBtn25Click() { runSet(setItemFor(kLimitSets, "BitBtn25")); }
void LimitsPage::BitBtn40Click() { runRead(readItemFor(kLimitReads, "BitBtn40")); }
void LimitsPage::BitBtn46Click() { runSet(setItemFor(kLimitSets, "BitBtn46")); }
void LimitsPage::BitBtn47Click() { runRead(readItemFor(kLimitReads, "BitBtn47")); }
void LimitsPage::BitBtn48Click() { runSet(setItemFor(kLimitSets, "BitBtn48")); }

// ---- Meter identity --------------------------------------------------------------------

void IdentityHandlers::Button1Click() { runSet(kSetMeterAddress); }
void IdentityHandlers::Button2Click() { runRead(kReadMeterNumber); }

// ---- Tariff ----------------------------------------------------------------------------

const TariffPage::Period TariffPage::kPeriods[10] = {
    {1, "LabeledEdit1", "CheckBox1"},    {2, "LabeledEdit2", "CheckBox6"}, {3, "LabeledEdit3", "CheckBox2"},
    {4, "LabeledEdit4", "CheckBox7"},    {5, "LabeledEdit5", "CheckBox3"}, {6, "LabeledEdit6", "CheckBox8"},
    {7, "LabeledEdit7", "CheckBox4"},    {8, "LabeledEdit8", "CheckBox9"}, {9, "LabeledEdit9", "CheckBox5"},
    {10, "LabeledEdit10", "CheckBox10"},
};

void TariffPage::periodBoxClick(int period) {
  const Period& p = kPeriods[period - 1];
  ui_.setControlEnabled(p.edit, page_.isChecked(p.box));
}

void TariffPage::CheckBox11Click() {
  const bool state = page_.isChecked("CheckBox11");
  // In box order, CheckBox1 to CheckBox10, each running its own handler.
  for (int box = 1; box <= 10; ++box) {
    const std::string name = "CheckBox" + std::to_string(box);
    page_.setChecked(name, state);
    for (const Period& p : kPeriods)
      if (name == p.box) periodBoxClick(p.number);
  }
}

void TariffPage::untick(const Period& p) {
  page_.setChecked(p.box, false);
  periodBoxClick(p.number);
}

void TariffPage::BitBtn33Click() {
  run(
      "BitBtn33", Checks::kNone, PortRule::kLocalOnly,
      [&] {
        for (const Period& p : kPeriods) {
          if (!page_.isChecked(p.box)) continue;
          const uint16_t di = static_cast<uint16_t>(0xC330 + p.number);
          meter_.prepareRequest({meterAddress(), 0x01, {static_cast<uint8_t>(di & 0xFF), 0xC3}}, false);
          const std::optional<FrameReply> reply = meter_.exchangeRequest();
          const std::optional<std::string> text =
              reply && reply->control == 0x81 && replyCarries(*reply, di, 3)
                  ? decodeValue({Coding::kDigits, 0, 3, 0}, std::span<const uint8_t>(reply->data).subspan(2))
                  : std::nullopt;
          if (!text) {
            ui_.showWarning("Tariff No " + std::to_string(p.number) + " :read failed!!");
            return;
          }
          page_.setText(p.edit, *text);
          untick(p);
        }
      },
      "Read complete!");
}

void TariffPage::BitBtn34Click() {
  run(
      "BitBtn34", Checks::kNone, PortRule::kLocalOnly,
      [&] {
        const auto password = passwordBytes();
        for (const Period& p : kPeriods) {
          if (!page_.isChecked(p.box)) continue;
          const std::string text = FitTextToWidth(page_.text(p.edit), '0', 6);
          page_.setText(p.edit, text);
          meter_.prepareRequest(
              {meterAddress(),
               0x04,
               {static_cast<uint8_t>(0x30 + p.number), 0xC3, 0x00, password[0], password[1], password[2],
                valueByteFromText(text, 5), valueByteFromText(text, 3), valueByteFromText(text, 1)}},
              false);
          const std::optional<FrameReply> reply = meter_.exchangeRequest();
          if (!reply || reply->control != 0x84) {
            ui_.showMessage("Tariff No " + std::to_string(p.number) + " :Set failed!!");
            return;
          }
          untick(p);
        }
      },
      "Set complete!");
}

// ---- Status words and relay ------------------------------------------------------------

StatusPage::StatusPage(FormFields& form, PageFields& page, MeterExchange& meter, UiPort& ui)
    : PageHandlers(form, page, meter, ui), grid_({{"Item", 287}, {"Value", 240}}) {
  grid_.append({"", ""});  // designed with one empty row
}

void StatusPage::BitBtn16Click() { runRead(readItemFor(kStatusReads, "BitBtn16"), &grid_); }
void StatusPage::BitBtn19Click() { runRead(readItemFor(kStatusReads, "BitBtn19"), &grid_); }
void StatusPage::BitBtn26Click() { runRead(readItemFor(kStatusReads, "BitBtn26"), &grid_); }
void StatusPage::BitBtn29Click() { grid_.clear(); }
void StatusPage::BitBtn28Click() { runSet(setItemFor(kStatusSets, "BitBtn28")); }
void StatusPage::BitBtn27Click() { runSet(setItemFor(kStatusSets, "BitBtn27")); }
void StatusPage::BitBtn31Click() { runSet(setItemFor(kStatusSets, "BitBtn31")); }

// ---- Prepayment registers --------------------------------------------------------------

void PrepaymentPage::BitBtn30Click() { runRead(readItemFor(kPrepaymentReads, "BitBtn30")); }
void PrepaymentPage::BitBtn32Click() { runSet(setItemFor(kPrepaymentSets, "BitBtn32")); }
void PrepaymentPage::BitBtn35Click() { runRead(readItemFor(kPrepaymentReads, "BitBtn35")); }
void PrepaymentPage::BitBtn36Click() { runSet(setItemFor(kPrepaymentSets, "BitBtn36")); }
void PrepaymentPage::BitBtn37Click() { runRead(readItemFor(kPrepaymentReads, "BitBtn37")); }
void PrepaymentPage::BitBtn38Click() { runSet(setItemFor(kPrepaymentSets, "BitBtn38")); }
void PrepaymentPage::BitBtn39Click() { runRead(readItemFor(kPrepaymentReads, "BitBtn39")); }
void PrepaymentPage::BitBtn41Click() { runRead(readItemFor(kPrepaymentReads, "BitBtn41")); }
void PrepaymentPage::BitBtn42Click() { runSet(setItemFor(kPrepaymentSets, "BitBtn42")); }

}  // namespace zr::setup
