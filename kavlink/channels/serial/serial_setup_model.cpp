#include "channels/serial/serial_setup_model.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "module/dialog_text.h"

namespace kavlink {
namespace {

using dialog::ControlKind;
using dialog::DialogView;
using M = SerialSetupModel;

enum Group { kGeneral, kFlow, kOther };

const dialog::DialogLayout kLayout{
    .title = "对话框",
    .fontFamily = "宋体",
    .fontPoints = 9,
    .groups = {"General", "Flow", "Other"},
    .controls =
        {
            {M::kPort,
             ControlKind::EditCombo,
             "Com port:",
             kGeneral,
             {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "COM10", "COM11", "COM12"}},
            {M::kBaudRate,
             ControlKind::EditCombo,
             "Baur rate:",
             kGeneral,
             {"br300", "br600", "br1200", "br2400", "br4800", "br9600", "br19200", "br38400", "br57600", "br115200",
              "br128000", "br256000"}},
            {M::kParityBits,
             ControlKind::DropList,
             "Parity bits:",
             kGeneral,
             {"prNone", "prOdd", "prEven", "prMark", "prSpace"}},
            {M::kDataBits, ControlKind::DropList, "Data bits:", kGeneral, {"dbFive", "dbSix", "dbSeven", "dbEight"}},
            {M::kStopBits,
             ControlKind::DropList,
             "Stop bits:",
             kGeneral,
             {"sbOneStopBits", "sbOne5StopBits", "sbTwoStopBits"}},
            {M::kFlowControl,
             ControlKind::DropList,
             "Flow control:",
             kFlow,
             {"fcNone", "fcHardware", "fcXonXoff", "fcCustom"}},
            {M::kRtsControl, ControlKind::DropList, "Rts control:", kFlow, {"DISABLE", "ENABLE", "HANDSHAKE"}},
            {M::kDtrControl, ControlKind::DropList, "Dtr control:", kFlow, {"DISABLE", "ENABLE", "HANDSHAKE"}},
            {M::kOutxDsrFlow, ControlKind::CheckBox, "OutxDsrFlow", kFlow},
            {M::kOutxCtsFlow, ControlKind::CheckBox, "OutxCtsFlow", kFlow},
            {M::kDsrSensitivity, ControlKind::CheckBox, "DsrSensitivity", kFlow},
            {M::kXonXoffOut, ControlKind::CheckBox, "OutX ", kFlow},
            {M::kTxContinueOnXoff, ControlKind::CheckBox, "TXContinueOnXoff", kFlow},
            {M::kXonXoffIn, ControlKind::CheckBox, "InX ", kFlow},
            {M::kXonChar, ControlKind::Edit, "XonChar:", kFlow},
            {M::kXoffChar, ControlKind::Edit, "XoffChar:", kFlow},
            {M::kUseErrChar, ControlKind::CheckBox, "Use error char", kOther},
            {M::kErrChar, ControlKind::Edit, "Error char:", kOther},
            {M::kEofChar, ControlKind::Edit, "Eof char:", kOther},
            {M::kEventChar, ControlKind::Edit, "Event char:", kOther},
            {M::kDiscardNull, ControlKind::CheckBox, "Discard NULL", kOther},
            {dialog::kIdOk, ControlKind::Button, "Ok"},
            {dialog::kIdCancel, ControlKind::Button, "Cancel"},
        },
};

// A setting as the index of its list item (none when it has no item).
int itemOf(int64_t value) {
  return value >= 0 && value <= std::numeric_limits<int>::max() ? static_cast<int>(value) : -1;
}

// Characters show as the signed numbers the settings file holds.
std::string charText(BYTE c) { return std::to_string(static_cast<signed char>(c)); }

template <class T>
T decimalOf(const DialogView& view, int id) {
  return static_cast<T>(dialog::readDecimal(view.text(id)).value);
}

// The baud text, with or without the "br" of its list items; nothing without digits.
std::optional<LONG> baudOf(std::string_view text) {
  size_t start = text.find_first_not_of(" \t");
  text.remove_prefix(start == std::string_view::npos ? text.size() : start);
  if (text.size() >= 2 && (text[0] | 0x20) == 'b' && (text[1] | 0x20) == 'r') text.remove_prefix(2);
  dialog::Decimal d = dialog::readDecimal(text);
  if (!d.digits) return std::nullopt;
  return d.value;
}

// A list's selection into a setting; no selection leaves the setting as it was.
template <class T>
void takeItem(const DialogView& view, int id, T& setting, int offset = 0) {
  if (int index = view.selection(id); index >= 0) setting = static_cast<T>(index + offset);
}

}  // namespace

const dialog::DialogLayout& SerialSetupModel::layout() const { return kLayout; }

void SerialSetupModel::showFlowFields(DialogView& view) const {
  const SerialConfig c = port_.config();
  view.select(kRtsControl, itemOf(c.rtsControl));
  view.select(kDtrControl, itemOf(c.dtrControl));
  view.setChecked(kOutxDsrFlow, c.outxDsrFlow != 0);
  view.setChecked(kOutxCtsFlow, c.outxCtsFlow != 0);
  view.setChecked(kDsrSensitivity, c.dsrSensitivity != 0);
  view.setChecked(kXonXoffOut, c.xonXoffOut != 0);
  view.setChecked(kXonXoffIn, c.xonXoffIn != 0);
  view.setChecked(kTxContinueOnXoff, c.txContinueOnXoff != 0);
  view.setText(kXonChar, charText(c.xonChar));
  view.setText(kXoffChar, charText(c.xoffChar));
}

void SerialSetupModel::start(DialogView& view) {
  const SerialConfig c = port_.config();
  std::vector<std::string> names;
  for (const std::string& name : port_.portNames()) names.push_back(dialog::narrowToUtf8(name));
  view.setItems(kPort, names);
  view.setText(kPort, dialog::narrowToUtf8(c.port));
  view.setText(kBaudRate, "br" + std::to_string(c.baudRate));
  view.select(kParityBits, itemOf(c.parityBits));
  view.select(kDataBits, itemOf(int64_t{c.dataBits} - 5));
  view.select(kStopBits, itemOf(c.stopBits));
  TFlow flow = fcCustom;
  port_.get_FlowControl(&flow);
  view.select(kFlowControl, itemOf(int64_t{flow} - 1));
  showFlowFields(view);
  view.setChecked(kUseErrChar, c.useErrChar != 0);
  view.setChecked(kDiscardNull, c.discardNull != 0);
  view.setText(kErrChar, charText(c.errChar));
  view.setText(kEofChar, charText(c.eofChar));
  view.setText(kEventChar, std::to_string(c.eventChar));
}

void SerialSetupModel::selectionChanged(DialogView& view, int id) {
  if (id != kFlowControl) return;
  const int index = view.selection(kFlowControl);
  if (index < 0) return;
  port_.put_FlowControl(static_cast<TFlow>(index + 1));
  showFlowFields(view);
}

void SerialSetupModel::accept(DialogView& view) {
  SerialConfig c = port_.config();
  c.port = dialog::utf8ToNarrow(view.text(kPort));
  takeItem(view, kParityBits, c.parityBits);
  takeItem(view, kDataBits, c.dataBits, 5);
  takeItem(view, kStopBits, c.stopBits);
  if (auto baud = baudOf(view.text(kBaudRate))) c.baudRate = *baud;
  port_.applyConfig(c);
  // The preset first, then the flow fields over it: the port ends with what they show.
  if (int flow = view.selection(kFlowControl); flow >= 0) port_.put_FlowControl(static_cast<TFlow>(flow + 1));
  c = port_.config();
  takeItem(view, kRtsControl, c.rtsControl);
  takeItem(view, kDtrControl, c.dtrControl);
  c.outxDsrFlow = view.checked(kOutxDsrFlow);
  c.outxCtsFlow = view.checked(kOutxCtsFlow);
  c.dsrSensitivity = view.checked(kDsrSensitivity);
  c.xonXoffOut = view.checked(kXonXoffOut);
  c.txContinueOnXoff = view.checked(kTxContinueOnXoff);
  c.xonXoffIn = view.checked(kXonXoffIn);
  c.xonChar = decimalOf<BYTE>(view, kXonChar);
  c.xoffChar = decimalOf<BYTE>(view, kXoffChar);
  c.useErrChar = view.checked(kUseErrChar);
  c.discardNull = view.checked(kDiscardNull);
  c.errChar = decimalOf<BYTE>(view, kErrChar);
  c.eofChar = decimalOf<BYTE>(view, kEofChar);
  c.eventChar = decimalOf<CHAR>(view, kEventChar);
  port_.applyConfig(c);
}

}  // namespace kavlink
