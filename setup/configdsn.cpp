// ConfigDSN: adds, changes or removes a data source of this driver, called by
// the ODBC administrator and by SQLConfigDataSource.
//
// Without a window system (Linux) a parent window cannot be used: the call is
// then handled as a windowless one, which stores what the attribute list gives
// and fails, with an installer error, when it gives no data-source name.
#include "setup/setup.h"

#include "driver/entry/odbc.h"
#include "driver/connect/transport.h"
#include "platform/installer.h"
#include "platform/platform.h"

#include <odbcinst.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace {

// Frees the context however ConfigDSN leaves.
struct ContextHolder {
    SetupContext* ctx = plat::heapNew<SetupContext>();
    ~ContextHolder() { plat::heapDelete(ctx); }
};

bool fail(std::uint32_t installerError, const char* message) {
    plat::inst::postInstallerError(installerError, message);
    return false;
}

// The transport keywords of the attribute list (Encrypt=yes, CAFile=...),
// stored beside the eight.
void storeTransportKeys(const char* dsn, const char* attributes) {
    std::string pairs;
    for (const char* p = attributes; p && *p; p += std::strlen(p) + 1) pairs.append(p).push_back(';');
    TransportValues values;
    parseTransportKeywords(values, pairs.c_str(), -1);
    for (int slot = 0; slot < TRANSPORT_SLOT_COUNT; ++slot)
        if (values.present[slot])
            plat::inst::writePrivateProfileString(dsn, TRANSPORT_KEYWORDS[slot], values.value[slot].c_str(),
                                                  "ODBC.INI");
}

bool configDsn(void* parent, WORD request, const char* driver, const char* attributes) {
    ContextHolder holder;
    SetupContext* ctx = holder.ctx;
    if (!ctx) return fail(ODBC_ERROR_OUT_OF_MEM, "Out of memory");
    parseAttributeList(*ctx, attributes);

    const SetupAttribute& dsn = ctx->attributes[SLOT_DSN];
    if (dsn.present) {
        const std::string problem = dataSourceNameProblem(dsn.value);
        if (!problem.empty()) return fail(ODBC_ERROR_INVALID_DSN, problem.c_str());
        if (std::strlen(dsn.value) < sizeof ctx->initialName) std::strcpy(ctx->initialName, dsn.value);
        // A longer name than any installer accepts cannot be kept whole; no
        // initial name then means no rename, so no other data source is removed.
    }

    if (request == ODBC_REMOVE_DSN) {
        if (!dsn.present) return fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, "No DSN given to remove");
        return plat::inst::removeDSNFromIni(dsn.value);
    }

    ctx->driver = driver;
    ctx->adding = request == ODBC_ADD_DSN;
    if (parent) {
        DsnDialog dialog(*ctx, DsnDialog::Mode::Setup);
        switch (plat::runModalDialog(parent, IDD_DSN_SETUP, dialog)) {
        case plat::DialogResult::Ok: return true;
        case plat::DialogResult::Cancel: return false;
        case plat::DialogResult::Unavailable: break;  // handled as windowless
        }
    }
    if (!dsn.present) return fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, "No DSN given");
    if (!storeDataSource(*ctx, nullptr)) return false;
    storeTransportKeys(dsn.value, attributes);
    return true;
}

}  // namespace

VSQL_EXPORT BOOL INSTAPI ConfigDSN(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver,
                                              LPCSTR lpszAttributes) {
    try {
        return configDsn(reinterpret_cast<void*>(hwndParent), fRequest, lpszDriver, lpszAttributes) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

#ifdef _WIN32

namespace {

// A wide installer text in the ANSI code page of the setup texts.
std::string setupText(const wchar_t* text, std::size_t units) {
    const std::string utf8 = plat::utf16ToUtf8(reinterpret_cast<const char16_t*>(text), units);
    return plat::utf8ToAnsi(utf8.data(), utf8.size());
}

// The attribute list: "key=value" texts, each ended by a zero, the list by
// an empty one.
std::string setupList(const wchar_t* list) {
    std::string out;
    if (!list) return out;
    for (const wchar_t* p = list; *p; p += std::wcslen(p) + 1) {
        out += setupText(p, std::wcslen(p));
        out += '\0';
    }
    return out;
}

}  // namespace

// The wide form for installers that call it: the same work on the texts in
// the ANSI code page.
VSQL_EXPORT BOOL INSTAPI ConfigDSNW(HWND hwndParent, WORD fRequest, LPCWSTR lpszDriver, LPCWSTR lpszAttributes) {
    try {
        const std::string driver = lpszDriver ? setupText(lpszDriver, std::wcslen(lpszDriver)) : std::string();
        const std::string attributes = setupList(lpszAttributes);
        return configDsn(reinterpret_cast<void*>(hwndParent), fRequest, lpszDriver ? driver.c_str() : nullptr,
                         lpszAttributes ? attributes.c_str() : nullptr)
                   ? 1
                   : 0;
    } catch (...) {
        return 0;
    }
}

#endif
