// SQLGetInfo's writers through the exported function, and the unescaping of
// catalog name patterns. The catalog and type results are tested end to end
// (tests/it/catinfo_*).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "driver/catalog/catalog.h"
#include "support/driver_handles.h"

namespace {

using vorntest::StatementTest;

constexpr unsigned char kGuard = 0xA5;

struct InfoTest : StatementTest {
    // The answer's bytes up to the length written, in a guarded buffer; rc
    // and the length pointer's value too.
    SQLRETURN info(SQLUSMALLINT type, std::vector<unsigned char>& buffer, SQLSMALLINT size, SQLSMALLINT& length) {
        buffer.assign(64, kGuard);
        length = -99;
        return SQLGetInfo(hdbc, type, buffer.data(), size, &length);
    }
    std::string text(SQLUSMALLINT type) {
        std::vector<unsigned char> b;
        SQLSMALLINT length;
        EXPECT_EQ(SQL_SUCCESS, info(type, b, 64, length)) << type;
        return reinterpret_cast<char*>(b.data());
    }
};

TEST_F(InfoTest, WritersKeepToTheirWidthsAndTruncateTexts) {
    std::vector<unsigned char> b;
    SQLSMALLINT length;

    // Text cut to the buffer: the whole length reported, a warning without a record.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, info(SQL_DBMS_NAME, b, 3, length));
    EXPECT_EQ(4, length);
    EXPECT_STREQ("VO", reinterpret_cast<char*>(b.data()));
    EXPECT_EQ(kGuard, b[3]);
    EXPECT_EQ("", stmtDiag());
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfo(hdbc, SQL_DBMS_NAME, nullptr, 0, &length));
    EXPECT_EQ(4, length);

    // 16 and 32 bits, nothing beyond (SQL_CONVERT_BINARY: a zero among the conversion answers).
    for (auto [type, width, value] : {std::tuple<SQLUSMALLINT, SQLSMALLINT, SQLUINTEGER>{SQL_MAX_TABLE_NAME_LEN, 2, 255},
                                      {SQL_GETDATA_EXTENSIONS, 4, 11}, {SQL_CONVERT_BINARY, 4, 0},
                                      {SQL_ODBC_INTERFACE_CONFORMANCE, 4, SQL_OIC_CORE}}) {
        EXPECT_EQ(SQL_SUCCESS, info(type, b, 0, length)) << type;
        SQLUINTEGER got = 0;
        std::memcpy(&got, b.data(), width);  // little-endian
        EXPECT_EQ(value, got) << type;
        EXPECT_EQ(width, length) << type;
        EXPECT_EQ(kGuard, b[width]) << type;
    }

    // Types the driver does not answer: HY096, nothing written.
    for (SQLUSMALLINT type : {SQLUSMALLINT(SQL_ODBC_VER), SQLUSMALLINT(SQL_CONVERT_WCHAR), SQLUSMALLINT(174),
                              SQLUSMALLINT(10006), SQLUSMALLINT(10023), SQLUSMALLINT(65535)}) {
        EXPECT_EQ(SQL_ERROR, info(type, b, 64, length)) << type;
        EXPECT_EQ(-99, length);
        EXPECT_EQ(kGuard, b[0]);
        EXPECT_EQ("HY096 Information type out of range", vorntest::diagText(SQL_HANDLE_DBC, hdbc)) << type;
    }
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetInfo(nullptr, SQL_DBMS_NAME, b.data(), 64, &length));
}

TEST_F(InfoTest, ConnectionTextsAndTheServerVersionAskedOnce) {
    std::strcpy(conn->dsn, "sample");
    std::strcpy(conn->server, "db.example");
    std::strcpy(conn->uid, "alice");
    EXPECT_EQ("sample", text(SQL_DATA_SOURCE_NAME));
    EXPECT_EQ("db.example", text(SQL_SERVER_NAME));
    EXPECT_EQ("alice", text(SQL_USER_NAME));
    // In the driver's code page: UTF-8 on Linux.
    EXPECT_EQ(u8"\u00E5\u00E4\u00F6\u00FC\u00C5\u00C4\u00D6\u00DC\u00E9\u00C9", text(SQL_SPECIAL_CHARACTERS));
    EXPECT_EQ("Y", text(SQL_OUTER_JOINS));  // {oj ...} is translated

    // Without a session the version is empty; the block is kept, not asked again.
    EXPECT_EQ("", text(SQL_DBMS_VER));
    ASSERT_FALSE(conn->dbmsVersion.empty());
    std::strcpy(&conn->dbmsVersion[0], "2.3-0250");
    EXPECT_EQ("2.3-0250", text(SQL_DBMS_VER));
}

TEST(CatalogPattern, EscapesRemoved) {
    const char* cases[][2] = {{"A\\_B", "A_B"}, {"\\%\\\\x", "%\\x"}, {"a\\b", "a\\b"}, {"end\\", "end\\"},
                              {"%_", "%_"}};
    for (auto& c : cases) {
        std::string t = c[0];
        unescapePattern(&t[0]);
        EXPECT_STREQ(c[1], t.c_str()) << c[0];
    }
}

}  // namespace
