#include "driver/connect/transport.h"

#include "platform/installer.h"

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
    if (!text) return;
    const char* stop = text + (length < 0 ? std::strlen(text) : std::size_t(length));
    if (const void* nul = std::memchr(text, '\0', std::size_t(stop - text))) stop = static_cast<const char*>(nul);
    const char* p = text;
    while (p < stop) {
        const char* eq = p;
        while (eq < stop && *eq != '=' && *eq != ';') ++eq;
        if (eq == stop || *eq != '=') return;
        const int slot = slotOf(p, std::size_t(eq - p));
        const char* v = eq + 1;
        while (v < stop && (*v == ' ' || *v == '\t')) ++v;
        std::string value;
        if (v < stop && *v == '{') {
            const char* q = v + 1;
            for (; q < stop; ++q) {
                if (*q == '}') {
                    if (q + 1 < stop && q[1] == '}') ++q;
                    else break;
                }
                value += *q;
            }
            p = q < stop ? q + 1 : stop;
            while (p < stop && *p != ';') ++p;
        } else {
            const char* end = eq + 1;
            while (end < stop && *end != ';') ++end;
            value.assign(v, end);  // blanks around a value are a typing slip
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
            p = end;
        }
        if (slot >= 0) {
            values.present[slot] = true;
            values.value[slot] = value;
        }
        if (p < stop) ++p;
    }
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
