#include "channels/control_ports.h"

#include <new>

namespace kavlink {
namespace {

template <class T>
zr::com::ComPtr<T> made(T* object) {
  if (!object) throw std::bad_alloc();
  return zr::com::ComPtr<T>::attach(object);
}

}  // namespace

ControlPorts::ControlPorts()
    : tools_(made(CZrTools::create())), serial_(made(CZrSerial::create())), serialChannel_(*serial_) {}

HRESULT ControlPorts::getSerial(IZrSerial** value) {
  if (!value) return E_POINTER;
  return serial_->QueryInterface(IZrSerial::iid, reinterpret_cast<void**>(value));
}

HRESULT ControlPorts::getTools(IZrTools** value) {
  if (!value) return E_POINTER;
  return tools_->QueryInterface(IZrTools::iid, reinterpret_cast<void**>(value));
}

}  // namespace kavlink
