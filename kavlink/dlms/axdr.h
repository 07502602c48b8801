// The A-XDR element length rule shared by the DLMS client's list services and the server
// engine: how many bytes one encoded element takes, tag included.
#pragma once

#include <cstdint>

namespace kavlink {

// The length of the element that starts at p, of which avail bytes are at hand. 0 for an
// unknown tag (bcd included), and for an element that would run past avail: a caller must
// never step over bytes it has not got.
int32_t AxdrDataLength(const uint8_t* p, int32_t avail);

}  // namespace kavlink
