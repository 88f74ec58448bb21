#include "support/scripted_dialog.h"

#include <cstring>

namespace vorntest {

namespace {
ScriptedDialog* g_active = nullptr;
}

void ScriptedControls::getText(int control, char* buffer, std::size_t size) {
    if (!buffer || size == 0) return;
    const std::string& t = text[control];
    std::size_t n = t.size() < size - 1 ? t.size() : size - 1;
    std::memcpy(buffer, t.data(), n);
    buffer[n] = '\0';
}

void ScriptedControls::selectListItem(int control, const char* t) {
    // A drop-down list shows its selected item as its text; nothing when no
    // item matches.
    text[control] = "";
    for (const auto& item : items[control])
        if (item == t) text[control] = item;
}

ScriptedDialog::ScriptedDialog(std::vector<DialogStep> steps) : steps_(std::move(steps)) {
    g_active = this;
    plat::setDialogRunner(&ScriptedDialog::run);
}

ScriptedDialog::~ScriptedDialog() {
    plat::setDialogRunner(nullptr);
    g_active = nullptr;
}

plat::DialogResult ScriptedDialog::run(void* parent, int resource, plat::DialogBehaviour& behaviour) {
    ScriptedDialog& self = *g_active;
    ++self.shown;
    self.parent = parent;
    self.resource = resource;
    self.controls = ScriptedControls();
    behaviour.onInit(self.controls);
    self.afterInit = self.controls;
    while (self.stepsTaken < self.steps_.size()) {
        const DialogStep& step = self.steps_[self.stepsTaken++];
        for (const auto& kv : step.type) {
            if (self.controls.disabled[kv.first] || self.controls.hidden[kv.first]) {
                ++self.typedIntoDisabled;  // a user cannot; the test checks this count
                continue;
            }
            self.controls.text[kv.first] = kv.second;
        }
        for (const auto& kv : step.check) {
            if (self.controls.disabled[kv.first] || self.controls.hidden[kv.first]) {
                ++self.typedIntoDisabled;
                continue;
            }
            self.controls.checked[kv.first] = kv.second;
        }
        if (!step.ok) return plat::DialogResult::Cancel;
        if (behaviour.onOk(self.controls)) return plat::DialogResult::Ok;
    }
    // The script ran out with the dialog still open: the user gives up.
    return plat::DialogResult::Cancel;
}

}  // namespace vorntest
