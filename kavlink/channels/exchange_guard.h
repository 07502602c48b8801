// The frame every exchange of a protocol control runs in, so that the three controls
// refuse, hold and clean up alike.
#pragma once

#include "engines/busy_flag.h"
#include "com/com_ptr.h"
#include "com/object.h"

namespace kavlink {

// Kept byte for byte: hosts compare it.
inline constexpr char kBusyText[] = "Devices is communicating......";

// The one way a refused call leaves: thrown inside the control's guard, which turns it into
// the COM error with the control's own source.
inline void refuseWhileBusy(const BusyFlag& busy) {
  if (busy.raised()) throw zr::com::ComError(kBusyText);
}

// Runs one exchange: refused while another runs; the control is kept alive for the call (a
// host handler inside a wait may release the last reference); the busy flag is up for its
// length; and closePort runs before a thrown failure leaves, so that a port that failed is
// not left open.
template <class Body, class ClosePort>
void runExchange(BusyFlag& busy, IUnknown* self, Body&& body, ClosePort&& closePort) {
  refuseWhileBusy(busy);
  zr::com::ComPtr<IUnknown> hold(self);
  BusyFlag::Scope up(busy, true);
  try {
    body();
  } catch (...) {
    closePort();
    throw;
  }
}

// An exchange whose port stays as it is after a failure (the host opens and closes it).
template <class Body>
void runExchange(BusyFlag& busy, IUnknown* self, Body&& body) {
  runExchange(busy, self, std::forward<Body>(body), [] {});
}

}  // namespace kavlink
