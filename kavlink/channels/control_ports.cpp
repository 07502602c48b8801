#include "channels/control_ports.h"

namespace kavlink {

ControlPorts::ControlPorts()
    : tools_(madeForControl(CZrTools::create())),
      serial_(madeForControl(CZrSerial::create())),
      serialChannel_(*serial_) {}

HRESULT ControlPorts::getSerial(IZrSerial** value) {
  if (!value) return E_POINTER;
  return serial_->QueryInterface(IZrSerial::iid, reinterpret_cast<void**>(value));
}

HRESULT ControlPorts::getTools(IZrTools** value) {
  if (!value) return E_POINTER;
  return tools_->QueryInterface(IZrTools::iid, reinterpret_cast<void**>(value));
}

}  // namespace kavlink
