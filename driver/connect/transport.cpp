#include "driver/connect/transport.h"

#include "platform/installer.h"
#include "setup/setup.h"

#include <cctype>
#include <cstring>

const char* const TRANSPORT_KEYWORDS[TRANSPORT_SLOT_COUNT] = {
    "Encrypt",
    "TrustServerCertificate",
    "CAFile",
    "HostNameInCertificate",
};

namespace {

bool sameNoCase(const char* a, std::size_t length, const char* b) {
    if (std::strlen(b) != length) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

int slotOf(const char* keyword, std::size_t length) {
    while (length && (*keyword == ' ' || *keyword == '\t')) ++keyword, --length;
    while (length && (keyword[length - 1] == ' ' || keyword[length - 1] == '\t')) --length;
    for (int slot = 0; slot < TRANSPORT_SLOT_COUNT; ++slot)
        if (sameNoCase(keyword, length, TRANSPORT_KEYWORDS[slot])) return slot;
    return -1;
}

struct Flag {
    const char* text;
    bool on;
};
// What users of other drivers write for these switches.
const Flag kFlags[] = {
    {"yes", true}, {"no", false}, {"true", true}, {"false", false}, {"1", true}, {"0", false},
    {"mandatory", true}, {"optional", false},
};

// False when the text is none of the flag words; "" is the default (off).
bool readFlag(const std::string& text, bool& on) {
    on = false;
    if (text.empty()) return true;
    for (const Flag& f : kFlags)
        if (sameNoCase(text.data(), text.size(), f.text)) {
            on = f.on;
            return true;
        }
    return false;
}

template <std::size_t N>
void copyField(char (&field)[N], const std::string& text) {
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

}  // namespace

void parseTransportKeywords(TransportValues& values, const char* text, long length) {
    forEachConnectionPair(text, length, [&values](const char* keyword, std::size_t n, const std::string& value,
                                                  bool braced) {
        const int slot = slotOf(keyword, n);
        if (slot < 0) return;
        std::string& v = values.value[slot];
        v = value;
        const std::size_t first = v.find_first_not_of(" \t");
        if (!braced)  // blanks around a value are a typing slip
            v = first == std::string::npos ? std::string() : v.substr(first, v.find_last_not_of(" \t") + 1 - first);
        values.present[slot] = true;
    });
}

void readTransportKeys(TransportValues& values, const char* dsn) {
    if (!dsn || !dsn[0]) return;
    for (int slot = 0; slot < TRANSPORT_SLOT_COUNT; ++slot) {
        if (values.present[slot]) continue;
        char value[300] = "";
        plat::inst::getPrivateProfileString(dsn, TRANSPORT_KEYWORDS[slot], "", value, int(sizeof value),
                                            "ODBC.INI");
        if (value[0]) {
            values.present[slot] = true;
            values.value[slot] = value;
        }
    }
}

bool applyTransport(const TransportValues& values, KitStartupParams& params, std::string& problem) {
    bool encrypt = false, trust = false;
    const int flags[] = {TRANSPORT_ENCRYPT, TRANSPORT_TRUST_SERVER};
    for (int slot : flags) {
        bool& on = slot == TRANSPORT_ENCRYPT ? encrypt : trust;
        if (!readFlag(values.value[slot], on)) {
            problem = "Invalid value '" + values.value[slot] + "' for " + TRANSPORT_KEYWORDS[slot] +
                      ": use yes or no";
            return false;
        }
    }
    const std::string& caFile = values.value[TRANSPORT_CA_FILE];
    const std::string& hostName = values.value[TRANSPORT_HOST_NAME];
    if (caFile.size() >= sizeof params.caFile || hostName.size() >= sizeof params.tlsHost) {
        problem = caFile.size() >= sizeof params.caFile ? "CAFile is too long" : "HostNameInCertificate is too long";
        return false;
    }
    if (!encrypt) return true;  // the other keywords only shape an encrypted session
    copyField(params.commsModule, std::string("tls.dll"));
    params.tlsFlags = trust ? VDB_TLS_TRUST_SERVER : 0;
    copyField(params.caFile, caFile);
    copyField(params.tlsHost, hostName);
    return true;
}

bool transportFlagOn(const std::string& text) {
    bool on = false;
    return readFlag(text, on) && on;
}

std::string transportConnectionString(const TransportValues& values) {
    std::string out;
    for (int slot = 0; slot < TRANSPORT_SLOT_COUNT; ++slot) {
        const std::string& v = values.value[slot];
        if (!values.present[slot] || v.empty()) continue;
        out += ";";
        out += TRANSPORT_KEYWORDS[slot];
        out += "=";
        if (v.find(';') == std::string::npos && v[0] != '{') {
            out += v;
            continue;
        }
        out += "{";
        for (char c : v) {
            out += c;
            if (c == '}') out += '}';
        }
        out += "}";
    }
    return out;
}
