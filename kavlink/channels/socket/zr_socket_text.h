// Address and name arguments of the socket object, in the narrow form its look-ups use.
#pragma once

#include <cstddef>
#include <string>

#include "com/com.h"

namespace kavlink {

// The narrow text of a host argument, ending at its first zero character. False when it
// is longer than maxBytes: cut short, an address or name could name another host.
bool narrowField(BSTR text, size_t maxBytes, std::string& out);

// An `ip` argument fits a dotted IPv4 address: at most 19 characters.
inline bool ipText(BSTR ip, std::string& out) { return narrowField(ip, 19, out); }

}  // namespace kavlink
