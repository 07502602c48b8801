// What the component and its dialog module (kavlink_dialogs.so, built from dialogs/) share.
//
// The component never links a window system: a modal dialog is a description of its
// controls (DialogLayout) plus a Qt-free model (DialogModel) that fills the controls at
// start, reacts to a list selection and writes back on OK, all through the DialogView the
// module builds from the description. A control with a dialog of its own (the serial port
// today, the IEC 62056-21 control next) adds a layout and a model beside its object and
// shows it with dialog_host.h; the module needs nothing new for it.
//
// Both sides come from one build with one compiler, so the interface is plain C++ (strings
// and vectors cross it); kDialogAbi changes with it and the loader refuses a module built
// for another.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavlink::dialog {

inline constexpr int kDialogAbi = 1;

// What a call that cannot show a window reports.
inline constexpr const char* kNoWindowSystem = "No window system is available";

// The two buttons that end a dialog, with the results ShowSetupDlg-style callers get.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

enum class ControlKind {
  EditCombo,       // a text with a list to pick from
  DropList,        // a list, one item selected or none
  SortedDropList,  // the same, items sorted by the list
  CheckBox,        // label is the box's own text
  Edit,            // one line of text
  Button,          // kIdOk or kIdCancel
  DefaultButton,   // the same, pressed by Enter
};

// One control; texts are UTF-8. Items are the list's initial contents; group indexes
// DialogLayout::groups (-1: outside every group, as the buttons).
struct DialogControl {
  int id;
  ControlKind kind;
  std::string_view label;
  int group = -1;
  std::vector<std::string_view> items = {};
};

struct DialogLayout {
  std::string_view title;
  std::string_view fontFamily;
  int fontPoints;
  std::vector<std::string_view> groups;
  std::vector<DialogControl> controls;  // in tab order
};

// The controls of a running dialog, by id. A selection of -1 is no selection; selecting an
// index outside the list selects nothing. Texts are UTF-8.
class DialogView {
 public:
  virtual void setItems(int id, const std::vector<std::string>& items) = 0;
  virtual void setText(int id, const std::string& text) = 0;
  virtual std::string text(int id) const = 0;
  virtual void select(int id, int index) = 0;
  virtual int selection(int id) const = 0;
  virtual void setChecked(int id, bool checked) = 0;
  virtual bool checked(int id) const = 0;

 protected:
  ~DialogView() = default;
};

// The dialog's behaviour. The view calls start once its controls hold the layout's items,
// selectionChanged when the user picks an item of a list (never for the model's own
// select), and accept when OK is pressed, before the dialog ends with kIdOk. Cancel ends
// it with kIdCancel without a call. An exception from the model ends the dialog and is
// reported by the call that showed it.
class DialogModel {
 public:
  virtual const DialogLayout& layout() const = 0;
  virtual void start(DialogView& view) = 0;
  virtual void selectionChanged(DialogView& view, int id) = 0;
  virtual void accept(DialogView& view) = 0;

 protected:
  ~DialogModel() = default;
};

// The module's exports. Each returns 0 with a text in *error when it cannot show a window.
extern "C" {
using DialogAbiFn = int (*)();
// Whether the process already runs a Qt widget application (the host's, or the module's).
using HasApplicationFn = int (*)();
// Makes the module's own application for a host without one, on the calling thread, for
// the given platform plugin (nullptr or "": Qt's choice). Dialogs then run on this thread.
using StartApplicationFn = int (*)(const char* platform, std::string* error);
// Runs the dialog modally; kIdOk or kIdCancel.
using RunDialogFn = int (*)(DialogModel* model, std::string* error);
// A modal box with one OK button; 1 once closed.
using ShowMessageFn = int (*)(const char* title, const char* text, std::string* error);
}
inline constexpr const char* kDialogAbiSymbol = "kavlinkDialogAbi";
inline constexpr const char* kHasApplicationSymbol = "kavlinkHasApplication";
inline constexpr const char* kStartApplicationSymbol = "kavlinkStartApplication";
inline constexpr const char* kRunDialogSymbol = "kavlinkRunDialog";
inline constexpr const char* kShowMessageSymbol = "kavlinkShowMessage";

}  // namespace kavlink::dialog
