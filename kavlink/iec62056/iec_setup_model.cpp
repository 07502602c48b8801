#include "iec62056/iec_setup_model.h"

#include <cctype>
#include <climits>

#include "com/object.h"
#include "iec62056/zr_iec62056_21.h"

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

int32_t dialogNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > INT32_MAX) v = static_cast<int64_t>(INT32_MAX) + 1;  // saturates, like the system's conversion
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  return static_cast<int32_t>(v);
}

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

void runSetupDialog(CZrIEC62056_21&) {
  // The component never loads a window toolkit itself; without the dialog module there is
  // nothing to show the form in.
  throw zr::com::ComError("The setup dialog is not available");
}

}  // namespace kavlink::iec
