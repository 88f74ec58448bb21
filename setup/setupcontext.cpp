// The data-source keywords, the parsers that fill a SetupContext, and storing
// a data source through the installer library.
#include "setup/setup.h"

#include "platform/installer.h"

#include <algorithm>
#include <cctype>
#include <cstring>

const DsnAttributeKeyword DSN_ATTRIBUTE_KEYWORDS[SETUP_SLOT_COUNT] = {
    {"DSN", IDC_DSN_NAME, false},  // stored as the section name, not as a key
    {"Description", IDC_DESCRIPTION, true},
    {"Server", IDC_SERVER, true},
    {"Service", IDC_SERVICE, true},
    {"UID", IDC_USER, false},
    {"PWD", IDC_PASSWORD, false},
    {"LogLevel", IDC_LOGLEVEL, true},
    {"LogFile", IDC_LOGFILE, true},
};

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

void parseConnectionString(SetupContext& ctx, const char* text, long length) {
    if (!text) return;
    const char* stop = text;
    if (length < 0) {
        stop += std::strlen(text);
    } else {
        const void* nul = std::memchr(text, '\0', std::size_t(length));
        stop = nul ? static_cast<const char*>(nul) : text + length;
    }
    const char* p = text;
    while (p < stop) {
        const char* eq = p;
        while (eq < stop && *eq != '=' && *eq != ';') ++eq;
        if (eq == stop || *eq != '=') return;  // a pair without '='
        int slot = findSetupSlot(p, std::size_t(eq - p));
        const char* v = eq + 1;
        while (v < stop && isSpace(*v)) ++v;
        if (v < stop && *v == '{') {
            // Braced value: may hold ';' and '='; "}}" is one '}'.
            char value[kSlotValueSize];
            std::size_t n = 0;
            const char* q = v + 1;
            for (; q < stop; ++q) {
                if (*q == '}') {
                    if (q + 1 < stop && q[1] == '}') ++q;
                    else break;
                }
                if (n < kSlotValueSize - 1) value[n++] = *q;
            }
            if (slot >= 0) setSetupSlot(ctx, slot, value, n);
            p = q < stop ? q + 1 : stop;
            while (p < stop && *p != ';') ++p;  // anything between '}' and ';' is dropped
        } else {
            const char* end = eq + 1;
            while (end < stop && *end != ';') ++end;
            if (slot >= 0) setSetupSlot(ctx, slot, eq + 1, std::size_t(end - eq - 1));
            p = end;
        }
        if (p < stop) ++p;  // the ';'
    }
}

void readMissingKeys(SetupContext& ctx) {
    const char* section = ctx.attributes[SLOT_DSN].value;
    for (int slot = 0; slot < SETUP_SLOT_COUNT; ++slot) {
        SetupAttribute& a = ctx.attributes[slot];
        if (!DSN_ATTRIBUTE_KEYWORDS[slot].stored || a.present) continue;
        if (section[0]) {
            plat::inst::getPrivateProfileString(section, DSN_ATTRIBUTE_KEYWORDS[slot].keyword, defaultOf(slot),
                                                a.value, int(kSlotValueSize), "ODBC.INI");
        } else {
            std::strcpy(a.value, defaultOf(slot));  // no data source to read from
        }
    }
}

bool storeDataSource(SetupContext& ctx, plat::DialogControls* controls) {
    const char* name = ctx.attributes[SLOT_DSN].value;
    if (!plat::inst::writeDSNToIni(name, ctx.driver)) {
        if (controls) controls->warn("FEL", "ERROR");
        return false;
    }
    for (int slot = 0; slot < SETUP_SLOT_COUNT; ++slot) {
        const SetupAttribute& a = ctx.attributes[slot];
        if (DSN_ATTRIBUTE_KEYWORDS[slot].stored && (controls || a.present))
            plat::inst::writePrivateProfileString(name, DSN_ATTRIBUTE_KEYWORDS[slot].keyword, a.value, "ODBC.INI");
    }
    if (ctx.initialName[0] && !equalsNoCase(name, std::strlen(name), ctx.initialName))
        plat::inst::removeDSNFromIni(ctx.initialName);
    return true;
}
