// The serial port's setup dialog without its widgets: what each control shows when the
// dialog opens, the flow-control preset applied the moment the user picks one (it stays on
// the port even when the dialog is then cancelled), and what OK writes back, in order.
// The widgets come from the dialog module (module/dialog_host.h) built from layout().
#pragma once

#include "channels/serial/zr_serial.h"
#include "module/dialog_abi.h"

namespace kavlink {

class SerialSetupModel final : public dialog::DialogModel {
 public:
  // The controls, by id.
  enum Control : int {
    kPort = 201,
    kBaudRate = 202,
    kParityBits = 203,
    kDataBits = 204,
    kStopBits = 205,
    kFlowControl = 206,
    kRtsControl = 207,
    kDtrControl = 208,
    kXonChar = 213,
    kOutxDsrFlow = 214,
    kOutxCtsFlow = 215,
    kUseErrChar = 216,
    kXonXoffIn = 217,
    kXonXoffOut = 218,
    kTxContinueOnXoff = 219,
    kXoffChar = 220,
    kDsrSensitivity = 221,
    kErrChar = 222,
    kEofChar = 223,
    kEventChar = 224,
    kDiscardNull = 225,
  };

  // The model edits the port for as long as the dialog runs.
  explicit SerialSetupModel(CZrSerial& port) : port_(port) {}

  const dialog::DialogLayout& layout() const override;
  void start(dialog::DialogView& view) override;
  void selectionChanged(dialog::DialogView& view, int id) override;
  void accept(dialog::DialogView& view) override;

 private:
  void showFlowFields(dialog::DialogView& view) const;

  CZrSerial& port_;
};

}  // namespace kavlink
