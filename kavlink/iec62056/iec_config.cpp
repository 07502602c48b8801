// CZrIEC62056_21's profile file: the settings under "General", "Format" and "Message".
#include "iec62056/iec_setup_model.h"
#include "iec62056/zr_iec62056_21.h"
#include "module/dialog_text.h"
#include "module/profile_keys.h"
#include "text/ansi.h"

namespace kavlink {
namespace {

// What the file holds: the control's settings and the name of its inner port.
struct IecProfile : iec::LinkSettings {
  explicit IecProfile(const iec::LinkSettings& settings) : iec::LinkSettings(settings) {}
  std::string port;
};

using S = IecProfile;
using profile::numberKey;
using profile::textKey;

// In the order they are written and read. A number missing from the file leaves the
// setting as it is; loading stores it as read, without the clamps of the property puts.
const profile::Key<S> kKeys[] = {
    textKey<&S::port, S>("General", "Com Port", "COM1"),
    textKey<&S::deviceAddress, S>("General", "Device Address", "000000000000"),
    textKey<&S::password, S>("General", "Program Password", "27509316"),
    numberKey<int32_t, &S::startBaudrate, S>("General", "Start Baudrate", std::nullopt),
    numberKey<int32_t, &S::switchBaudDelay, S>("General", "Switch Baudrate Delay", std::nullopt),
    numberKey<int32_t, &S::wakeupCharCount, S>("General", "Wakeup Char Count", std::nullopt),
    numberKey<int32_t, &S::formatP, S>("Format", "Format Password", std::nullopt),
    numberKey<int32_t, &S::formatW, S>("Format", "Format Write", std::nullopt),
    numberKey<int32_t, &S::formatR, S>("Format", "Format Read", std::nullopt),
    numberKey<int32_t, &S::formatE, S>("Format", "Format Execute", std::nullopt),
    numberKey<int32_t, &S::formatB, S>("Format", "Format Exit", std::nullopt),
    numberKey<int32_t, &S::msgNotify, S>("Message", "Use Message Notify", std::nullopt),
    numberKey<int32_t, &S::msgImmediate, S>("Message", "Immediaty Display Message", std::nullopt),
    numberKey<int32_t, &S::msgDisplayFormat, S>("Message", "Message Format", std::nullopt),
    numberKey<int32_t, &S::msgDisplayGroup, S>("Message", "Display Data Group", std::nullopt),
    numberKey<int32_t, &S::msgTimeout, S>("Message", "Wait Message Timeout", std::nullopt),
    numberKey<int32_t, &S::msgDelay, S>("Message", "Send Message Interval", std::nullopt),
    numberKey<int32_t, &S::msgMaxLen, S>("Message", "Message Max Length", std::nullopt),
};

std::string fileName(BSTR fullFileName) { return zr::text::wideToUtf8(zr::com::bstrView(fullFileName)); }

}  // namespace

HRESULT CZrIEC62056_21::SaveConfig(BSTR fullFileName) {
  return guard([&] {
    const std::string file = fileName(fullFileName);
    IecProfile p(settings_);
    // The port name as the inner port's property gives it.
    zr::com::Bstr port;
    ports_.serial().get_Port(port.put());
    p.port = zr::text::wideToAnsi(port.view());
    // A file that cannot be written must not look saved.
    if (!profile::saveKeys<S>(file, p, kKeys)) {
      throw zr::com::ComError("Unable to write the profile file " + dialog::utf8ToNarrow(file));
    }
  });
}

HRESULT CZrIEC62056_21::LoadConfig(BSTR fullFileName) {
  return guard([&] {
    IecProfile p(settings_);
    profile::loadKeys<S>(fileName(fullFileName), p, kKeys);
    // Read whole: a device path such as /dev/ttyUSB0 is longer than any COM name.
    ports_.serial().put_Port(zr::com::Bstr(zr::text::ansiToWide(p.port)).get());
    settings_ = p;
    setDirty();
  });
}

HRESULT CZrIEC62056_21::ShowSetupDlg() {
  return guard([&] { iec::runSetupDialog(*this); });
}

}  // namespace kavlink
