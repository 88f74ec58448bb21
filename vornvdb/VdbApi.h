// What the C API's wrappers share: the registry of live sessions that makes
// a handle valid, the guard that keeps exceptions inside the kit, and the
// local filter routines of Export and Import.
#pragma once

#include "vornvdb/vornkit.h"

#include <cstdint>

class CVDB;

// The session of a live handle, or null (logged as "HVDB pointer is
// invalid" when the trace flags ask for handle reports).
CVDB* VdbSession(HVDB handle);

// Runs `body` and turns an escaping exception into -2 (communication
// failure), so that no exception crosses a C API function.
template <class F>
std::int32_t VdbGuard(F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return -2;
    }
}

// Serves an Export or Import marked for local handling (flags bit 0x8) from
// the filter libraries listed under the registry value USRSHR.
std::int32_t RunFilterRoutine(XmlRequest* record, HVDB handle);

// A message box from the kit: also written to the kit log where there is no
// window system to show it.
int VdbMessageBox(const char* caption, const char* text, unsigned style);
