// Whether this process can reach a window system, asked without loading any of it: Qt
// ends the process when its platform cannot connect, so the component asks first.
#pragma once

#include <optional>
#include <string>

namespace kavlink::dialog {

// The Qt platform plugin to start with: "" for the one QT_QPA_PLATFORM names (a platform
// that needs no server, such as offscreen, or a server found reachable), "xcb" or
// "wayland" for the server found through DISPLAY or WAYLAND_DISPLAY (X first, as Qt
// prefers it). Nothing when no server answers.
std::optional<std::string> reachableWindowSystem();

}  // namespace kavlink::dialog
