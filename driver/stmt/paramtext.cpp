// Parameter values as statement literals. A value is first read in its C
// type into one of a few neutral forms (text, exact number, double, date,
// time, timestamp, bytes); the SQL type then decides how that form is
// written, or why it cannot be. Both steps are tables.
#include "driver/stmt/paramtext.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "util/Base64.h"
#include "driver/convert/widetext.h"

namespace {

// ---------------------------------------------------------------------------
// Neutral forms.

enum class Kind { Text, Exact, Approx, Date, Time, Stamp, Bytes };

// An exact number: sign, digits without leading zeros ("0" for zero), and
// the power of ten they are scaled by.
struct Number {
    bool negative = false;
    std::string digits = "0";
    int exponent = 0;
};

struct Stamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::uint32_t fraction = 0;  // nanoseconds
};

struct Value {
    Kind kind = Kind::Text;
    std::string bytes;  // Text (UTF-8), Bytes
    Number number;      // Exact
    double approx = 0;  // Approx
    bool single = false;  // Approx read from a float: written with float's precision
    Stamp stamp;        // Date, Time, Stamp
};

struct Failure {
    const char* state;
    const char* message;
};

const Failure kNotConverted = {"07006", nullptr};  // the standard text
const Failure kNotANumber = {"22018", "Invalid character value for cast specification"};
const Failure kOutOfRange = {"22003", "Numeric value out of range"};
const Failure kFraction = {"22001", "String data, right-truncated: fractional digits would be lost"};
const Failure kBadDatetime = {"22007", "Invalid datetime format"};
const Failure kDatetimeOverflow = {"22008", "Datetime field overflow"};
const Failure kZeroByte = {"22018", "A character value holds a zero byte, which a statement text cannot carry"};
const Failure kBadHex = {"22018", "A character value for a binary type is not an even number of hexadecimal digits"};

template <typename T>
T load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void trimZeros(Number& n) {
    std::size_t lead = 0;
    while (lead + 1 < n.digits.size() && n.digits[lead] == '0') ++lead;
    n.digits.erase(0, lead);
    while (n.digits.size() > 1 && n.digits.back() == '0') {
        n.digits.pop_back();
        ++n.exponent;
    }
    if (n.digits == "0") {
        n.negative = false;
        n.exponent = 0;
    }
}

Number fromUnsigned(std::uint64_t v, bool negative) {
    Number n;
    n.digits = std::to_string(v);
    n.negative = negative && v != 0;
    trimZeros(n);
    return n;
}

Number fromSigned(std::int64_t v) {
    const std::uint64_t magnitude = v < 0 ? std::uint64_t(0) - std::uint64_t(v) : std::uint64_t(v);
    return fromUnsigned(magnitude, v < 0);
}

// A decimal number in text: optional blanks, sign, digits with at most one
// point, optional exponent, optional blanks. False when it is not one.
bool parseNumber(const std::string& text, Number& n) {
    std::size_t i = 0, end = text.size();
    while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
    while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    n = Number();
    n.digits.clear();
    if (i < end && (text[i] == '+' || text[i] == '-')) n.negative = text[i++] == '-';
    bool point = false, any = false;
    int fractionDigits = 0;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            n.digits += c;
            any = true;
            if (point) ++fractionDigits;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any) return false;
    long exponent = 0;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        if (i == end) return false;
        for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i)
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
        if (negative) exponent = -exponent;
    }
    if (i != end) return false;
    n.exponent = int(exponent) - fractionDigits;
    trimZeros(n);
    return true;
}

// Plain decimal text of a number ("-123.45", "1200", "0.001"); scientific
// ("1.5E+400") when the plain form would run beyond 60 characters.
std::string numberText(const Number& n) {
    std::string out = n.negative ? "-" : "";
    const int length = int(n.digits.size());
    if (n.exponent >= 0 && length + n.exponent <= 60) {
        out += n.digits;
        out.append(std::size_t(n.exponent), '0');
    } else if (n.exponent < 0 && -n.exponent < length) {
        out += n.digits.substr(0, std::size_t(length + n.exponent));
        out += '.';
        out += n.digits.substr(std::size_t(length + n.exponent));
    } else if (n.exponent < 0 && -n.exponent - length <= 60) {
        out += "0.";
        out.append(std::size_t(-n.exponent - length), '0');
        out += n.digits;
    } else {
        out += n.digits.substr(0, 1);
        if (length > 1) out += '.' + n.digits.substr(1);
        out += 'E';
        out += std::to_string(n.exponent + length - 1);
    }
    return out;
}

// Shortest text that reads back as the same double (or float).
std::string approxText(double v, bool single) {
    char buffer[40];
    for (int digits = single ? 6 : 15; digits <= 17; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, v);
        if (single ? std::strtof(buffer, nullptr) == float(v) : std::strtod(buffer, nullptr) == v) break;
    }
    return buffer;
}

Number approxNumber(double v, bool single) {
    Number n;
    parseNumber(approxText(v, single), n);
    return n;
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysIn(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : kDays[month - 1];
}

bool validDate(const Stamp& s) {
    return s.year >= 1 && s.year <= 9999 && s.month >= 1 && s.month <= 12 && s.day >= 1 &&
           s.day <= daysIn(s.year, s.month);
}
bool validTime(const Stamp& s) {
    return s.hour >= 0 && s.hour <= 23 && s.minute >= 0 && s.minute <= 59 && s.second >= 0 && s.second <= 59 &&
           s.fraction < 1000000000u;
}

// Reads exactly count digits at text[i]; false when there are fewer.
bool digitsAt(const std::string& text, std::size_t& i, int count, int& out) {
    out = 0;
    for (int k = 0; k < count; ++k, ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

// "YYYY-MM-DD", "HH:MM:SS[.f]" or "YYYY-MM-DD HH:MM:SS[.f]" (blanks around
// allowed). hasDate/hasTime tell which parts were there.
bool parseDatetime(const std::string& raw, Stamp& s, bool& hasDate, bool& hasTime) {
    std::size_t b = raw.find_first_not_of(" \t"), e = raw.find_last_not_of(" \t");
    if (b == std::string::npos) return false;
    const std::string text = raw.substr(b, e - b + 1);
    std::size_t i = 0;
    hasDate = hasTime = false;
    s = Stamp();
    if (text.size() >= 10 && text[4] == '-') {
        if (!digitsAt(text, i, 4, s.year) || text[i++] != '-' || !digitsAt(text, i, 2, s.month) ||
            i >= text.size() || text[i++] != '-' || !digitsAt(text, i, 2, s.day))
            return false;
        hasDate = true;
        if (i == text.size()) return validDate(s);
        if (text[i] != ' ' && text[i] != 'T') return false;
        ++i;
    }
    if (!digitsAt(text, i, 2, s.hour) || i >= text.size() || text[i++] != ':' || !digitsAt(text, i, 2, s.minute) ||
        i >= text.size() || text[i++] != ':' || !digitsAt(text, i, 2, s.second))
        return false;
    hasTime = true;
    if (i < text.size() && text[i] == '.') {
        ++i;
        std::uint32_t scale = 100000000u;
        bool any = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10) {
            if (scale == 0) return false;  // beyond nanoseconds
            s.fraction += std::uint32_t(text[i] - '0') * scale;
            any = true;
        }
        if (!any) return false;
    }
    return i == text.size() && (!hasDate || validDate(s)) && validTime(s);
}

std::string dateText(const Stamp& s) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", s.year, s.month, s.day);
    return buffer;
}
std::string timeText(const Stamp& s) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", s.hour, s.minute, s.second);
    return buffer;
}
std::string stampText(const Stamp& s) {
    std::string out = dateText(s) + " " + timeText(s);
    if (s.fraction) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, ".%09u", unsigned(s.fraction));
        std::size_t end = std::strlen(buffer);
        while (buffer[end - 1] == '0') --end;
        out.append(buffer, end);
    }
    return out;
}

// ---------------------------------------------------------------------------
// Reading by C type.

enum class Reader { Chars, WideChars, Int8, UInt8, Int16, UInt16, Int32, UInt32, Int64, UInt64, Bit, Float,
                    Double, Numeric, Date, Time, Timestamp, Binary };

struct CTypeRow {
    SQLSMALLINT cType;
    Reader reader;
    std::size_t size;  // of one element in a column-wise array; 0 when variable
};

const CTypeRow kCTypes[] = {
    {SQL_C_CHAR, Reader::Chars, 0},
    {SQL_C_WCHAR, Reader::WideChars, 0},
    {SQL_C_BINARY, Reader::Binary, 0},
    {SQL_C_STINYINT, Reader::Int8, 1},
    {SQL_C_TINYINT, Reader::Int8, 1},
    {SQL_C_UTINYINT, Reader::UInt8, 1},
    {SQL_C_SSHORT, Reader::Int16, 2},
    {SQL_C_SHORT, Reader::Int16, 2},
    {SQL_C_USHORT, Reader::UInt16, 2},
    {SQL_C_SLONG, Reader::Int32, 4},
    {SQL_C_LONG, Reader::Int32, 4},
    {SQL_C_ULONG, Reader::UInt32, 4},
    {SQL_C_SBIGINT, Reader::Int64, 8},
    {SQL_C_UBIGINT, Reader::UInt64, 8},
    {SQL_C_BIT, Reader::Bit, 1},
    {SQL_C_FLOAT, Reader::Float, sizeof(SQLREAL)},
    {SQL_C_DOUBLE, Reader::Double, sizeof(SQLDOUBLE)},
    {SQL_C_NUMERIC, Reader::Numeric, sizeof(SQL_NUMERIC_STRUCT)},
    {SQL_C_DATE, Reader::Date, sizeof(SQL_DATE_STRUCT)},
    {SQL_C_TYPE_DATE, Reader::Date, sizeof(SQL_DATE_STRUCT)},
    {SQL_C_TIME, Reader::Time, sizeof(SQL_TIME_STRUCT)},
    {SQL_C_TYPE_TIME, Reader::Time, sizeof(SQL_TIME_STRUCT)},
    {SQL_C_TIMESTAMP, Reader::Timestamp, sizeof(SQL_TIMESTAMP_STRUCT)},
    {SQL_C_TYPE_TIMESTAMP, Reader::Timestamp, sizeof(SQL_TIMESTAMP_STRUCT)},
};

const CTypeRow* findCType(SQLSMALLINT cType) {
    for (const CTypeRow& row : kCTypes)
        if (row.cType == cType) return &row;
    return nullptr;
}

// The 128-bit little-endian mantissa of SQL_NUMERIC_STRUCT in decimal.
std::string mantissaDigits(const SQLCHAR (&val)[SQL_MAX_NUMERIC_LEN]) {
    unsigned char work[SQL_MAX_NUMERIC_LEN];
    std::memcpy(work, val, sizeof work);
    std::string reversed;
    bool nonzero = true;
    while (nonzero) {
        unsigned remainder = 0;
        nonzero = false;
        for (int k = SQL_MAX_NUMERIC_LEN - 1; k >= 0; --k) {
            const unsigned current = (remainder << 8) | work[k];
            work[k] = static_cast<unsigned char>(current / 10);
            remainder = current % 10;
            if (work[k]) nonzero = true;
        }
        reversed += char('0' + remainder);
    }
    return std::string(reversed.rbegin(), reversed.rend());
}

bool readValue(const ParamInput& in, Reader reader, Value& v, Failure& failure) {
    const void* p = in.data;
    switch (reader) {
    case Reader::Chars: {
        const char* chars = static_cast<const char*>(p);
        v.kind = Kind::Text;
        if (!chars) return true;
        const std::size_t n = in.length < 0 ? std::strlen(chars) : std::size_t(in.length);
        // SQL_C_CHAR data is in the application's code page, whichever entry
        // point executes.
        if (plat::ansiBoundaryConverts())
            v.bytes = plat::ansiToInternal(chars, n);
        else
            v.bytes.assign(chars, n);
        return true;
    }
    case Reader::WideChars: {
        v.kind = Kind::Text;
        if (!p) return true;
        // Read unit by unit: the application's buffer need not be aligned.
        std::u16string units;
        const unsigned char* bytes = static_cast<const unsigned char*>(p);
        const std::size_t limit = in.length < 0 ? SIZE_MAX / 2 : std::size_t(in.length) / 2;
        for (std::size_t k = 0; k < limit; ++k) {
            const char16_t unit = load<char16_t>(bytes + 2 * k);
            if (in.length < 0 && unit == 0) break;
            units += unit;
        }
        // Into the driver's internal text, as the statement around it.
        v.bytes = utf16ToInternal(reinterpret_cast<const SQLWCHAR*>(units.data()), units.size());
        return true;
    }
    case Reader::Binary:
        v.kind = Kind::Bytes;
        if (p) v.bytes.assign(static_cast<const char*>(p), in.length < 0 ? std::strlen(static_cast<const char*>(p))
                                                                          : std::size_t(in.length));
        return true;
    case Reader::Int8: v.number = fromSigned(load<signed char>(p)); break;
    case Reader::UInt8: v.number = fromUnsigned(load<unsigned char>(p), false); break;
    case Reader::Int16: v.number = fromSigned(load<SQLSMALLINT>(p)); break;
    case Reader::UInt16: v.number = fromUnsigned(load<SQLUSMALLINT>(p), false); break;
    case Reader::Int32: v.number = fromSigned(load<std::int32_t>(p)); break;
    case Reader::UInt32: v.number = fromUnsigned(load<std::uint32_t>(p), false); break;
    case Reader::Int64: v.number = fromSigned(load<std::int64_t>(p)); break;
    case Reader::UInt64: v.number = fromUnsigned(load<std::uint64_t>(p), false); break;
    case Reader::Bit: v.number = fromUnsigned(load<unsigned char>(p), false); break;
    case Reader::Float:
    case Reader::Double:
        v.kind = Kind::Approx;
        v.single = reader == Reader::Float;
        v.approx = v.single ? double(load<SQLREAL>(p)) : load<SQLDOUBLE>(p);
        return true;
    case Reader::Numeric: {
        const auto n = load<SQL_NUMERIC_STRUCT>(p);
        v.number.digits = mantissaDigits(n.val);
        v.number.negative = n.sign == 0;
        v.number.exponent = -in.scale;
        if (in.precision > 0 && v.number.digits.size() > std::size_t(in.precision)) {
            failure = kOutOfRange;
            return false;
        }
        trimZeros(v.number);
        break;
    }
    case Reader::Date: {
        const auto d = load<SQL_DATE_STRUCT>(p);
        v.kind = Kind::Date;
        v.stamp.year = d.year;
        v.stamp.month = d.month;
        v.stamp.day = d.day;
        if (!validDate(v.stamp)) failure = kDatetimeOverflow;
        return validDate(v.stamp);
    }
    case Reader::Time: {
        const auto t = load<SQL_TIME_STRUCT>(p);
        v.kind = Kind::Time;
        v.stamp.hour = t.hour;
        v.stamp.minute = t.minute;
        v.stamp.second = t.second;
        if (!validTime(v.stamp)) failure = kDatetimeOverflow;
        return validTime(v.stamp);
    }
    case Reader::Timestamp: {
        const auto t = load<SQL_TIMESTAMP_STRUCT>(p);
        v.kind = Kind::Stamp;
        v.stamp = {t.year, t.month, t.day, t.hour, t.minute, t.second, std::uint32_t(t.fraction)};
        const bool valid = validDate(v.stamp) && validTime(v.stamp);
        if (!valid) failure = kDatetimeOverflow;
        return valid;
    }
    }
    v.kind = Kind::Exact;
    return true;
}

// ---------------------------------------------------------------------------
// Writing by SQL type.

enum class Target { Chars, LongChars, Bit, Integer, Real, Double, Decimal, Date, Time, Stamp, Binary };

struct SqlTypeRow {
    SQLSMALLINT sqlType;
    Target target;
    std::int64_t min;   // Integer: the range a signed or unsigned column of the type holds
    std::uint64_t max;
};

const SqlTypeRow kSqlTypes[] = {
    {SQL_CHAR, Target::Chars, 0, 0},
    {SQL_VARCHAR, Target::Chars, 0, 0},
    {SQL_LONGVARCHAR, Target::LongChars, 0, 0},
    {SQL_WCHAR, Target::Chars, 0, 0},
    {SQL_WVARCHAR, Target::Chars, 0, 0},
    {SQL_WLONGVARCHAR, Target::LongChars, 0, 0},
    {SQL_BIT, Target::Bit, 0, 1},
    {SQL_TINYINT, Target::Integer, -128, 255},
    {SQL_SMALLINT, Target::Integer, -32768, 65535},
    {SQL_INTEGER, Target::Integer, INT32_MIN, UINT32_MAX},
    {SQL_BIGINT, Target::Integer, INT64_MIN, UINT64_MAX},
    {SQL_REAL, Target::Real, 0, 0},
    {SQL_FLOAT, Target::Double, 0, 0},
    {SQL_DOUBLE, Target::Double, 0, 0},
    {SQL_NUMERIC, Target::Decimal, 0, 0},
    {SQL_DECIMAL, Target::Decimal, 0, 0},
    {SQL_TYPE_DATE, Target::Date, 0, 0},
    {SQL_DATE, Target::Date, 0, 0},
    {SQL_TYPE_TIME, Target::Time, 0, 0},
    {SQL_TIME, Target::Time, 0, 0},
    {SQL_TYPE_TIMESTAMP, Target::Stamp, 0, 0},
    {SQL_TIMESTAMP, Target::Stamp, 0, 0},
    {SQL_BINARY, Target::Binary, 0, 0},
    {SQL_VARBINARY, Target::Binary, 0, 0},
    {SQL_LONGVARBINARY, Target::Binary, 0, 0},
};

const SqlTypeRow* findSqlType(SQLSMALLINT sqlType) {
    for (const SqlTypeRow& row : kSqlTypes)
        if (row.sqlType == sqlType) return &row;
    return nullptr;
}

// A double beyond what a bare literal can say is out of range.
bool finiteIn(double v, bool single) { return std::isfinite(v) && (!single || std::fabs(v) <= FLT_MAX); }

void appendQuoted(std::string& out, const char* prefix, const std::string& text) {
    out += '\'';
    out += prefix;
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
}

// The value's number: exact forms as they are, text parsed, doubles by their
// shortest text. Failure for the forms that are not numbers.
bool asNumber(const Value& v, Number& n, Failure& failure) {
    switch (v.kind) {
    case Kind::Exact: n = v.number; return true;
    case Kind::Text:
        if (parseNumber(v.bytes, n)) return true;
        failure = kNotANumber;
        return false;
    case Kind::Approx:
        if (!std::isfinite(v.approx)) {
            failure = kOutOfRange;
            return false;
        }
        n = approxNumber(v.approx, v.single);
        return true;
    default: failure = kNotConverted; return false;
    }
}

// Whole number within [min, max]: its digits; 22001 for lost fraction
// digits, 22003 beyond the range.
bool integerText(const Number& n, std::int64_t min, std::uint64_t max, std::string& out, Failure& failure) {
    std::string whole = n.digits;
    if (n.exponent < 0) {  // trimmed: a negative exponent means fraction digits
        failure = kFraction;
        return false;
    } else if (n.exponent > 0) {
        if (n.exponent > 20) {
            failure = kOutOfRange;
            return false;
        }
        whole.append(std::size_t(n.exponent), '0');
    }
    if (whole.size() > 20) {
        failure = kOutOfRange;
        return false;
    }
    errno = 0;
    const unsigned long long magnitude = std::strtoull(whole.c_str(), nullptr, 10);
    const bool fits = errno != ERANGE &&
                      (n.negative ? magnitude <= std::uint64_t(0) - std::uint64_t(min) : magnitude <= max);
    if (!fits) {
        failure = kOutOfRange;
        return false;
    }
    out += n.negative ? "-" + whole : whole;
    return true;
}

bool temporalOf(const Value& v, Stamp& s, bool& hasDate, bool& hasTime, Failure& failure) {
    switch (v.kind) {
    case Kind::Text:
        if (parseDatetime(v.bytes, s, hasDate, hasTime)) return true;
        failure = kBadDatetime;
        return false;
    case Kind::Date: s = v.stamp; hasDate = true; hasTime = false; return true;
    case Kind::Time: s = v.stamp; hasDate = false; hasTime = true; return true;
    case Kind::Stamp: s = v.stamp; hasDate = hasTime = true; return true;
    default: failure = kNotConverted; return false;
    }
}

// Two hexadecimal digits a byte, as a character value for a binary type.
bool hexBytes(const std::string& text, std::string& out) {
    if (text.size() % 2) return false;
    for (std::size_t k = 0; k < text.size(); k += 2) {
        int byte = 0;
        for (std::size_t j = k; j < k + 2; ++j) {
            const char c = text[j];
            const int digit = c >= '0' && c <= '9' ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return false;
            byte = byte * 16 + digit;
        }
        out += char(byte);
    }
    return true;
}

// Character types: any form as its text, quoted.
bool writeText(const Value& v, bool objectData, std::string& out, Failure& failure) {
    std::string text;
    switch (v.kind) {
    case Kind::Text:
    case Kind::Bytes: text = v.bytes; break;
    case Kind::Exact: text = numberText(v.number); break;
    case Kind::Approx: text = approxText(v.approx, v.single); break;
    case Kind::Date: text = dateText(v.stamp); break;
    case Kind::Time: text = timeText(v.stamp); break;
    case Kind::Stamp: text = stampText(v.stamp); break;
    }
    if (text.find('\0') != std::string::npos) {
        failure = kZeroByte;
        return false;
    }
    appendQuoted(out, objectData ? "data=" : "", text);
    return true;
}

// REAL, FLOAT, DOUBLE: doubles by their shortest text, other numbers exactly
// as long as a double can hold them.
bool writeApprox(const Value& v, bool single, std::string& out, Failure& failure) {
    if (v.kind == Kind::Approx) {
        if (!finiteIn(v.approx, single)) {
            failure = kOutOfRange;
            return false;
        }
        out += approxText(v.approx, single || v.single);
        return true;
    }
    Number n;
    if (!asNumber(v, n, failure)) return false;
    const std::string text = numberText(n);
    if (!finiteIn(std::strtod(text.c_str(), nullptr), single)) {
        failure = kOutOfRange;
        return false;
    }
    out += text;
    return true;
}

bool writeDecimal(const Value& v, std::string& out, Failure& failure) {
    Number n;
    if (!asNumber(v, n, failure)) return false;
    // Beyond a double's 15 digits a bare literal would be read as a double
    // and rounded; quoted, the column's type decides.
    if (n.digits.size() > 15)
        appendQuoted(out, "", numberText(n));
    else
        out += numberText(n);
    return true;
}

// DATE, TIME, TIMESTAMP: a part that would be lost is an overflow; a time
// alone becomes a timestamp on today's date.
bool writeTemporal(const Value& v, Target target, std::string& out, Failure& failure) {
    Stamp s;
    bool hasDate = false, hasTime = false;
    if (!temporalOf(v, s, hasDate, hasTime, failure)) return false;
    const bool missing = target == Target::Date ? !hasDate : target == Target::Time ? !hasTime : false;
    if (missing) {
        failure = v.kind == Kind::Text ? kBadDatetime : kNotConverted;
        return false;
    }
    const bool lost = target == Target::Date   ? hasTime && (s.hour || s.minute || s.second || s.fraction)
                      : target == Target::Time ? s.fraction != 0
                                               : false;
    if (lost) {
        failure = kDatetimeOverflow;
        return false;
    }
    if (target == Target::Stamp && !hasDate) {
        std::tm local{};
        plat::localNow(local);
        s.year = local.tm_year + 1900;
        s.month = local.tm_mon + 1;
        s.day = local.tm_mday;
    }
    appendQuoted(out, "", target == Target::Date ? dateText(s) : target == Target::Time ? timeText(s) : stampText(s));
    return true;
}

// Binary types: bytes, or hexadecimal digits in a text; X'hex', or base64
// inside the object clause.
bool writeBinary(const Value& v, bool inObject, std::string& out, Failure& failure) {
    std::string bytes;
    if (v.kind == Kind::Bytes) {
        bytes = v.bytes;
    } else if (v.kind != Kind::Text) {
        failure = kNotConverted;
        return false;
    } else if (!hexBytes(v.bytes, bytes)) {
        failure = kBadHex;
        return false;
    }
    if (inObject) {
        if (bytes.size() > std::size_t(INT32_MAX / 2)) throw std::bad_alloc();
        char* encoded = nullptr;
        if (Base64Encode(bytes.data(), int(bytes.size()), &encoded) < 0) throw std::bad_alloc();
        out += "'data[base64]=";
        out += encoded;
        out += '\'';
        plat::heapFree(encoded);
        return true;
    }
    static const char kHex[] = "0123456789ABCDEF";
    out += "X'";
    for (unsigned char c : bytes) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    out += '\'';
    return true;
}

bool writeValue(const Value& v, const SqlTypeRow& type, bool inObject, std::string& out, Failure& failure) {
    switch (type.target) {
    case Target::Chars: return writeText(v, false, out, failure);
    case Target::LongChars: return writeText(v, inObject, out, failure);
    case Target::Bit:
    case Target::Integer: {
        Number n;
        return asNumber(v, n, failure) && integerText(n, type.min, type.max, out, failure);
    }
    case Target::Real: return writeApprox(v, true, out, failure);
    case Target::Double: return writeApprox(v, false, out, failure);
    case Target::Decimal: return writeDecimal(v, out, failure);
    case Target::Date:
    case Target::Time:
    case Target::Stamp: return writeTemporal(v, type.target, out, failure);
    case Target::Binary: return writeBinary(v, inObject, out, failure);
    }
    failure = kNotConverted;
    return false;
}

}  // namespace

bool parameterLiteral(const ParamInput& value, SQLSMALLINT sqlType, bool inObjectClause, std::string& out,
                      ParamFailure& failure) {
    const CTypeRow* c = findCType(value.cType);
    const SqlTypeRow* s = findSqlType(sqlType);
    Failure why = kNotConverted;
    if (value.length == SQL_NULL_DATA) {
        out += "NULL";
        return true;
    }
    bool ok = c && s;
    if (ok && !value.data && c->size) ok = false;  // a fixed-size value needs its buffer
    Value v;
    std::string literal;
    ok = ok && readValue(value, c->reader, v, why) && writeValue(v, *s, inObjectClause, literal, why);
    if (!ok) {
        std::memcpy(failure.sqlState, why.state, 6);
        failure.message = why.message;
        return false;
    }
    out += literal;
    return true;
}

std::size_t parameterElementSize(SQLSMALLINT cType) {
    const CTypeRow* c = findCType(cType);
    return c ? c->size : 0;
}
