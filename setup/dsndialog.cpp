// What the data-source dialog does with its fields. The window itself is the
// platform's (platform/dialog.h).
#include "setup/setup.h"

#include "driver/connect/transport.h"
#include "platform/installer.h"

#include <cstring>

namespace {
const char* const kLogLevels[] = {"0", "1", "2", "3", "4", "5"};

// The values a connection cannot do without, in the order of the fields: the
// prompt starts at the first one that is empty.
const SetupSlot kRequiredForConnect[] = {SLOT_SERVER, SLOT_SERVICE, SLOT_UID, SLOT_PWD};

// The check box stands for the data source's "Encrypt" key, which the
// connection reads (a connection string's Encrypt overrides it).
bool encryptStored(const char* dsn) {
    if (!dsn[0]) return false;
    char value[16] = "";
    plat::inst::getPrivateProfileString(dsn, TRANSPORT_KEYWORDS[TRANSPORT_ENCRYPT], "", value, int(sizeof value), "ODBC.INI");
    return transportFlagOn(value);
}
}  // namespace

void DsnDialog::onInit(plat::DialogControls& controls) {
    readMissingKeys(ctx_);
    const SetupAttribute* a = ctx_.attributes;
    controls.setText(IDC_DSN_NAME, a[SLOT_DSN].value);
    controls.setText(IDC_DESCRIPTION, a[SLOT_DESCRIPTION].value);
    controls.setText(IDC_SERVER, a[SLOT_SERVER].value);
    controls.setText(IDC_SERVICE, a[SLOT_SERVICE].value);
    controls.setText(IDC_USER, a[SLOT_UID].value);
    for (const char* level : kLogLevels) controls.addListItem(IDC_LOGLEVEL, level);
    controls.selectListItem(IDC_LOGLEVEL, a[SLOT_LOGLEVEL].value);
    controls.setText(IDC_LOGFILE, a[SLOT_LOGFILE].value);
    if (mode_ == Mode::Connect) {
        // The prompt completes a connection string, whose own Encrypt decides.
        controls.show(IDC_ENCRYPT, false);
        controls.setCaption(connectCaption(a[SLOT_DSN].value).c_str());
        controls.setText(IDC_PASSWORD, a[SLOT_PWD].value);
        controls.enable(IDC_DSN_NAME, false);
        controls.enable(IDC_DESCRIPTION, false);
        for (SetupSlot slot : kRequiredForConnect)
            if (!a[slot].value[0]) {
                controls.focus(DSN_ATTRIBUTE_KEYWORDS[slot].dialogField);
                break;
            }
        return;
    }
    // The setup stores no password, so it asks for none.
    controls.setCaption(kSetupCaption);
    controls.show(IDC_PASSWORD, false);
    controls.show(IDC_PASSWORD_LABEL, false);
    controls.setChecked(IDC_ENCRYPT, encryptStored(a[SLOT_DSN].value));
    if (ctx_.adding && a[SLOT_DSN].value[0]) controls.enable(IDC_DSN_NAME, false);  // the caller chose the name
}

bool DsnDialog::onOk(plat::DialogControls& controls) {
    for (int slot = 0; slot < SETUP_SLOT_COUNT; ++slot) {
        if (slot == SLOT_PWD && mode_ == Mode::Setup) continue;  // not shown in the setup
        if (!DSN_ATTRIBUTE_KEYWORDS[slot].dialogField) continue;   // kept as the data source has it
        SetupAttribute& a = ctx_.attributes[slot];
        controls.getText(DSN_ATTRIBUTE_KEYWORDS[slot].dialogField, a.value, sizeof a.value);
        a.value[sizeof a.value - 1] = '\0';
    }
    if (mode_ == Mode::Connect) return true;
    if (!storeDataSource(ctx_, &controls)) return false;
    plat::inst::writePrivateProfileString(ctx_.attributes[SLOT_DSN].value, TRANSPORT_KEYWORDS[TRANSPORT_ENCRYPT],
                                          controls.isChecked(IDC_ENCRYPT) ? "yes" : "no", "ODBC.INI");
    return true;
}
