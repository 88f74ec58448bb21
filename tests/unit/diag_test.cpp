// Diagnostics: recording (texts, ODBC 2 states, positions), reading through
// SQLGetDiagRec / SQLGetDiagField, and the one text copy-out rule.
#include "driver/handles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const std::string kPrefix = "[Kalmo][VORNsql driver]";

struct Diag : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &henv), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, henv, &hdbc), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &hstmt), SQL_SUCCESS);
        env = static_cast<Environment*>(henv);
        conn = static_cast<Connection*>(hdbc);
        stmt = static_cast<Statement*>(hstmt);
    }
    void TearDown() override {
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, hstmt), SQL_SUCCESS);
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, hdbc), SQL_SUCCESS);
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, henv), SQL_SUCCESS);
    }
    std::string state(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec) {
        SQLCHAR s[6] = "?????";
        SQLCHAR msg[600];
        SQLINTEGER native = 99;
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQLGetDiagRec(type, h, rec, s, &native, msg, sizeof msg, &len), SQL_SUCCESS);
        EXPECT_EQ(native, 0);
        return reinterpret_cast<char*>(s);
    }
    std::string message(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec) {
        SQLCHAR msg[600];
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQLGetDiagRec(type, h, rec, nullptr, nullptr, msg, sizeof msg, &len), SQL_SUCCESS);
        EXPECT_EQ(std::size_t(len), std::strlen(reinterpret_cast<char*>(msg)));
        return reinterpret_cast<char*>(msg);
    }
    SQLHANDLE henv = nullptr, hdbc = nullptr, hstmt = nullptr;
    Environment* env = nullptr;
    Connection* conn = nullptr;
    Statement* stmt = nullptr;
};

}  // namespace

TEST_F(Diag, MessagesTakeThePrefixAndTheStandardText) {
    addOdbcError(stmt, "HY001", "");
    addOdbcError(stmt, "HY092", nullptr);
    addOdbcError(stmt, "hy090", nullptr);  // looked up without regard to case
    addOdbcError(stmt, "HY000", "Invalid Connection Parameters");
    addOdbcError(stmt, "99999", nullptr);   // unknown, no text: the bare prefix
    addOdbcError(stmt, "HY0001234", "x");   // cut to five characters
    addOdbcError(stmt, "HY000", std::string(700, 'm').c_str());
    ASSERT_EQ(stmt->diag.count, 7u);
    EXPECT_EQ(message(SQL_HANDLE_STMT, hstmt, 1), kPrefix + "Memory allocation error");
    EXPECT_EQ(message(SQL_HANDLE_STMT, hstmt, 2), kPrefix + "Invalid attribute/option identifier");
    EXPECT_EQ(message(SQL_HANDLE_STMT, hstmt, 3), kPrefix + "Invalid string or buffer length");
    EXPECT_EQ(state(SQL_HANDLE_STMT, hstmt, 3), "hy090");
    EXPECT_EQ(message(SQL_HANDLE_STMT, hstmt, 4), kPrefix + "Invalid Connection Parameters");
    EXPECT_EQ(message(SQL_HANDLE_STMT, hstmt, 5), kPrefix);
    EXPECT_EQ(state(SQL_HANDLE_STMT, hstmt, 6), "HY000");
    std::string longMessage = message(SQL_HANDLE_STMT, hstmt, 7);
    EXPECT_EQ(longMessage.size(), 512u);
    EXPECT_EQ(longMessage, kPrefix + std::string(512 - kPrefix.size(), 'm'));
}

TEST_F(Diag, OdbcTwoEnvironmentsGetOdbcTwoStates) {
    env->odbcVersion = SQL_OV_ODBC2;
    addOdbcError(stmt, "HY092", nullptr);
    addOdbcError(stmt, "07009", nullptr);
    addOdbcError(stmt, "08001", nullptr);
    addOdbcError(stmt, "hyc00", nullptr);
    addOdbcError(stmt->ard, "HY016", nullptr);  // not in the table
    addOdbcError(stmt->ard, "HY019", nullptr);
    addOdbcError(conn, "HY010", nullptr);
    EXPECT_EQ(state(SQL_HANDLE_STMT, hstmt, 1), "S1009");
    EXPECT_EQ(state(SQL_HANDLE_STMT, hstmt, 2), "S1002");
    EXPECT_EQ(state(SQL_HANDLE_STMT, hstmt, 3), "08001");
    EXPECT_EQ(state(SQL_HANDLE_STMT, hstmt, 4), "S1C00");
    // The text is still the ODBC 3 state's.
    EXPECT_EQ(message(SQL_HANDLE_STMT, hstmt, 1), kPrefix + "Invalid attribute/option identifier");
    EXPECT_EQ(state(SQL_HANDLE_DESC, stmt->ard, 1), "HY016");
    EXPECT_EQ(state(SQL_HANDLE_DESC, stmt->ard, 2), "22003");
    EXPECT_EQ(state(SQL_HANDLE_DBC, hdbc, 1), "S1010");

    env->odbcVersion = SQL_OV_ODBC3;
    addOdbcError(stmt, "HY092", nullptr);
    EXPECT_EQ(state(SQL_HANDLE_STMT, hstmt, 5), "HY092");
    addOdbcError(env, "HY092", nullptr);
    EXPECT_EQ(state(SQL_HANDLE_ENV, henv, 1), "HY092");
}

TEST_F(Diag, GetDiagRecNumbersTruncatesAndEnds) {
    SQLCHAR s[6];
    SQLCHAR msg[64];
    SQLSMALLINT len = -5;
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, s, nullptr, msg, sizeof msg, &len), SQL_NO_DATA);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 0, s, nullptr, msg, sizeof msg, &len), SQL_ERROR);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, -3, s, nullptr, msg, sizeof msg, &len), SQL_ERROR);
    EXPECT_EQ(SQLGetDiagRec(7, hstmt, 1, s, nullptr, msg, sizeof msg, &len), SQL_NO_DATA);

    addOdbcError(stmt, "24000", nullptr);
    addOdbcError(stmt, "HY109", nullptr);
    std::memset(msg, '#', sizeof msg);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, s, nullptr, msg, 10, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(msg)), kPrefix.substr(0, 9));
    EXPECT_EQ(msg[10], '#');
    EXPECT_EQ(len, SQLSMALLINT(kPrefix.size() + std::strlen("Invalid cursor state")));
    EXPECT_STREQ(reinterpret_cast<char*>(s), "24000");
    // Every output may be null.
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 2, nullptr, nullptr, nullptr, 0, nullptr),
              SQL_SUCCESS_WITH_INFO);

    // A reader's loop ends: records 1..n, then SQL_NO_DATA, and reading
    // removes nothing.
    int seen = 0;
    for (SQLSMALLINT rec = 1; rec < 100; ++rec) {
        SQLRETURN rc = SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, rec, s, nullptr, msg, sizeof msg, &len);
        if (rc == SQL_NO_DATA) break;
        ASSERT_EQ(rc, SQL_SUCCESS);
        ++seen;
    }
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(stmt->diag.count, 2u);
}

TEST_F(Diag, GetDiagFieldHeaderAndRecordRules) {
    SQLINTEGER n = -7;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_SQLSTATE, &n, 0, nullptr), SQL_NO_DATA);

    std::strcpy(conn->dsn, "demo");
    std::strcpy(conn->server, "localhost");
    addOdbcError(stmt, "HY000", nullptr);
    addOdbcError(stmt, "IM001", nullptr);
    setLastDiagPosition(stmt->diag, 3, 2);
    addOdbcError(conn, "01004", nullptr, 4, 5);

    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, -9, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(n, 2);
    n = 1234;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 0, SQL_DIAG_RETURNCODE, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(n, 1234);
    for (SQLSMALLINT id : {SQL_DIAG_ROW_COUNT, SQL_DIAG_DYNAMIC_FUNCTION, SQL_DIAG_DYNAMIC_FUNCTION_CODE,
                           SQL_DIAG_CURSOR_ROW_COUNT}) {
        EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 0, id, &n, 0, nullptr), SQL_SUCCESS) << id;
        EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, hdbc, 0, id, &n, 0, nullptr), SQL_ERROR) << id;
    }
    EXPECT_EQ(n, 1234);

    char text[40];
    SQLSMALLINT len = 0;
    auto field = [&](SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id) {
        std::memset(text, '#', sizeof text);
        SQLRETURN rc = SQLGetDiagField(type, h, rec, id, text, sizeof text, &len);
        EXPECT_EQ(rc, SQL_SUCCESS) << id;
        EXPECT_EQ(std::size_t(len), std::strlen(text));
        return std::string(text);
    };
    EXPECT_EQ(field(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_SQLSTATE), "HY000");
    EXPECT_EQ(field(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_CLASS_ORIGIN), "ISO 9075");
    EXPECT_EQ(field(SQL_HANDLE_STMT, hstmt, 2, SQL_DIAG_CLASS_ORIGIN), "ODBC 3.0");
    EXPECT_EQ(field(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_SUBCLASS_ORIGIN), "");
    EXPECT_EQ(field(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_CONNECTION_NAME), "demo");
    EXPECT_EQ(field(SQL_HANDLE_DBC, hdbc, 1, SQL_DIAG_SERVER_NAME), "localhost");
    addOdbcError(env, "HY000", nullptr);
    EXPECT_EQ(field(SQL_HANDLE_ENV, henv, 1, SQL_DIAG_CONNECTION_NAME), "");
    EXPECT_EQ(field(SQL_HANDLE_ENV, henv, 1, SQL_DIAG_SERVER_NAME), "");

    len = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_MESSAGE_TEXT, text, 8, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(text, "[Kalmo]");
    EXPECT_EQ(std::size_t(len), kPrefix.size() + std::strlen("General error"));

    SQLINTEGER v = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 2, SQL_DIAG_ROW_NUMBER, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 2, SQL_DIAG_COLUMN_NUMBER, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_ROW_NUMBER, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, SQL_NO_ROW_NUMBER);
    // Not a statement: the value is written, the answer is an error.
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, hdbc, 1, SQL_DIAG_ROW_NUMBER, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(v, 4);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, hdbc, 1, SQL_DIAG_COLUMN_NUMBER, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(v, 5);
    v = 77;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_NATIVE, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 0);

    v = 77;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, 555, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 77);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 0, SQL_DIAG_SQLSTATE, text, sizeof text, &len), SQL_ERROR);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 3, SQL_DIAG_SQLSTATE, text, sizeof text, &len), SQL_NO_DATA);
    EXPECT_EQ(SQLGetDiagField(7, hstmt, 1, SQL_DIAG_SQLSTATE, text, sizeof text, &len), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_SQLSTATE, nullptr, 0, nullptr), SQL_SUCCESS_WITH_INFO);
}

TEST_F(Diag, PositionsAndClearing) {
    DiagArea area{};
    setLastDiagPosition(area, 1, 1);  // empty: nothing happens
    EXPECT_EQ(area.count, 0u);
    addOdbcError(SQL_OV_ODBC3, area, "22002", nullptr, -2, -2);
    addOdbcError(SQL_OV_ODBC3, area, "01004", nullptr);
    setLastDiagPosition(area, 7, 8);
    EXPECT_EQ(diagRecordAt(area, 1)->rowNumber, -2);
    EXPECT_EQ(diagRecordAt(area, 2)->rowNumber, 7);
    EXPECT_EQ(diagRecordAt(area, 2)->columnNumber, 8);
    EXPECT_EQ(diagRecordAt(area, 3), nullptr);
    EXPECT_EQ(diagRecordAt(area, 0), nullptr);
    clearDiagArea(area);
    EXPECT_EQ(area.count, 0u);
    EXPECT_EQ(diagRecordAt(area, 1), nullptr);
    addOdbcError(SQL_OV_ODBC3, area, "HY000", "again");
    EXPECT_EQ(area.count, 1u);
    releaseDiagArea(area);

    // Freeing a handle and allocating from one clear their areas.
    addOdbcError(env, "HY000", nullptr);
    SQLHANDLE other = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, henv, &other), SQL_SUCCESS);
    EXPECT_EQ(env->diag.count, 0u);
    addOdbcError(conn, "HY000", nullptr);
    SQLHANDLE desc = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, hdbc, &desc), SQL_SUCCESS);
    EXPECT_EQ(conn->diag.count, 0u);
    addOdbcError(static_cast<Descriptor*>(desc), "HY000", nullptr);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, other), SQL_SUCCESS);
}

// Every buffer size against every text length, with guard bytes around the
// buffer to catch a write outside it.
TEST(CopyOutString, EveryBufferSizeAgainstEveryLength) {
    const char* source = "abcdefghi";
    for (int textLen = 0; textLen <= 9; ++textLen) {
        std::string text(source, std::size_t(textLen));
        for (int size = -1; size <= 12; ++size) {
            unsigned char raw[32];
            std::memset(raw, 0xA5, sizeof raw);
            SQLCHAR* buffer = raw + 8;
            SQLSMALLINT len = -99;
            SQLRETURN rc = copyOutString(buffer, SQLSMALLINT(size), &len, text.c_str());
            EXPECT_EQ(len, textLen);
            EXPECT_EQ(rc, textLen >= size ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS) << textLen << "/" << size;
            int written = size > 0 ? std::min(textLen, size - 1) + 1 : 0;
            if (written > 0) {
                EXPECT_EQ(std::memcmp(buffer, text.data(), std::size_t(written - 1)), 0);
                EXPECT_EQ(buffer[written - 1], 0);
            }
            for (int i = 0; i < int(sizeof raw); ++i) {
                if (i >= 8 && i < 8 + written) continue;
                ASSERT_EQ(raw[i], 0xA5) << "byte " << i - 8 << " written for " << textLen << "/" << size;
            }
        }
    }
    EXPECT_EQ(copyOutString(static_cast<SQLCHAR*>(nullptr), 10, nullptr, "abc"), SQL_SUCCESS);
    SQLSMALLINT len = -1;
    EXPECT_EQ(copyOutString(static_cast<SQLCHAR*>(nullptr), 0, &len, nullptr), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 0);
    std::string huge(40000, 'z');
    EXPECT_EQ(copyOutString(static_cast<SQLCHAR*>(nullptr), 0, &len, huge.c_str()), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 32767);
}
