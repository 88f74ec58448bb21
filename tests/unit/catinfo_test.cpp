// SQLGetInfo's writers through the exported function, and the unescaping of
// catalog name patterns. The catalog and type results are tested end to end
// (tests/it/catinfo_*).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/catalog.h"
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

    // 16 and 32 bits, nothing beyond.
    EXPECT_EQ(SQL_SUCCESS, info(SQL_MAX_TABLE_NAME_LEN, b, 0, length));
    SQLUSMALLINT u16;
    std::memcpy(&u16, b.data(), 2);
    EXPECT_EQ(255, u16);
    EXPECT_EQ(2, length);
    EXPECT_EQ(kGuard, b[2]);
    EXPECT_EQ(SQL_SUCCESS, info(SQL_GETDATA_EXTENSIONS, b, 0, length));
    SQLUINTEGER u32;
    std::memcpy(&u32, b.data(), 4);
    EXPECT_EQ(11u, u32);
    EXPECT_EQ(4, length);
    EXPECT_EQ(kGuard, b[4]);
    EXPECT_EQ(SQL_SUCCESS, info(SQL_CONVERT_VARCHAR, b, 0, length));  // inside a range of zeros
    std::memcpy(&u32, b.data(), 4);
    EXPECT_EQ(0u, u32);

    // Types the driver does not answer: an error without a record, nothing written.
    for (SQLUSMALLINT type : {SQLUSMALLINT(SQL_ODBC_VER), SQLUSMALLINT(SQL_CONVERT_WCHAR), SQLUSMALLINT(174),
                              SQLUSMALLINT(10006), SQLUSMALLINT(10023), SQLUSMALLINT(65535)}) {
        EXPECT_EQ(SQL_ERROR, info(type, b, 64, length)) << type;
        EXPECT_EQ(-99, length);
        EXPECT_EQ(kGuard, b[0]);
        EXPECT_EQ("", vorntest::diagText(SQL_HANDLE_DBC, hdbc)) << type;
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
    EXPECT_EQ("\xE5\xE4\xF6\xFC\xC5\xC4\xD6\xDC\xE9\xC9", text(SQL_SPECIAL_CHARACTERS));

    // Without a session the version is empty; the block is kept, not asked again.
    EXPECT_EQ("", text(SQL_DBMS_VER));
    char* block = conn->dbmsVersion;
    ASSERT_NE(nullptr, block);
    std::strcpy(block, "2.3-0250");
    EXPECT_EQ("2.3-0250", text(SQL_DBMS_VER));
    EXPECT_EQ(block, conn->dbmsVersion);
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
