// A stand-in for the window of a modal dialog: the behaviour under test runs
// against these controls, and a script plays the user (what to type, which
// button to press). Installed with plat::setDialogRunner for one scope.
#pragma once

#include "platform/dialog.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vorntest {

struct ScriptedControls : plat::DialogControls {
    std::map<int, std::string> text;
    std::map<int, bool> disabled;
    std::map<int, std::vector<std::string>> items;
    std::vector<std::string> warnings;  // "caption: text"

    void setText(int control, const char* t) override { text[control] = t ? t : ""; }
    void getText(int control, char* buffer, std::size_t size) override;
    void enable(int control, bool enabled) override { disabled[control] = !enabled; }
    void addListItem(int control, const char* t) override { items[control].push_back(t); }
    void selectListItem(int control, const char* t) override;
    std::string caption;
    std::map<int, bool> hidden;
    int focused = 0;  // control given the focus, 0 for none

    void warn(const char* t, const char* caption) override {
        warnings.push_back(std::string(caption) + ": " + t);
    }
    void setCaption(const char* t) override { caption = t ? t : ""; }
    void show(int control, bool shown) override { hidden[control] = !shown; }
    void focus(int control) override { focused = control; }
    std::map<int, bool> checked;
    void setChecked(int control, bool on) override { checked[control] = on; }
    bool isChecked(int control) override { return checked[control]; }
};

// One user action: change fields, then press a button.
struct DialogStep {
    DialogStep(std::map<int, std::string> typed = {}, bool pressOk = true, std::map<int, bool> checks = {})
        : type(std::move(typed)), ok(pressOk), check(std::move(checks)) {}
    std::map<int, std::string> type;  // control -> new text
    bool ok = true;                   // false presses Cancel
    std::map<int, bool> check;        // check box -> new state
};

class ScriptedDialog {
public:
    explicit ScriptedDialog(std::vector<DialogStep> steps);
    ~ScriptedDialog();

    // What the dialog showed right after its creation, and at the end.
    ScriptedControls afterInit;
    ScriptedControls controls;
    int shown = 0;           // times a dialog was opened
    int resource = 0;        // template asked for
    void* parent = nullptr;  // owner window given
    std::size_t stepsTaken = 0;
    int typedIntoDisabled = 0;  // or into hidden fields

private:
    static plat::DialogResult run(void* parent, int resource, plat::DialogBehaviour& behaviour);
    std::vector<DialogStep> steps_;
};

}  // namespace vorntest
