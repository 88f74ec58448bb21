// Parameter values written as statement literals: tables of (value, C type,
// SQL type, expected literal or SQLSTATE), one table per kind of value.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "driver/stmt/paramtext.h"

namespace {

struct Case {
    SQLSMALLINT cType;
    const void* value;
    SQLLEN length;
    SQLSMALLINT sqlType;
    const char* expected;  // the literal, or "!" and the SQLSTATE
    bool inObject = false;
};

// Runs every case; a failure names the row.
void check(const std::vector<Case>& cases, SQLSMALLINT precision = 0, SQLSMALLINT scale = 0) {
    int row = 0;
    for (const Case& c : cases) {
        ++row;
        std::string out = "<";
        ParamFailure failure;
        const ParamInput input{c.cType, c.value, c.length, precision, scale};
        const bool ok = parameterLiteral(input, c.sqlType, c.inObject, out, failure);
        const std::string got = ok ? out.substr(1) : std::string("!") + failure.sqlState;
        EXPECT_EQ(c.expected, got) << "row " << row << " (C " << c.cType << ", SQL " << c.sqlType << ")";
        if (!ok) {
            EXPECT_EQ("<", out) << "row " << row << ": nothing is appended on failure";
        }
    }
}

TEST(ParamText, NullIsTheBareKeywordForEveryType) {
    const SQLSMALLINT sqlTypes[] = {SQL_CHAR,     SQL_VARCHAR,       SQL_LONGVARCHAR, SQL_WVARCHAR,  SQL_BIT,
                                    SQL_TINYINT,  SQL_INTEGER,       SQL_BIGINT,      SQL_DOUBLE,    SQL_NUMERIC,
                                    SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP, SQL_VARBINARY, SQL_LONGVARBINARY};
    std::vector<Case> cases;
    for (SQLSMALLINT t : sqlTypes) {
        cases.push_back({SQL_C_CHAR, "x", SQL_NULL_DATA, t, "NULL"});
        cases.push_back({SQL_C_LONG, nullptr, SQL_NULL_DATA, t, "NULL", true});
    }
    check(cases);
}

TEST(ParamText, ExactNumbers) {
    const signed char tiny = -128;
    const unsigned char utiny = 255, bit = 1, two = 2;
    const SQLSMALLINT sshort = -32768;
    const SQLUSMALLINT ushort = 65535;
    const SQLINTEGER slong = INT32_MIN;
    const SQLUINTEGER ulong = UINT32_MAX;
    const SQLBIGINT big = INT64_MAX, small = INT64_MIN;
    const SQLUBIGINT ubig = UINT64_MAX;
    check({
        {SQL_C_STINYINT, &tiny, 0, SQL_TINYINT, "-128"},
        {SQL_C_UTINYINT, &utiny, 0, SQL_TINYINT, "255"},
        {SQL_C_SSHORT, &sshort, 0, SQL_SMALLINT, "-32768"},
        {SQL_C_USHORT, &ushort, 0, SQL_INTEGER, "65535"},
        {SQL_C_LONG, &slong, 0, SQL_INTEGER, "-2147483648"},
        {SQL_C_ULONG, &ulong, 0, SQL_BIGINT, "4294967295"},
        {SQL_C_SBIGINT, &big, 0, SQL_BIGINT, "9223372036854775807"},
        {SQL_C_SBIGINT, &small, 0, SQL_BIGINT, "-9223372036854775808"},
        {SQL_C_UBIGINT, &ubig, 0, SQL_DECIMAL, "'18446744073709551615'"},  // beyond 15 digits: quoted
        {SQL_C_BIT, &bit, 0, SQL_BIT, "1"},
        {SQL_C_SBIGINT, &big, 0, SQL_VARCHAR, "'9223372036854775807'"},
        {SQL_C_SBIGINT, &big, 0, SQL_DOUBLE, "9223372036854775807"},
        // Out of the SQL type's range.
        {SQL_C_SSHORT, &sshort, 0, SQL_TINYINT, "!22003"},
        {SQL_C_ULONG, &ulong, 0, SQL_SMALLINT, "!22003"},
        {SQL_C_SBIGINT, &big, 0, SQL_INTEGER, "!22003"},
        {SQL_C_UTINYINT, &two, 0, SQL_BIT, "!22003"},
        // Numbers are not dates, times or bytes.
        {SQL_C_LONG, &slong, 0, SQL_TYPE_DATE, "!07006"},
        {SQL_C_LONG, &slong, 0, SQL_TYPE_TIME, "!07006"},
        {SQL_C_LONG, &slong, 0, SQL_VARBINARY, "!07006"},
        // Types the driver does not write.
        {SQL_C_GUID, &slong, 0, SQL_INTEGER, "!07006"},
        {SQL_C_LONG, &slong, 0, SQL_GUID, "!07006"},
        {SQL_C_LONG, nullptr, 0, SQL_INTEGER, "!07006"},
    });
}

// That a double's text reads back as the same double is checked through
// vornd by params_pyodbc.py.
TEST(ParamText, ApproximateNumbers) {
    const float single = 0.1f;
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const double tenth = 0.1, big = 1e39, half = 0.5, whole = 42, tiny = 5e-324;
    check({
        {SQL_C_DOUBLE, &tenth, 0, SQL_DOUBLE, "0.1"},
        {SQL_C_DOUBLE, &tiny, 0, SQL_DOUBLE, "4.94065645841247e-324"},
        {SQL_C_FLOAT, &single, 0, SQL_REAL, "0.1"},  // the float's digits, not the double's
        {SQL_C_FLOAT, &single, 0, SQL_DOUBLE, "0.1"},
        {SQL_C_DOUBLE, &tenth, 0, SQL_VARCHAR, "'0.1'"},
        {SQL_C_DOUBLE, &tenth, 0, SQL_NUMERIC, "0.1"},
        {SQL_C_DOUBLE, &whole, 0, SQL_INTEGER, "42"},
        {SQL_C_DOUBLE, &half, 0, SQL_INTEGER, "!22001"},
        {SQL_C_DOUBLE, &inf, 0, SQL_DOUBLE, "!22003"},
        {SQL_C_DOUBLE, &nan, 0, SQL_FLOAT, "!22003"},
        {SQL_C_DOUBLE, &big, 0, SQL_REAL, "!22003"},
        {SQL_C_DOUBLE, &big, 0, SQL_BIGINT, "!22003"},
    });
}

TEST(ParamText, CharacterValues) {
    const char16_t wide[] = u"Ümlaut 'q' \U0001F600";
    check({
        {SQL_C_CHAR, "abc", 2, SQL_CHAR, "'ab'"},
        {SQL_C_CHAR, "it's", SQL_NTS, SQL_LONGVARCHAR, "'data=it''s'", true},
        {SQL_C_CHAR, "it's", SQL_NTS, SQL_VARCHAR, "'it''s'", true},
        {SQL_C_CHAR, "a\0b", 3, SQL_VARCHAR, "!22018"},
        {SQL_C_WCHAR, wide, SQL_NTS, SQL_WVARCHAR, "'\xC3\x9Cmlaut ''q'' \xF0\x9F\x98\x80'"},
        {SQL_C_WCHAR, wide, 4, SQL_VARCHAR, "'\xC3\x9Cm'"},  // a length in bytes
        {SQL_C_WCHAR, u" 12 ", SQL_NTS, SQL_INTEGER, "12"},
        // Texts for numbers are checked, never pasted.
        {SQL_C_CHAR, "-12.50", SQL_NTS, SQL_NUMERIC, "-12.5"},
        {SQL_C_CHAR, "1e3", SQL_NTS, SQL_INTEGER, "1000"},
        {SQL_C_CHAR, " 7\t", SQL_NTS, SQL_SMALLINT, "7"},
        {SQL_C_CHAR, "\t7", SQL_NTS, SQL_SMALLINT, "7"},
        {SQL_C_CHAR, "1E3", SQL_NTS, SQL_BIGINT, "1000"},
        {SQL_C_CHAR, "12345678901234567890.123456789", SQL_NTS, SQL_DECIMAL, "'12345678901234567890.123456789'"},
        {SQL_C_CHAR, "2.5", SQL_NTS, SQL_INTEGER, "!22001"},
        {SQL_C_CHAR, "70000", SQL_NTS, SQL_SMALLINT, "!22003"},
        {SQL_C_CHAR, "1e999", SQL_NTS, SQL_DOUBLE, "!22003"},
        {SQL_C_CHAR, "0x10", SQL_NTS, SQL_INTEGER, "!22018"},
        {SQL_C_CHAR, "", SQL_NTS, SQL_DOUBLE, "!22018"},
        {SQL_C_CHAR, "1;", SQL_NTS, SQL_BIT, "!22018"},
        {SQL_C_CHAR, "1e", SQL_NTS, SQL_INTEGER, "!22018"},
        {SQL_C_CHAR, "25e-1", SQL_NTS, SQL_DOUBLE, "2.5"},
        {SQL_C_CHAR, "123456789012345678901", SQL_NTS, SQL_NUMERIC, "'123456789012345678901'"},
        {SQL_C_CHAR, "1", SQL_NTS, SQL_BIT, "1"},
        // Hexadecimal digits for bytes.
        {SQL_C_CHAR, "00ff1A", SQL_NTS, SQL_VARBINARY, "X'00FF1A'"},
        {SQL_C_CHAR, "0g", SQL_NTS, SQL_BINARY, "!22018"},
        {SQL_C_CHAR, "abc", SQL_NTS, SQL_BINARY, "!22018"},
    });
}

TEST(ParamText, DatesAndTimes) {
    const SQL_DATE_STRUCT date = {2024, 2, 29}, badDate = {2023, 2, 29};
    const SQL_TIME_STRUCT time = {7, 5, 9}, badTime = {24, 0, 0};
    const SQL_TIMESTAMP_STRUCT stamp = {2024, 1, 31, 23, 59, 58, 123456000},
                               midnight = {2024, 1, 31, 0, 0, 0, 0}, badStamp = {2024, 13, 1, 0, 0, 0, 0},
                               badFraction = {2024, 1, 1, 0, 0, 0, 1000000000};
    check({
        {SQL_C_TYPE_DATE, &date, 0, SQL_TYPE_DATE, "'2024-02-29'"},
        {SQL_C_DATE, &date, 0, SQL_VARCHAR, "'2024-02-29'"},
        {SQL_C_TYPE_DATE, &date, 0, SQL_TYPE_TIMESTAMP, "'2024-02-29 00:00:00'"},
        {SQL_C_TYPE_TIME, &time, 0, SQL_TYPE_TIME, "'07:05:09'"},
        {SQL_C_TIME, &time, 0, SQL_CHAR, "'07:05:09'"},
        {SQL_C_TYPE_TIMESTAMP, &stamp, 0, SQL_TYPE_TIMESTAMP, "'2024-01-31 23:59:58.123456'"},
        {SQL_C_TIMESTAMP, &midnight, 0, SQL_TIMESTAMP, "'2024-01-31 00:00:00'"},
        {SQL_C_TYPE_TIMESTAMP, &midnight, 0, SQL_TYPE_DATE, "'2024-01-31'"},
        {SQL_C_TYPE_TIMESTAMP, &stamp, 0, SQL_TYPE_DATE, "!22008"},  // the time would be lost
        {SQL_C_TYPE_TIMESTAMP, &stamp, 0, SQL_TYPE_TIME, "!22008"},  // the fraction would be lost
        {SQL_C_TYPE_TIMESTAMP, &stamp, 0, SQL_LONGVARCHAR, "'2024-01-31 23:59:58.123456'"},
        {SQL_C_TYPE_DATE, &badDate, 0, SQL_TYPE_DATE, "!22008"},
        {SQL_C_TYPE_TIME, &badTime, 0, SQL_TYPE_TIME, "!22008"},
        {SQL_C_TYPE_TIMESTAMP, &badStamp, 0, SQL_TYPE_TIMESTAMP, "!22008"},
        {SQL_C_TYPE_TIMESTAMP, &badFraction, 0, SQL_TYPE_TIMESTAMP, "!22008"},
        {SQL_C_TYPE_DATE, &date, 0, SQL_TYPE_TIME, "!07006"},
        {SQL_C_TYPE_DATE, &date, 0, SQL_INTEGER, "!07006"},
        // Texts are read, checked and written in the one form.
        {SQL_C_CHAR, " 2024-01-31 ", SQL_NTS, SQL_TYPE_DATE, "'2024-01-31'"},
        {SQL_C_CHAR, "2024-01-31 10:11:12.500", SQL_NTS, SQL_TYPE_TIMESTAMP, "'2024-01-31 10:11:12.5'"},
        {SQL_C_CHAR, "2024-01-31", SQL_NTS, SQL_TYPE_TIMESTAMP, "'2024-01-31 00:00:00'"},
        {SQL_C_CHAR, "10:11:12", SQL_NTS, SQL_TYPE_TIME, "'10:11:12'"},
        {SQL_C_CHAR, "2024-02-30", SQL_NTS, SQL_TYPE_DATE, "!22007"},
        {SQL_C_CHAR, "2024-01-31' OR '1'='1", SQL_NTS, SQL_TYPE_DATE, "!22007"},
        {SQL_C_CHAR, "31.01.2024", SQL_NTS, SQL_TYPE_DATE, "!22007"},
        {SQL_C_CHAR, "10:11", SQL_NTS, SQL_TYPE_TIME, "!22007"},
        {SQL_C_CHAR, "2024-01-31 10:11:12.", SQL_NTS, SQL_TYPE_TIMESTAMP, "!22007"},
        {SQL_C_CHAR, "2024-01-31 10:11:12.1234567891", SQL_NTS, SQL_TYPE_TIMESTAMP, "!22007"},
        {SQL_C_CHAR, "2024-1-31", SQL_NTS, SQL_TYPE_DATE, "!22007"},
        {SQL_C_CHAR, "10:11:12", SQL_NTS, SQL_TYPE_DATE, "!22007"},
    });
}

}  // namespace
