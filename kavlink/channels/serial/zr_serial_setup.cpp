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

SerialConfig CZrSerial::config() const {
  SerialConfig c;
  c.port = port_;
  c.baudRate = baudRate_;
  c.parityBits = parityBits_;
  c.dataBits = dataBits_;
  c.stopBits = stopBits_;
  c.rtsControl = rtsControl_;
  c.dtrControl = dtrControl_;
  c.dsrSensitivity = dsrSensitivity_;
  c.txContinueOnXoff = txContinueOnXoff_;
  c.outxCtsFlow = outxCtsFlow_;
  c.outxDsrFlow = outxDsrFlow_;
  c.xonXoffIn = xonXoffIn_;
  c.xonXoffOut = xonXoffOut_;
  c.xoffChar = xoffChar_;
  c.xonChar = xonChar_;
  c.useErrChar = useErrChar_;
  c.discardNull = discardNull_;
  c.errChar = errChar_;
  c.eofChar = eofChar_;
  c.eventChar = eventChar_;
  return c;
}

void CZrSerial::applyConfig(const SerialConfig& c) {
  // The saved stream holds most of these; any change makes the object dirty.
  if (c != config()) dirty_ = true;
  port_ = c.port;
  baudRate_ = c.baudRate;
  parityBits_ = c.parityBits;
  dataBits_ = c.dataBits;
  stopBits_ = c.stopBits;
  rtsControl_ = c.rtsControl;
  dtrControl_ = c.dtrControl;
  dsrSensitivity_ = c.dsrSensitivity;
  txContinueOnXoff_ = c.txContinueOnXoff;
  outxCtsFlow_ = c.outxCtsFlow;
  outxDsrFlow_ = c.outxDsrFlow;
  xonXoffIn_ = c.xonXoffIn;
  xonXoffOut_ = c.xonXoffOut;
  xoffChar_ = c.xoffChar;
  xonChar_ = c.xonChar;
  useErrChar_ = c.useErrChar;
  discardNull_ = c.discardNull;
  errChar_ = c.errChar;
  eofChar_ = c.eofChar;
  eventChar_ = c.eventChar;
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
