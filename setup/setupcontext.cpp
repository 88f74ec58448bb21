// The data-source keywords, the parsers that fill a SetupContext, and storing
// a data source through the installer library.
#include "setup/setup.h"

#include "driver/entry/odbc.h"
#include "platform/installer.h"

#include <odbcinst.h>

#include <algorithm>
#include <cctype>
#include <cstring>

const DsnAttributeKeyword DSN_ATTRIBUTE_KEYWORDS[SETUP_SLOT_COUNT] = {
    {"DSN", IDC_DSN_NAME, nullptr, false},  // the section name, not a key
    {"Description", IDC_DESCRIPTION, "Description", true},
    {"Server", IDC_SERVER, "Server", true},
    {"Service", IDC_SERVICE, "Service", true},
    {"UID", IDC_USER, "User", true},
    {"PWD", IDC_PASSWORD, "Password", false},  // an administrator may add it; the setup never does
    {"LogLevel", IDC_LOGLEVEL, "LogLevel", true},
    {"LogFile", IDC_LOGFILE, "LogFile", true},
    {"BlockSize", 0, "BlockSize", false},
    {"MaxAnswerSize", 0, "MaxAnswerSize", false},
};

const char* const kSetupCaption = "Kalmo VORNsql driver - Data source setup";

std::string connectCaption(const char* dsn) {
    std::string caption = "Kalmo VORNsql driver - Connect";
    if (dsn && dsn[0]) caption.append(" to ").append(dsn);
    return caption;
}

namespace {

bool equalsNoCase(const char* a, std::size_t length, const char* b) {
    if (std::strlen(b) != length) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }

// The key's default when a data source does not have it.
const char* defaultOf(int slot) { return slot == SLOT_LOGLEVEL ? "0" : ""; }

}  // namespace

int findSetupSlot(const char* keyword, std::size_t length) {
    // Blanks around a keyword are a typing slip, not part of the name.
    while (length && isSpace(*keyword)) ++keyword, --length;
    while (length && isSpace(keyword[length - 1])) --length;
    if (length == 0 || length > kMaxKeywordLength) return -1;
    for (int slot = 0; slot < SETUP_SLOT_COUNT; ++slot)
        if (equalsNoCase(keyword, length, DSN_ATTRIBUTE_KEYWORDS[slot].keyword)) return slot;
    return -1;
}

void setSetupSlot(SetupContext& ctx, int slot, const char* value, std::size_t length) {
    if (slot < 0 || slot >= SETUP_SLOT_COUNT) return;
    SetupAttribute& a = ctx.attributes[slot];
    length = std::min(length, kSlotValueSize - 1);
    if (length) std::memcpy(a.value, value, length);
    a.value[length] = '\0';
    a.present = 1;
}

void parseAttributeList(SetupContext& ctx, const char* list) {
    if (!list) return;
    const char* p = list;
    while (*p) {
        const char* end = p;
        while (*end && *end != ';') ++end;
        const char* eq = static_cast<const char*>(std::memchr(p, '=', std::size_t(end - p)));
        if (!eq) return;
        int slot = findSetupSlot(p, std::size_t(eq - p));
        if (slot >= 0) setSetupSlot(ctx, slot, eq + 1, std::size_t(end - eq - 1));
        // Past the pair's ';' or NUL: a NUL right behind a NUL ends the list.
        p = end + 1;
    }
}

void forEachConnectionPair(const char* text, long length, const ConnectionPairTaker& take) {
    if (!text) return;
    const char* stop = text;
    if (length < 0) {
        stop += std::strlen(text);
    } else {
        const void* nul = std::memchr(text, '\0', std::size_t(length));
        stop = nul ? static_cast<const char*>(nul) : text + length;
    }
    const char* p = text;
    std::string value;
    while (p < stop) {
        const char* keyword = p;
        const char* eq = p;
        while (eq < stop && *eq != '=' && *eq != ';') ++eq;
        if (eq == stop || *eq != '=') return;  // a pair without '='
        const char* v = eq + 1;
        while (v < stop && isSpace(*v)) ++v;
        const bool braced = v < stop && *v == '{';
        value.clear();
        if (braced) {
            // Braced value: may hold ';' and '='; "}}" is one '}'.
            const char* q = v + 1;
            for (; q < stop; ++q) {
                if (*q == '}') {
                    if (q + 1 < stop && q[1] == '}') ++q;
                    else break;
                }
                value += *q;
            }
            p = q < stop ? q + 1 : stop;
            while (p < stop && *p != ';') ++p;  // anything between '}' and ';' is dropped
        } else {
            const char* end = eq + 1;
            while (end < stop && *end != ';') ++end;
            value.assign(eq + 1, end);
            p = end;
        }
        take(keyword, std::size_t(eq - keyword), value, braced);
        if (p < stop) ++p;  // the ';'
    }
}

void parseConnectionString(SetupContext& ctx, const char* text, long length) {
    forEachConnectionPair(text, length, [&ctx](const char* keyword, std::size_t n, const std::string& value, bool) {
        setSetupSlot(ctx, findSetupSlot(keyword, n), value.data(), value.size());
    });
}

void readMissingKeys(SetupContext& ctx) {
    const char* section = ctx.attributes[SLOT_DSN].value;
    for (int slot = 0; slot < SETUP_SLOT_COUNT; ++slot) {
        SetupAttribute& a = ctx.attributes[slot];
        const char* key = DSN_ATTRIBUTE_KEYWORDS[slot].key;
        if (!key || a.present) continue;
        if (section[0]) {
            plat::inst::getPrivateProfileString(section, key, defaultOf(slot), a.value, int(kSlotValueSize),
                                                "ODBC.INI");
        } else {
            std::strcpy(a.value, defaultOf(slot));  // no data source to read from
        }
    }
}

std::string dataSourceNameProblem(const char* name) {
    if (!name || !name[0]) return "Enter a name for the data source.";
    if (plat::inst::validDSN(name)) return "";
    return std::string("\"") + name +
           "\" cannot name a data source: a name has at most 32 characters and none of []{}(),;?*=!@\\";
}

namespace {

// The installer's own reason for its last failure, or "".
std::string installerReason() {
    for (unsigned short i = 1; i <= 8; ++i) {
        char message[512] = "";
        std::uint32_t code = 0;
        unsigned short length = 0;
        if (!SQL_SUCCEEDED(plat::inst::installerError(i, &code, message, sizeof message, &length))) break;
        message[sizeof message - 1] = '\0';
        if (message[0]) return message;
    }
    return "";
}

}  // namespace

bool storeDataSource(SetupContext& ctx, plat::DialogControls* controls) {
    const char* name = ctx.attributes[SLOT_DSN].value;
    const std::string problem = dataSourceNameProblem(name);
    if (!problem.empty()) {
        if (controls) controls->warn(problem.c_str(), kSetupCaption);
        else plat::inst::postInstallerError(ODBC_ERROR_INVALID_DSN, problem.c_str());
        return false;
    }
    if (!plat::inst::writeDSNToIni(name, ctx.driver)) {
        // Without a window the installer's error stays for the caller to read.
        if (controls) {
            std::string reason = installerReason();
            if (reason.empty()) reason = "The installer did not store the data source.";
            controls->warn(("\"" + std::string(name) + "\" was not stored: " + reason).c_str(), kSetupCaption);
        }
        return false;
    }
    for (int slot = 0; slot < SETUP_SLOT_COUNT; ++slot) {
        const SetupAttribute& a = ctx.attributes[slot];
        const DsnAttributeKeyword& k = DSN_ATTRIBUTE_KEYWORDS[slot];
        if (k.written && (controls || a.present))
            plat::inst::writePrivateProfileString(name, k.key, a.value, "ODBC.INI");
    }
    if (ctx.initialName[0] && !equalsNoCase(name, std::strlen(name), ctx.initialName))
        plat::inst::removeDSNFromIni(ctx.initialName);
    return true;
}
