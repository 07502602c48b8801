// The setup dialog of the IEC 62056-21 control without any window toolkit: the texts and
// states its controls start with, and what OK stores. A view shows a SetupForm, lets the
// user edit it and hands it back to apply().
#pragma once

#include <array>
#include <string>

#include "iec62056/iec_link.h"

namespace kavlink {
class CZrIEC62056_21;
}

namespace kavlink::iec {

struct SetupForm {
  // Edit texts, by the dialog's control ids.
  std::string deviceAddress;    // 209
  std::string password;         // 211 (plain, not masked)
  std::string startBaudrate;    // 210
  std::string switchBaudDelay;  // 212
  std::string wakeupCharCount;  // 213
  std::string formatW;          // 219
  std::string formatR;          // 220
  std::string formatP;          // 221
  std::string formatE;          // 222
  std::string formatB;          // 223
  std::string msgTimeout;       // 216
  std::string msgDelay;         // 217
  std::string msgMaxLen;        // 218
  int displayFormatIndex = 1;   // 206: entry of kDisplayFormats
  bool msgNotify = true;        // 208
  bool msgImmediate = false;    // 214
  bool msgDisplayGroup = true;  // 215
};

// The entries of the display format list, in order (format value = index + 1).
inline constexpr std::array<const char*, 3> kDisplayFormats = {"ASCII", "ASCII format", "HEX 16"};

// The form as the dialog opens on these settings.
SetupForm formFromSettings(const LinkSettings& s);

// The decimal value of a text as the dialog reads it: leading blanks and a sign, digits up
// to the first other character; no digits give 0.
int32_t dialogNumber(const std::string& text);

// OK: the strings exactly as typed, the numbers stored directly, the format digits through
// the control's property puts (so their clamps apply), the check boxes as 1 or 0.
void applyForm(const SetupForm& form, CZrIEC62056_21& control);

// Shows the modal dialog for the control and applies it on OK. Throws the COM error text
// when no dialog can be shown here.
void runSetupDialog(CZrIEC62056_21& control);

}  // namespace kavlink::iec
