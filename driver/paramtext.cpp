// Parameter values as statement text, by C type.
#include "driver/paramtext.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

enum class Form { UInt8, Int8, UInt32, UInt16, Int32, Int16, Bytes, Float, Double, Date, Time };

struct ParamRule {
    SQLSMALLINT cType;
    Form form;
    SQLSMALLINT sqlTypes[8];  // the SQL types it may be bound for; 0 ends the list
};

#define NUMERIC_TYPES {SQL_LONGVARCHAR, SQL_INTEGER, SQL_SMALLINT, SQL_FLOAT, SQL_VARCHAR}
#define DATE_TYPES {SQL_LONGVARCHAR, SQL_VARCHAR, SQL_TYPE_DATE}
#define TIME_TYPES {SQL_LONGVARCHAR, SQL_VARCHAR, SQL_TYPE_TIME}

const ParamRule kRules[] = {
    {SQL_C_UTINYINT, Form::UInt8, NUMERIC_TYPES},
    {SQL_C_STINYINT, Form::Int8, NUMERIC_TYPES},
    {SQL_C_TINYINT, Form::Int8, NUMERIC_TYPES},
    {SQL_C_ULONG, Form::UInt32, NUMERIC_TYPES},
    {SQL_C_USHORT, Form::UInt16, NUMERIC_TYPES},
    {SQL_C_SLONG, Form::Int32, NUMERIC_TYPES},
    {SQL_C_SSHORT, Form::Int16, NUMERIC_TYPES},
    {SQL_C_LONG, Form::Int32, NUMERIC_TYPES},
    {SQL_C_SHORT, Form::Int16, NUMERIC_TYPES},
    {SQL_C_BINARY, Form::Bytes, {SQL_LONGVARBINARY, SQL_BINARY}},
    {SQL_C_CHAR, Form::Bytes,
     {SQL_LONGVARCHAR, SQL_INTEGER, SQL_SMALLINT, SQL_FLOAT, SQL_VARCHAR, SQL_TYPE_DATE, SQL_TYPE_TIME}},
    {SQL_C_FLOAT, Form::Float, {SQL_FLOAT}},
    {SQL_C_DOUBLE, Form::Double, {SQL_FLOAT}},
    {SQL_C_DATE, Form::Date, DATE_TYPES},
    {SQL_C_TYPE_DATE, Form::Date, DATE_TYPES},
    {SQL_C_TIME, Form::Time, TIME_TYPES},
    {SQL_C_TYPE_TIME, Form::Time, TIME_TYPES},
};

#undef NUMERIC_TYPES
#undef DATE_TYPES
#undef TIME_TYPES

bool allows(const ParamRule& rule, SQLSMALLINT sqlType) {
    for (SQLSMALLINT t : rule.sqlTypes)
        if (t != 0 && t == sqlType) return true;
    return false;
}

const ParamRule* findRule(SQLSMALLINT cType) {
    for (const ParamRule& rule : kRules)
        if (rule.cType == cType) return &rule;
    return nullptr;
}

template <typename T>
T load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

bool formatParameter(SQLSMALLINT cType, const void* value, char (&out)[256]) {
    const ParamRule* rule = findRule(cType);
    if (!rule || !value || rule->form == Form::Bytes) return false;
    switch (rule->form) {
    case Form::UInt8: std::snprintf(out, sizeof out, "%u", unsigned(load<unsigned char>(value))); break;
    case Form::Int8: std::snprintf(out, sizeof out, "%d", int(load<signed char>(value))); break;
    case Form::UInt32: std::snprintf(out, sizeof out, "%u", unsigned(load<SQLUINTEGER>(value))); break;
    case Form::UInt16: std::snprintf(out, sizeof out, "%u", unsigned(load<SQLUSMALLINT>(value))); break;
    case Form::Int32: std::snprintf(out, sizeof out, "%d", int(load<SQLINTEGER>(value))); break;
    case Form::Int16: std::snprintf(out, sizeof out, "%d", int(load<SQLSMALLINT>(value))); break;
    case Form::Float: std::snprintf(out, sizeof out, "%.15g", double(load<SQLREAL>(value))); break;
    case Form::Double: std::snprintf(out, sizeof out, "%.15g", load<SQLDOUBLE>(value)); break;
    case Form::Date: {
        const auto d = load<SQL_DATE_STRUCT>(value);
        std::snprintf(out, sizeof out, "%04d-%02d-%02d", int(d.year), int(d.month), int(d.day));
        break;
    }
    case Form::Time: {
        const auto t = load<SQL_TIME_STRUCT>(value);
        std::snprintf(out, sizeof out, "%02d:%02d:%02d", int(t.hour), int(t.minute), int(t.second));
        break;
    }
    case Form::Bytes: return false;
    }
    return true;
}

SQLRETURN parameterToText(SQLSMALLINT cType, const void* value, SQLLEN length, SQLSMALLINT sqlType,
                          std::string& text, char* sqlState) {
    const ParamRule* rule = findRule(cType);
    if (!rule || !allows(*rule, sqlType)) {
        std::snprintf(sqlState, 6, "%s", "07006");
        return SQL_ERROR;
    }
    if (rule->form == Form::Bytes) {
        if (!value) return SQL_SUCCESS;
        const char* bytes = static_cast<const char*>(value);
        // Lengths other than the two markers the caller already handled are
        // counts; anything negative reads as a terminated text.
        const std::size_t n = length < 0 ? std::strlen(bytes) : std::size_t(length);
        // SQL_C_CHAR data is in the application's code page, whichever entry
        // point executes.
        if (cType == SQL_C_CHAR && plat::ansiBoundaryConverts())
            text += plat::ansiToInternal(bytes, n);
        else
            text.append(bytes, n);
        return SQL_SUCCESS;
    }
    char formatted[256] = "";
    if (formatParameter(cType, value, formatted)) text.append(formatted);
    return SQL_SUCCESS;
}
