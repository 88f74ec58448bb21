#include "support/scripted_dialog.h"

#include <algorithm>
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
    const std::vector<std::string>& list = items[control];
    text[control] = std::find(list.begin(), list.end(), t) != list.end() ? t : "";
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
        // A user cannot change a disabled or hidden field; the tests check this count.
        const auto reachable = [&self](int control) {
            const bool blocked = self.controls.disabled[control] || self.controls.hidden[control];
            self.typedIntoDisabled += blocked;
            return !blocked;
        };
        for (const auto& kv : step.type)
            if (reachable(kv.first)) self.controls.text[kv.first] = kv.second;
        for (const auto& kv : step.check)
            if (reachable(kv.first)) self.controls.checked[kv.first] = kv.second;
        if (!step.ok) return plat::DialogResult::Cancel;
        if (behaviour.onOk(self.controls)) return plat::DialogResult::Ok;
    }
    // The script ran out with the dialog still open: the user gives up.
    return plat::DialogResult::Cancel;
}

}  // namespace vorntest
