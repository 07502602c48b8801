// What every protocol control owns to reach its meter: its tools object and its inner
// serial port, made with the control and released with it, and the byte channel over that
// port. The host reaches the two objects through the control's Serial and Tools.
#pragma once

#include <kavlink/zr_serial.h>
#include <kavlink/zr_tools.h>

#include <new>

#include "channels/serial/serial_channel.h"
#include "channels/serial/zr_serial.h"
#include "channels/tools/zr_tools.h"
#include "com/com_ptr.h"

namespace kavlink {

// Takes over an object made for a control; a control without it cannot be made.
template <class T>
zr::com::ComPtr<T> madeForControl(T* object) {
  if (!object) throw std::bad_alloc();
  return zr::com::ComPtr<T>::attach(object);
}

class ControlPorts {
 public:
  // Throws std::bad_alloc when an object cannot be made: the control is not made either.
  ControlPorts();

  CZrSerial& serial() { return *serial_; }
  ByteChannel& serialChannel() { return serialChannel_; }

  // The property values: one new reference each.
  HRESULT getSerial(IZrSerial** value);
  HRESULT getTools(IZrTools** value);

 private:
  zr::com::ComPtr<CZrTools> tools_;
  zr::com::ComPtr<CZrSerial> serial_;
  SerialChannel serialChannel_;
};

}  // namespace kavlink
