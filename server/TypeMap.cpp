#include "server/TypeMap.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace vornd {

const char kTypeInteger[] = "INTEGER";
const char kTypeVarchar[] = "VARCHAR";
const char kTypeLongVarchar[] = "LONG VARCHAR";
const char kTypeLongVarbinary[] = "LONG VARBINARY";
const char kTypeNumeric[] = "NUMERIC";
const char kTypeDate[] = "DATE";
const char kTypeTime[] = "TIME";

namespace {

enum class Match { Prefix, Contains };

struct TypeRule {
    const char* pattern;  // upper case
    Match match;
    const char* vornType;
};

// First matching row wins, so the more specific patterns come first:
// "LONG VARBINARY" before "LONG", "DATETIME" before "DATE" and "TIME",
// "VARBINARY" before "CHAR", "POINT"-like words still fall to "INT" as in
// SQLite's own affinity rules.
const TypeRule kRules[] = {
    {"BLOB", Match::Contains, kTypeLongVarbinary},
    {"BINARY", Match::Contains, kTypeLongVarbinary},
    {"BYTEA", Match::Contains, kTypeLongVarbinary},
    {"IMAGE", Match::Contains, kTypeLongVarbinary},
    {"DATETIME", Match::Prefix, kTypeVarchar},
    {"TIMESTAMP", Match::Prefix, kTypeVarchar},
    {"DATE", Match::Prefix, kTypeDate},
    {"TIME", Match::Prefix, kTypeTime},
    {"LONG", Match::Contains, kTypeLongVarchar},
    {"TEXT", Match::Contains, kTypeLongVarchar},
    {"CLOB", Match::Contains, kTypeLongVarchar},
    {"INT", Match::Contains, kTypeInteger},
    {"BOOL", Match::Contains, kTypeInteger},
    {"CHAR", Match::Contains, kTypeVarchar},
    {"STRING", Match::Contains, kTypeVarchar},
    {"NUM", Match::Contains, kTypeNumeric},
    {"DEC", Match::Contains, kTypeNumeric},
    {"REAL", Match::Contains, kTypeNumeric},
    {"FLOA", Match::Contains, kTypeNumeric},
    {"DOUB", Match::Contains, kTypeNumeric},
    {"MONEY", Match::Contains, kTypeNumeric},
};

std::string upper(const char* s) {
    std::string u;
    for (; *s; ++s) u += static_cast<char>(std::toupper(static_cast<unsigned char>(*s)));
    return u;
}

bool isDeclaredAs(const char* declared, const char* prefix) {
    return upper(declared).compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

const char* typeForDeclared(const char* declared) {
    if (!declared || !*declared) return nullptr;
    const std::string u = upper(declared);
    for (const TypeRule& r : kRules) {
        const std::size_t at = u.find(r.pattern);
        if (at == std::string::npos) continue;
        if (r.match == Match::Prefix && at != 0) continue;
        return r.vornType;
    }
    // An unknown declared type has NUMERIC affinity in SQLite; as text it is
    // still the safest thing to show.
    return kTypeVarchar;
}

const char* typeForStorageClass(int storageClass) {
    switch (storageClass) {
        case SQLITE_INTEGER: return kTypeInteger;
        case SQLITE_FLOAT: return kTypeNumeric;
        case SQLITE_BLOB: return kTypeLongVarbinary;
        default: return kTypeVarchar;
    }
}

bool isLongType(const char* vornType) {
    return vornType == kTypeLongVarchar || vornType == kTypeLongVarbinary;
}

unsigned maxLengthFor(const char* vornType, const char* declared) {
    if (isLongType(vornType)) return 2147483647u;
    if (vornType == kTypeInteger) return 10;
    if (vornType == kTypeNumeric) return 15;
    if (vornType == kTypeDate) return 10;
    if (vornType == kTypeTime) return 8;
    if (declared && (isDeclaredAs(declared, "TIMESTAMP") || isDeclaredAs(declared, "DATETIME"))) {
        // Kept as text: "YYYY-MM-DD HH:MM:SS" and the fraction digits the
        // declaration allows, nine when it does not say.
        const char* paren = std::strchr(declared, '(');
        const long digits = paren ? std::strtol(paren + 1, nullptr, 10) : 9;
        return 19 + (digits > 0 && digits <= 9 ? 1 + unsigned(digits) : 0);
    }
    if (declared) {
        if (const char* paren = std::strchr(declared, '(')) {
            const long n = std::strtol(paren + 1, nullptr, 10);
            if (n > 0 && n < 2147483647L) return static_cast<unsigned>(n);
        }
    }
    return 255;
}

}  // namespace vornd
