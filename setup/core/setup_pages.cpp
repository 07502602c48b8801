#include "core/setup_pages.h"

#include <string>

#include "core/system_fun.h"

namespace zr::setup {

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
    : PageHandlers(form, page, meter, ui, {kStatusReads, kStatusSets}), grid_({{"Item", 287}, {"Value", 240}}) {
  grid_.append({"", ""});  // designed with one empty row
  statusGrid_ = &grid_;
}

void StatusPage::BitBtn29Click() { grid_.clear(); }

}  // namespace zr::setup
