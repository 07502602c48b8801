// CZrIEC62056_21's profile file: the settings under "General", "Format" and "Message".
#include "iec62056/iec_setup_model.h"
#include "iec62056/zr_iec62056_21.h"
#include "module/dialog_text.h"
#include "profile/profile.h"
#include "text/ansi.h"

namespace kavlink {
namespace {

constexpr char kGeneral[] = "General";
constexpr char kFormat[] = "Format";
constexpr char kMessage[] = "Message";

struct NumberKey {
  const char* section;
  const char* key;
  int32_t iec::LinkSettings::*field;
};

// In the order they are written and read, after the port and the two strings.
constexpr NumberKey kNumbers[] = {
    {kGeneral, "Start Baudrate", &iec::LinkSettings::startBaudrate},
    {kGeneral, "Switch Baudrate Delay", &iec::LinkSettings::switchBaudDelay},
    {kGeneral, "Wakeup Char Count", &iec::LinkSettings::wakeupCharCount},
    {kFormat, "Format Password", &iec::LinkSettings::formatP},
    {kFormat, "Format Write", &iec::LinkSettings::formatW},
    {kFormat, "Format Read", &iec::LinkSettings::formatR},
    {kFormat, "Format Execute", &iec::LinkSettings::formatE},
    {kFormat, "Format Exit", &iec::LinkSettings::formatB},
    {kMessage, "Use Message Notify", &iec::LinkSettings::msgNotify},
    {kMessage, "Immediaty Display Message", &iec::LinkSettings::msgImmediate},
    {kMessage, "Message Format", &iec::LinkSettings::msgDisplayFormat},
    {kMessage, "Display Data Group", &iec::LinkSettings::msgDisplayGroup},
    {kMessage, "Wait Message Timeout", &iec::LinkSettings::msgTimeout},
    {kMessage, "Send Message Interval", &iec::LinkSettings::msgDelay},
    {kMessage, "Message Max Length", &iec::LinkSettings::msgMaxLen},
};

std::string fileName(BSTR fullFileName) { return zr::text::wideToUtf8(zr::com::bstrView(fullFileName)); }

}  // namespace

HRESULT CZrIEC62056_21::SaveConfig(BSTR fullFileName) {
  return guard([&] {
    const std::string file = fileName(fullFileName);
    zr::com::Bstr port;
    ports_.serial().get_Port(port.put());
    bool written = zr::profile::writeProfileString(file, kGeneral, "Com Port",
                                                   zr::text::wideToAnsi(zr::com::bstrView(port.get())));
    written = written && zr::profile::writeProfileString(file, kGeneral, "Device Address", settings_.deviceAddress);
    written = written && zr::profile::writeProfileString(file, kGeneral, "Program Password", settings_.password);
    for (const NumberKey& k : kNumbers)
      written = written && zr::profile::writeProfileString(file, k.section, k.key, std::to_string(settings_.*k.field));
    // A file that cannot be written must not look saved.
    if (!written) throw zr::com::ComError("Unable to write the profile file " + dialog::utf8ToNarrow(file));
  });
}

HRESULT CZrIEC62056_21::LoadConfig(BSTR fullFileName) {
  return guard([&] {
    const std::string file = fileName(fullFileName);
    // Read whole: a device path such as /dev/ttyUSB0 is longer than any COM name.
    const std::string port = zr::profile::getProfileString(file, kGeneral, "Com Port", "COM1");
    ports_.serial().put_Port(zr::com::Bstr(zr::text::ansiToWide(port)).get());
    settings_.deviceAddress = zr::profile::getProfileString(file, kGeneral, "Device Address", "000000000000");
    settings_.password = zr::profile::getProfileString(file, kGeneral, "Program Password", "27509316");
    // Stored as read, without the clamps of the property puts.
    for (const NumberKey& k : kNumbers)
      settings_.*k.field = zr::profile::getProfileInt(file, k.section, k.key, settings_.*k.field);
    setDirty();
  });
}

HRESULT CZrIEC62056_21::ShowSetupDlg() {
  return guard([&] { iec::runSetupDialog(*this); });
}

}  // namespace kavlink
