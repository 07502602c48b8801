#include "channels/serial/serial_channel.h"

#include "channels/serial/zr_serial.h"
#include "text/ticks.h"

namespace kavlink {

void SerialChannel::write(const void* bytes, size_t length) { port_.WritePort(bytes, static_cast<DWORD>(length)); }

uint32_t SerialChannel::waitForInput(uint32_t timeoutMs) { return port_.WaitForInput(timeoutMs); }

uint32_t SerialChannel::available() { return port_.GetInQueueCount(); }

size_t SerialChannel::read(void* buffer, size_t length) { return port_.ReadPort(buffer, static_cast<DWORD>(length)); }

void SerialChannel::purge() { port_.PurgePort(); }

void SerialChannel::setRate(int32_t rate) {
  port_.put_BaudRate(static_cast<TBaudRate>(rate));
  // A line left at the old rate would garble everything after: the exchange fails.
  if (FAILED(port_.UpdateDCB())) throw zr::com::ComError("SetCommState function failed");
}

void SerialChannel::sleepMs(uint32_t ms) { zr::text::sleepMs(ms); }

}  // namespace kavlink
