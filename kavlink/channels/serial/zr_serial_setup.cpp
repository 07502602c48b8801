// CZrSerial: the settings file, the setup dialog and the about box. None of them touches
// an open port.
#include "channels/serial/serial_setup_model.h"
#include "channels/serial/zr_serial.h"
#include "module/dialog_host.h"
#include "module/dialog_text.h"
#include "text/ansi.h"

namespace kavlink {
namespace {

// File names are Linux paths: UTF-8, absolute or relative to the working directory.
std::string fileName(BSTR name) { return zr::text::wideToUtf8(zr::com::bstrView(name)); }

}  // namespace

void CZrSerial::applyConfig(const SerialConfig& c) {
  // The saved stream holds most of these; any change makes the object dirty.
  if (c != config_) dirty_ = true;
  config_ = c;
}

HRESULT CZrSerial::SaveConfig(BSTR fullFileName) {
  return guard([&] {
    // A file that cannot be written must not look saved.
    const std::string file = fileName(fullFileName);
    if (!saveSerialConfig(file, config())) {
      throw zr::com::ComError("Unable to write the profile file " + dialog::utf8ToNarrow(file));
    }
  });
}

HRESULT CZrSerial::LoadConfig(BSTR fullFileName) {
  return guard([&] {
    SerialConfig c = config();
    loadSerialConfig(fileName(fullFileName), c);
    applyConfig(c);
  });
}

HRESULT CZrSerial::ShowSetupDlg() {
  return guard([&] {
    SerialSetupModel model(*this);
    dialog::runDialog(model);
  });
}

HRESULT CZrSerial::AboutBox() {
  return guard([] { dialog::showAboutBox("ZrSerial"); });
}

}  // namespace kavlink
