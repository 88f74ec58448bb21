// Stored values converted to every C type the driver serves, and the pairs it
// refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "driver/convert.h"

namespace {

struct Converted {
    SQLRETURN rc;
    std::string state;
    SQLLEN consumed;
    SQLLEN reported;
};

Converted convert(SQLSMALLINT sqlType, const char* text, SQLSMALLINT cType, void* target, SQLLEN bufferLength) {
    Converted c{0, "", -7, -7};
    char state[6] = "";
    c.rc = valueToCType(sqlType, text, SQLLEN(std::strlen(text)), cType, target, bufferLength, &c.consumed,
                        &c.reported, state);
    c.state = state;
    return c;
}

TEST(Conversion, NumbersTextsDatesAndRefusedPairs) {
    char buf[16];
    Converted c = convert(SQL_INTEGER, "12345", SQL_C_CHAR, buf, 4);
    EXPECT_EQ(SQL_ERROR, c.rc);
    EXPECT_EQ("22003", c.state);
    EXPECT_STREQ("123", buf);

    c = convert(SQL_VARCHAR, "hello", SQL_C_CHAR, buf, 3);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, c.rc);
    EXPECT_EQ("01004", c.state);
    EXPECT_STREQ("he", buf);
    EXPECT_EQ(2, c.consumed);
    EXPECT_EQ(5, c.reported);
    c = convert(SQL_VARCHAR, "hello", SQL_C_CHAR, nullptr, 0);  // a length query
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, c.rc);
    EXPECT_EQ(0, c.consumed);
    EXPECT_EQ(5, c.reported);

    SQLUINTEGER ul = 0;
    SQLUSMALLINT us = 0;
    SQLINTEGER sl = 0;
    SQLSMALLINT ss = 0;
    EXPECT_EQ(SQL_SUCCESS, convert(SQL_INTEGER, "-5", SQL_C_ULONG, &ul, 0).rc);
    EXPECT_EQ(4294967291u, ul);
    EXPECT_EQ(SQL_SUCCESS, convert(SQL_INTEGER, "-5", SQL_C_USHORT, &us, 0).rc);
    EXPECT_EQ(65531, us);
    EXPECT_EQ(SQL_SUCCESS, convert(SQL_INTEGER, "-5", SQL_C_SLONG, &sl, 0).rc);
    EXPECT_EQ(-5, sl);
    EXPECT_EQ(2, convert(SQL_VARCHAR, "70000x", SQL_C_SHORT, &ss, 0).reported);
    EXPECT_EQ(SQLSMALLINT(70000 & 0xFFFF), ss);

    double d = 0;
    float f = 0;
    EXPECT_EQ("07006", convert(SQL_FLOAT, "12.5", SQL_C_LONG, &sl, 0).state);
    EXPECT_EQ(SQL_SUCCESS, convert(SQL_FLOAT, "12.5", SQL_C_DOUBLE, &d, 0).rc);
    EXPECT_EQ(12.5, d);
    EXPECT_EQ(4, convert(SQL_FLOAT, "0.25", SQL_C_FLOAT, &f, 0).reported);
    EXPECT_EQ(0.25f, f);

    unsigned char bytes[4] = {0};
    c.rc = valueToCType(SQL_LONGVARBINARY, "\x01\x00\x02\x03\x04", 5, SQL_C_BINARY, bytes, 4, &c.consumed,
                        &c.reported, buf);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, c.rc);
    EXPECT_EQ(0, std::memcmp(bytes, "\x01\x00\x02\x03", 4));
    EXPECT_EQ(5, c.reported);
    EXPECT_EQ("07006", convert(SQL_VARCHAR, "abc", SQL_C_BINARY, bytes, 4).state);

    SQL_DATE_STRUCT date{};
    EXPECT_EQ(SQL_SUCCESS, convert(SQL_TYPE_DATE, "2008-03-15", SQL_C_TYPE_DATE, &date, 0).rc);
    EXPECT_EQ(2008, date.year);
    EXPECT_EQ(3, date.month);
    EXPECT_EQ(15, date.day);
    date = SQL_DATE_STRUCT{};
    EXPECT_EQ(6, convert(SQL_VARCHAR, "20080315", SQL_C_TYPE_DATE, &date, 0).reported);
    EXPECT_EQ(2008, date.year);
    EXPECT_EQ(15, date.day);
    EXPECT_EQ("22018", convert(SQL_TYPE_DATE, "15.03.2008", SQL_C_TYPE_DATE, &date, 0).state);
    EXPECT_EQ(SQL_SUCCESS, convert(SQL_TYPE_DATE, "15.03.2008", SQL_C_TYPE_DATE, nullptr, 0).rc);

    SQL_TIME_STRUCT time{};
    EXPECT_EQ("22018", convert(SQL_TYPE_TIME, "24:00:00", SQL_C_TYPE_TIME, &time, 0).state);
    EXPECT_EQ("22018", convert(SQL_TYPE_TIME, "1:2:3:45", SQL_C_TYPE_TIME, &time, 0).state);
    EXPECT_EQ(SQL_SUCCESS, convert(SQL_TYPE_TIME, "23:59:59", SQL_C_TYPE_TIME, &time, 0).rc);
    EXPECT_EQ(59, time.second);

    SQL_TIMESTAMP_STRUCT stamp{};
    std::time_t now = std::time(nullptr);
    std::tm local = *std::localtime(&now);
    EXPECT_EQ(16, convert(SQL_TYPE_TIME, "09:30:15", SQL_C_TYPE_TIMESTAMP, &stamp, 0).reported);
    EXPECT_EQ(local.tm_year + 1900, stamp.year);
    EXPECT_EQ(9, stamp.hour);
    EXPECT_EQ(15, stamp.second);
    SQL_TIMESTAMP_STRUCT kept = stamp;
    EXPECT_EQ(SQL_SUCCESS, convert(SQL_TYPE_DATE, "garbage", SQL_C_TYPE_TIMESTAMP, &stamp, 0).rc);
    EXPECT_EQ(0, std::memcmp(&kept, &stamp, sizeof stamp));
    EXPECT_EQ("07006", convert(SQL_VARCHAR, "2008-03-15", SQL_C_TYPE_TIMESTAMP, &stamp, 0).state);
    for (SQLSMALLINT old : {SQL_C_DATE, SQL_C_BIT, SQL_C_SBIGINT, SQL_C_NUMERIC, SQL_C_TINYINT})
        EXPECT_EQ("07006", convert(SQL_VARCHAR, "1", old, buf, sizeof buf).state) << old;
}

}  // namespace
