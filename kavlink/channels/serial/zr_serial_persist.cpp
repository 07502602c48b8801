// CZrSerial's stream: the extent, then ten properties as typed values, as a container of
// the control stores them.
#include "channels/serial/zr_serial.h"

namespace kavlink {

std::span<const StreamProperty<CZrSerial>> CZrSerial::streamProperties() {
  using C = CZrSerial;
  // Loaded through the put accessors in this order, so the flow-control preset, which
  // comes late, applies over the settings before it.
  static constexpr StreamProperty<C> kProperties[] = {
      streamProperty<VT_UI4, &C::get_BaudRate, &C::put_BaudRate>(),
      streamProperty<VT_UI4, &C::get_ParityBits, &C::put_ParityBits>(),
      streamProperty<VT_UI4, &C::get_DataBits, &C::put_DataBits>(),
      streamProperty<VT_UI4, &C::get_StopBits, &C::put_StopBits>(),
      streamProperty<VT_BSTR, &C::get_Port, &C::put_Port>(),
      streamProperty<VT_I4, &C::get_BufferSize, &C::put_BufferSize>(),
      streamProperty<VT_I1, &C::get_EventChar, &C::put_EventChar>(),
      streamProperty<VT_BOOL, &C::get_DiscardNull, &C::put_DiscardNull>(),
      streamProperty<VT_UI4, &C::get_FlowControl, &C::put_FlowControl>(),
      streamProperty<VT_BOOL, &C::get_Blocking, &C::put_Blocking>(),
  };
  return kProperties;
}

}  // namespace kavlink
