// Hidden message windows through which worker threads hand events to the thread that owns
// an object (serial comm events, socket notices).
#pragma once

#include "msg/message_queue.h"

namespace kavlink {

constexpr const char* kMessageWindowClass = "ZrTempWindow";

// A new hidden window on the calling thread delivering to proc; nullptr when it cannot be
// made. Each window keeps its own procedure, so serial and socket windows coexist.
zr::msg::HWND CreateMessageWindow(zr::msg::WindowProc proc);

}  // namespace kavlink
