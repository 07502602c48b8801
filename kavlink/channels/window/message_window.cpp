#include "channels/window/message_window.h"

namespace kavlink {

zr::msg::HWND CreateMessageWindow(zr::msg::WindowProc proc) { return zr::msg::createWindow(kMessageWindowClass, proc); }

}  // namespace kavlink
