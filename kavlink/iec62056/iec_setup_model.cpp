#include "iec62056/iec_setup_model.h"

#include "iec62056/zr_iec62056_21.h"
#include "module/dialog_host.h"
#include "module/dialog_text.h"

namespace kavlink::iec {

SetupForm formFromSettings(const LinkSettings& s) {
  SetupForm f;
  f.deviceAddress = s.deviceAddress;
  f.password = s.password;
  f.startBaudrate = std::to_string(s.startBaudrate);
  f.switchBaudDelay = std::to_string(s.switchBaudDelay);
  f.wakeupCharCount = std::to_string(s.wakeupCharCount);
  f.formatW = std::to_string(s.formatW);
  f.formatR = std::to_string(s.formatR);
  f.formatP = std::to_string(s.formatP);
  f.formatE = std::to_string(s.formatE);
  f.formatB = std::to_string(s.formatB);
  f.msgTimeout = std::to_string(s.msgTimeout);
  f.msgDelay = std::to_string(s.msgDelay);
  f.msgMaxLen = std::to_string(s.msgMaxLen);
  f.displayFormatIndex = s.msgDisplayFormat - 1;
  f.msgNotify = s.msgNotify != 0;
  f.msgImmediate = s.msgImmediate != 0;
  f.msgDisplayGroup = s.msgDisplayGroup != 0;
  return f;
}

int32_t dialogNumber(const std::string& text) { return dialog::readDecimal(text).value; }

void applyForm(const SetupForm& form, CZrIEC62056_21& control) {
  LinkSettings& s = control.settings();
  s.deviceAddress = form.deviceAddress;
  s.password = form.password;
  s.startBaudrate = dialogNumber(form.startBaudrate);
  s.switchBaudDelay = dialogNumber(form.switchBaudDelay);
  s.wakeupCharCount = dialogNumber(form.wakeupCharCount);
  s.msgTimeout = dialogNumber(form.msgTimeout);
  s.msgDelay = dialogNumber(form.msgDelay);
  s.msgMaxLen = dialogNumber(form.msgMaxLen);
  control.put_Format_W(dialogNumber(form.formatW));
  control.put_Format_R(dialogNumber(form.formatR));
  control.put_Format_P(dialogNumber(form.formatP));
  control.put_Format_E(dialogNumber(form.formatE));
  control.put_Format_B(dialogNumber(form.formatB));
  s.msgDisplayFormat = form.displayFormatIndex + 1;
  s.msgNotify = form.msgNotify ? 1 : 0;
  s.msgImmediate = form.msgImmediate ? 1 : 0;
  s.msgDisplayGroup = form.msgDisplayGroup ? 1 : 0;
}

namespace {

using dialog::ControlKind;
using M = IecSetupModel;
enum Group { kGeneral, kFormat, kMessage };

const dialog::DialogLayout kLayout{
    .title = "IEC62056-21 Config",
    .fontFamily = "宋体",
    .fontPoints = 9,
    .groups = {"General", "Format", "Message"},
    .controls =
        {
            {M::kDeviceAddress, ControlKind::Edit, "Device address:", kGeneral},
            {M::kPassword, ControlKind::Edit, "Password:", kGeneral},
            {M::kStartBaudrate, ControlKind::Edit, "Start baudrate:", kGeneral},
            {M::kSwitchBaudDelay, ControlKind::Edit, "Switch baud delay:", kGeneral},
            {M::kWakeupCharCount, ControlKind::Edit, "Wakeup char count:", kGeneral},
            {M::kFormatW, ControlKind::Edit, "Format--W:", kFormat},
            {M::kFormatR, ControlKind::Edit, "Format--R:", kFormat},
            {M::kFormatP, ControlKind::Edit, "Format--P:", kFormat},
            {M::kFormatE, ControlKind::Edit, "Format--E:", kFormat},
            {M::kFormatB, ControlKind::Edit, "Format--B:", kFormat},
            {M::kDisplayFormat,
             ControlKind::SortedDropList,
             "Display format:",
             kMessage,
             {kDisplayFormats[0], kDisplayFormats[1], kDisplayFormats[2]}},
            {M::kMsgNotify, ControlKind::CheckBox, "Use message notify", kMessage},
            {M::kMsgImmediate, ControlKind::CheckBox, "Immediately display message", kMessage},
            {M::kMsgDisplayGroup, ControlKind::CheckBox, "Display data group", kMessage},
            {M::kMsgTimeout, ControlKind::Edit, "Message wait timeout(ms):", kMessage},
            {M::kMsgDelay, ControlKind::Edit, "Send message interval(ms):", kMessage},
            {M::kMsgMaxLen, ControlKind::Edit, "Message max length:", kMessage},
            {dialog::kIdOk, ControlKind::DefaultButton, "确定"},
            {dialog::kIdCancel, ControlKind::Button, "取消"},
        },
};

// Each edit of the form with its control.
struct EditField {
  int id;
  std::string SetupForm::*text;
};
constexpr EditField kEdits[] = {
    {M::kDeviceAddress, &SetupForm::deviceAddress},
    {M::kPassword, &SetupForm::password},
    {M::kStartBaudrate, &SetupForm::startBaudrate},
    {M::kSwitchBaudDelay, &SetupForm::switchBaudDelay},
    {M::kWakeupCharCount, &SetupForm::wakeupCharCount},
    {M::kFormatW, &SetupForm::formatW},
    {M::kFormatR, &SetupForm::formatR},
    {M::kFormatP, &SetupForm::formatP},
    {M::kFormatE, &SetupForm::formatE},
    {M::kFormatB, &SetupForm::formatB},
    {M::kMsgTimeout, &SetupForm::msgTimeout},
    {M::kMsgDelay, &SetupForm::msgDelay},
    {M::kMsgMaxLen, &SetupForm::msgMaxLen},
};

}  // namespace

const dialog::DialogLayout& IecSetupModel::layout() const { return kLayout; }

void IecSetupModel::start(dialog::DialogView& view) {
  const SetupForm form = formFromSettings(control_.settings());
  for (const EditField& e : kEdits) view.setText(e.id, dialog::narrowToUtf8(form.*e.text));
  view.select(kDisplayFormat, form.displayFormatIndex);
  view.setChecked(kMsgNotify, form.msgNotify);
  view.setChecked(kMsgImmediate, form.msgImmediate);
  view.setChecked(kMsgDisplayGroup, form.msgDisplayGroup);
}

void IecSetupModel::accept(dialog::DialogView& view) {
  SetupForm form;
  for (const EditField& e : kEdits) form.*e.text = dialog::utf8ToNarrow(view.text(e.id));
  form.displayFormatIndex = view.selection(kDisplayFormat);
  form.msgNotify = view.checked(kMsgNotify);
  form.msgImmediate = view.checked(kMsgImmediate);
  form.msgDisplayGroup = view.checked(kMsgDisplayGroup);
  applyForm(form, control_);
}

void runSetupDialog(CZrIEC62056_21& control) {
  IecSetupModel model(control);
  dialog::runDialog(model);
}

}  // namespace kavlink::iec
