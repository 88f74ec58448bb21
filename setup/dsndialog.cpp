// What the data-source dialog does with its fields. The window itself is the
// platform's (platform/dialog.h).
#include "setup/setup.h"

#include <cstring>

namespace {
const char* const kLogLevels[] = {"0", "1", "2", "3", "4", "5"};
}

void DsnDialog::onInit(plat::DialogControls& controls) {
    readMissingKeys(ctx_);
    const SetupAttribute* a = ctx_.attributes;
    controls.setText(IDC_DSN_NAME, a[SLOT_DSN].value);
    controls.setText(IDC_DESCRIPTION, a[SLOT_DESCRIPTION].value);
    controls.setText(IDC_SERVER, a[SLOT_SERVER].value);
    controls.setText(IDC_SERVICE, a[SLOT_SERVICE].value);
    for (const char* level : kLogLevels) controls.addListItem(IDC_LOGLEVEL, level);
    controls.selectListItem(IDC_LOGLEVEL, a[SLOT_LOGLEVEL].value);
    controls.setText(IDC_LOGFILE, a[SLOT_LOGFILE].value);
    // The user name and password fields always start empty: the prompt asks
    // for the credentials, and OK takes whatever was typed into them.
    if (mode_ == Mode::Connect) {
        controls.enable(IDC_DSN_NAME, false);
        controls.enable(IDC_DESCRIPTION, false);
    } else if (ctx_.adding && a[SLOT_DSN].present) {
        controls.enable(IDC_DSN_NAME, false);  // the caller chose the name
    }
}

bool DsnDialog::onOk(plat::DialogControls& controls) {
    for (int slot = 0; slot < SETUP_SLOT_COUNT; ++slot) {
        SetupAttribute& a = ctx_.attributes[slot];
        controls.getText(DSN_ATTRIBUTE_KEYWORDS[slot].dialogField, a.value, sizeof a.value);
        a.value[sizeof a.value - 1] = '\0';
    }
    if (mode_ == Mode::Connect) return true;
    return storeDataSource(ctx_, &controls);
}
