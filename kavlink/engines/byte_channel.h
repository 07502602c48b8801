// The one road every protocol control takes to its port: bytes out, a wait for bytes in,
// bytes in, and the few line operations an exchange needs. A serial port, a socket and a
// host that carries the bytes itself each implement it once; the protocol engines and the
// controls' exchange loops know only this.
//
// Failures of the port itself (a write the line refused, a rate it cannot take) are thrown;
// a silent line is not a failure: waitForInput returns 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kavlink {

class ByteChannel {
 public:
  virtual ~ByteChannel() = default;

  virtual void write(const void* bytes, size_t length) = 0;
  void write(std::string_view bytes) { write(bytes.data(), bytes.size()); }
  // Bytes waiting, or 0 after timeoutMs of silence, a stop, or a line that has ended.
  virtual uint32_t waitForInput(uint32_t timeoutMs) = 0;
  // Bytes waiting now; neither waits nor lets anything else run (safe inside an event
  // of the port itself).
  virtual uint32_t available() = 0;
  // Up to length bytes of what is waiting, without waiting.
  virtual size_t read(void* buffer, size_t length) = 0;
  // Drops whatever the line holds from earlier exchanges.
  virtual void purge() = 0;
  // The open line takes the new rate at once; throws when it cannot. A line without a
  // rate ignores it.
  virtual void setRate(int32_t rate) = 0;
  virtual void sleepMs(uint32_t ms) = 0;
};

}  // namespace kavlink
