// Showing a modal dialog or box from a control's method, for hosts with and without a
// window system.
//
// The widgets live in kavlink_dialogs.so beside the component (or beside the program that
// links the component's objects); it is loaded on the first call, so a host that never
// shows a dialog never loads Qt. A host that already runs a Qt application gets the dialog
// on that application's thread, owned by its active window. Otherwise, when a window system
// is reachable, the module makes its own application on the calling thread. Without one
// (a server, a CI job), or without the module, the call throws ComError with
// kNoWindowSystem and nothing of Qt is loaded.
#pragma once

#include <string_view>

#include "module/dialog_abi.h"

namespace kavlink::dialog {

// Runs the model's dialog modally: kIdOk or kIdCancel. Throws ComError when no window can
// be shown, or with the text of what the model threw.
int runDialog(DialogModel& model);

// The about box of a class: its name and the component's version, one OK button.
void showAboutBox(std::string_view className);

}  // namespace kavlink::dialog
