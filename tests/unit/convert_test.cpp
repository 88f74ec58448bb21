// Stored values converted to the C types the driver serves, and the pairs it
// refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "driver/convert/convert.h"

namespace {

// "rc state consumed/reported" of one conversion.
std::string convert(SQLSMALLINT sqlType, const char* text, SQLSMALLINT cType, void* target, SQLLEN bufferLength) {
    SQLLEN consumed = -7, reported = -7;
    char state[6] = "";
    SQLRETURN rc = valueToCType(sqlType, text, SQLLEN(std::strlen(text)), cType, target, bufferLength, &consumed,
                                &reported, state);
    return std::to_string(rc) + " " + state + " " + std::to_string(consumed) + "/" + std::to_string(reported);
}

TEST(Conversion, NumbersTextsDatesAndRefusedPairs) {
    char buf[16];
    EXPECT_EQ("-1 22003 3/5", convert(SQL_INTEGER, "12345", SQL_C_CHAR, buf, 4));
    EXPECT_STREQ("123", buf);  // written even though refused (a cut text: fetch_test.cpp)
    EXPECT_EQ("1 01004 0/5", convert(SQL_VARCHAR, "hello", SQL_C_CHAR, nullptr, 0));

    SQLUINTEGER ul = 0;
    SQLUSMALLINT us = 0;
    SQLINTEGER sl = 0;
    double d = 0;
    // Numbers are read with the C library's conversion, which neither range-checks
    // nor refuses a tail ("-5" wraps to 2^32 - 5), and a date or time text that does
    // not parse leaves a timestamp target as it was: the driver's defined behaviour,
    // kept for the applications written against it.
    EXPECT_EQ("0  4/4", convert(SQL_INTEGER, "-5", SQL_C_ULONG, &ul, 0));
    EXPECT_EQ("0  2/2", convert(SQL_INTEGER, "-5", SQL_C_USHORT, &us, 0));
    EXPECT_EQ("0  4/4", convert(SQL_VARCHAR, "-5", SQL_C_SLONG, &sl, 0));
    EXPECT_EQ("4294967291 65531 -5", std::to_string(ul) + " " + std::to_string(us) + " " + std::to_string(sl));
    EXPECT_EQ("-1 07006 -7/-7", convert(SQL_FLOAT, "12.5", SQL_C_LONG, &sl, 0));
    EXPECT_EQ("0  8/8", convert(SQL_FLOAT, "12.5", SQL_C_DOUBLE, &d, 0));
    EXPECT_EQ(12.5, d);

    unsigned char bytes[4] = {0};
    SQLLEN consumed = 0, reported = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, valueToCType(SQL_LONGVARBINARY, "\x01\x00\x02\x03\x04", 5, SQL_C_BINARY, bytes,
                                                  4, &consumed, &reported, buf));
    EXPECT_EQ(0, std::memcmp(bytes, "\x01\x00\x02\x03", 4));
    EXPECT_EQ(5, reported);

    SQL_DATE_STRUCT date{};
    EXPECT_EQ("0  6/6", convert(SQL_VARCHAR, "20080315", SQL_C_TYPE_DATE, &date, 0));
    EXPECT_EQ(2008 * 10000 + 3 * 100 + 15, date.year * 10000 + date.month * 100 + date.day);
    EXPECT_EQ("0  6/6", convert(SQL_VARCHAR, "080315", SQL_C_TYPE_DATE, &date, 0));
    EXPECT_EQ("-1 22018 6/6", convert(SQL_VARCHAR, "2008315", SQL_C_TYPE_DATE, &date, 0));
    EXPECT_EQ("0  6/6", convert(SQL_TYPE_DATE, "1906-11-24", SQL_C_TYPE_DATE, &date, 0));
    EXPECT_EQ(11, date.month);
    EXPECT_EQ("-1 22018 6/6", convert(SQL_TYPE_DATE, "15.03.2008", SQL_C_TYPE_DATE, &date, 0));
    SQL_TIME_STRUCT time{};
    EXPECT_EQ("-1 22018 6/6", convert(SQL_TYPE_TIME, "24:00:00", SQL_C_TYPE_TIME, &time, 0));
    EXPECT_EQ("-1 22018 6/6", convert(SQL_TYPE_TIME, "1:2:3:45", SQL_C_TYPE_TIME, &time, 0));
    EXPECT_EQ("0  6/6", convert(SQL_TYPE_TIME, "23:59:59", SQL_C_TYPE_TIME, &time, 0));

    SQL_TIMESTAMP_STRUCT stamp{};
    const std::time_t now = std::time(nullptr);
    EXPECT_EQ("0  16/16", convert(SQL_TYPE_TIME, "09:30:15", SQL_C_TYPE_TIMESTAMP, &stamp, 0));
    EXPECT_EQ(std::localtime(&now)->tm_year + 1900, stamp.year);
    EXPECT_EQ(9 * 3600 + 30 * 60 + 15, stamp.hour * 3600 + stamp.minute * 60 + stamp.second);
    const SQL_TIMESTAMP_STRUCT kept = stamp;
    EXPECT_EQ("0  16/16", convert(SQL_TYPE_DATE, "garbage", SQL_C_TYPE_TIMESTAMP, &stamp, 0));
    EXPECT_EQ(0, std::memcmp(&kept, &stamp, sizeof stamp));
    for (SQLSMALLINT refused : {SQL_C_TYPE_TIMESTAMP, SQL_C_BINARY, SQL_C_DATE, SQL_C_BIT, SQL_C_SBIGINT, SQL_C_NUMERIC})
        EXPECT_EQ("-1 07006 -7/-7", convert(SQL_VARCHAR, "1", refused, buf, sizeof buf)) << refused;
}

}  // namespace
