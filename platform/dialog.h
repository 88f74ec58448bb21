// Modal dialogs and message boxes, kept apart from what a dialog does.
//
// A dialog's behaviour (DialogBehaviour) sees its window only through
// DialogControls: set and read a field's text, enable a field, fill and select
// a list. On Windows runModalDialog shows the dialog template from the
// library's resources; on Linux there is no window system that a driver could
// rely on, so runModalDialog reports DialogResult::Unavailable and callers
// take their windowless path.
//
// Tests put a scripted stand-in in place of the window plumbing with
// setDialogRunner: the behaviour then runs against the stand-in's controls on
// either platform.
#pragma once

#include <cstddef>

namespace plat {

class DialogControls {
public:
    virtual ~DialogControls() = default;
    virtual void setText(int control, const char* text) = 0;
    // Copies at most size-1 characters and a terminator (nothing for size 0).
    virtual void getText(int control, char* buffer, std::size_t size) = 0;
    virtual void enable(int control, bool enabled) = 0;
    virtual void addListItem(int control, const char* text) = 0;
    // Selects the list item whose text equals text; no selection when none does.
    virtual void selectListItem(int control, const char* text) = 0;
    // A message box over the dialog (exclamation icon).
    virtual void warn(const char* text, const char* caption) = 0;
    virtual void setCaption(const char* text) = 0;
    // Hides (or shows again) a control.
    virtual void show(int control, bool shown) = 0;
    // Where typing starts; from onInit, the dialog keeps it.
    virtual void focus(int control) = 0;
    // A check box's state.
    virtual void setChecked(int control, bool checked) = 0;
    virtual bool isChecked(int control) = 0;
};

class DialogBehaviour {
public:
    virtual ~DialogBehaviour() = default;
    virtual void onInit(DialogControls& controls) = 0;
    // OK pressed: true closes the dialog with OK, false keeps it open.
    virtual bool onOk(DialogControls& controls) = 0;
};

enum class DialogResult { Ok, Cancel, Unavailable };

// Shows dialog template `resource` of this library modally over `parent`.
DialogResult runModalDialog(void* parent, int resource, DialogBehaviour& behaviour);

// Replaces the window plumbing of runModalDialog (null restores it).
using DialogRunner = DialogResult (*)(void* parent, int resource, DialogBehaviour& behaviour);
void setDialogRunner(DialogRunner runner);

// The platform's own runner (platform/<os>/dialog.cpp).
DialogResult nativeModalDialog(void* parent, int resource, DialogBehaviour& behaviour);

}  // namespace plat
