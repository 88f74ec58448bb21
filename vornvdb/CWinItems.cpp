// The window string and the system-error text: the data items that reach
// into the platform's user-interface services.
#include "vornvdb/CData.h"

#include "platform/msgbox.h"

#include <cstdio>

CWSTRING::CWSTRING(void* module, unsigned resourceId) : CSTRING(plat::loadStringResource(module, resourceId).c_str()) {}

CWSTRING::CWSTRING(void* window, const CDATA& item, char fill)
    : CSTRING(fill, plat::fillerCount(window, CSTRING(item).c_str(), fill)) {}

bool CWSTRING::Show(void* window) const { return plat::showInWindow(window, c_str()); }

// The library carries no message resources of its own, so the text names the
// failed call and gives the system's own text with the code.
CSYSERR::CSYSERR(const char* method, long code) {
    std::string sys = plat::systemErrorText(code);
    char num[32];
    std::snprintf(num, sizeof num, "%ld", code);
    CSTRING text(method && *method ? method : "?");
    text.Append(" failed (");
    text.Append(num);
    text.Append(")");
    if (!sys.empty()) {
        text.Append(": ");
        text.Append(sys.c_str());
    }
    Assign(text);
}
