// Environment, connection and statement attributes through the exported
// functions: the exact width of every value written, statement attributes
// and descriptor fields as one storage, the application-descriptor rule,
// and refusals with their SQLSTATEs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/driver_handles.h"
#include "unit/guarded.h"

namespace {

struct Attr : vorntest::StatementTest {
    std::string connDiag() { return vorntest::diagText(SQL_HANDLE_DBC, hdbc); }
    // "rc STATE text" of the call just made.
    std::string connResult(SQLRETURN rc) { return std::to_string(rc) + " " + connDiag(); }
    std::string envResult(SQLRETURN rc) { return std::to_string(rc) + " " + vorntest::diagText(SQL_HANDLE_ENV, henv); }
    static SQLPOINTER arg(SQLULEN v) { return reinterpret_cast<SQLPOINTER>(v); }

    SQLULEN stmtAttr(SQLINTEGER id) {
        SQLULEN v = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, id, &v, 0, nullptr)) << id;
        return v;
    }
    SQLULEN arrayField(SQLHDESC desc, SQLSMALLINT id) {
        SQLULEN v = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(desc, 0, id, &v, 0, nullptr)) << id;
        return v;
    }
};

TEST_F(Attr, ValuesHaveTheirInterfaceWidth) {
    // A 32-bit attribute takes only the low half of the argument (an SQLULEN
    // one keeping all of it is checked on Win64 by widths_win_test.cpp).
    const SQLULEN high = SQLULEN(1) << 32;
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(hdbc, SQL_ATTR_AUTOCOMMIT, arg(high | SQL_AUTOCOMMIT_ON), 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(hdbc, SQL_ATTR_ACCESS_MODE, arg(high | 0xFFFFFFFF), 0));
    SQLSetConnectAttr(hdbc, SQL_ATTR_QUIET_MODE, arg(~SQLULEN(0)), 0);
    SQLSetStmtAttr(hstmt, SQL_ATTR_NOSCAN, arg(~SQLULEN(0)), 0);
    SQLSetStmtAttr(hstmt, SQL_ATTR_PARAM_BIND_OFFSET_PTR, arg(~SQLULEN(0)), 0);

    // Bytes each get writes (zero bytes differ from the guard's fill too),
    // and the size a statement attribute reports.
    const int ulen = int(sizeof(SQLULEN)), ptr = int(sizeof(void*));
    const struct {
        SQLSMALLINT handleType;
        SQLINTEGER id;
        int width;
    } cases[] = {
        {SQL_HANDLE_DBC, SQL_ATTR_ACCESS_MODE, 4},   {SQL_HANDLE_DBC, SQL_ATTR_AUTOCOMMIT, 4},
        {SQL_HANDLE_DBC, SQL_ATTR_CONNECTION_DEAD, 4}, {SQL_HANDLE_DBC, SQL_ATTR_QUIET_MODE, ptr},
        {SQL_HANDLE_ENV, SQL_ATTR_ODBC_VERSION, 4},  {SQL_HANDLE_STMT, SQL_ATTR_NOSCAN, ulen},
        {SQL_HANDLE_STMT, SQL_ATTR_ROW_BIND_TYPE, ulen}, {SQL_HANDLE_STMT, SQL_ATTR_QUERY_TIMEOUT, ulen},
        {SQL_HANDLE_STMT, SQL_ATTR_ENABLE_AUTO_IPD, 4}, {SQL_HANDLE_STMT, SQL_ATTR_PARAM_BIND_OFFSET_PTR, ptr},
        {SQL_HANDLE_STMT, SQL_ATTR_APP_ROW_DESC, ptr},
    };
    for (const auto& c : cases) {
        vorntest::Guarded g;
        SQLINTEGER size = -1;
        const SQLRETURN rc = c.handleType == SQL_HANDLE_DBC ? SQLGetConnectAttr(hdbc, c.id, g.at(), 0, nullptr)
                             : c.handleType == SQL_HANDLE_ENV ? SQLGetEnvAttr(henv, c.id, g.at(), 0, nullptr)
                                                              : SQLGetStmtAttr(hstmt, c.id, g.at(), 0, &size);
        EXPECT_EQ(SQL_SUCCESS, rc) << c.id;
        EXPECT_EQ(c.width, g.written()) << c.id;
        EXPECT_EQ(c.handleType == SQL_HANDLE_STMT ? c.width : -1, size) << c.id;
    }
}

// Statement attributes are descriptor header fields: what one writes the
// other reads, on whichever descriptor the statement uses now.
TEST_F(Attr, StatementAttributesAreDescriptorFields) {
    // (The parameter and fetch attributes are used through the driver
    // manager by fetch_it.cpp and params_it.cpp.)
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_ARRAY_SIZE, arg(20), 0));
    EXPECT_EQ(20u, arrayField(stmt->ard, SQL_DESC_ARRAY_SIZE));
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(stmt->ard, 0, SQL_DESC_BIND_TYPE, arg(48), 0));
    EXPECT_EQ(48u, stmtAttr(SQL_ATTR_ROW_BIND_TYPE));

    // An explicit ARD takes over every ARD attribute; null brings back the
    // implicit one with its own values.
    SQLHDESC explicitArd = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, hdbc, &explicitArd));
    SQLHDESC implicitArd = stmt->ard;
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, explicitArd, 0));
    EXPECT_EQ(reinterpret_cast<SQLULEN>(explicitArd), stmtAttr(SQL_ATTR_APP_ROW_DESC));
    EXPECT_EQ(1u, stmtAttr(SQL_ATTR_ROW_ARRAY_SIZE));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_ARRAY_SIZE, arg(7), 0));
    EXPECT_EQ(7u, arrayField(explicitArd, SQL_DESC_ARRAY_SIZE));
    EXPECT_EQ(20u, arrayField(implicitArd, SQL_DESC_ARRAY_SIZE));

    // Another statement's implicit descriptor is ignored without complaint.
    SQLHSTMT other = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &other));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, static_cast<Statement*>(other)->ard, 0));
    EXPECT_EQ(explicitArd, SQLHDESC(stmt->ard));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0));
    EXPECT_EQ(implicitArd, SQLHDESC(stmt->ard));
    EXPECT_EQ(20u, stmtAttr(SQL_ATTR_ROW_ARRAY_SIZE));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_PARAM_DESC, explicitArd, 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_PARAM_DESC, stmt->implicitApd, 0));
    EXPECT_EQ(stmt->implicitApd, stmt->apd);
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, other));
}

TEST_F(Attr, RefusalsAndChangedValues) {
    // 01S02 keeps the fixed value (autocommit's is checked through the driver
    // manager by catinfo_pyodbc.py and dbd_odbc.pl).
    EXPECT_EQ("1 01S02 Option value changed",
              stmtResult(SQLSetStmtAttr(hstmt, SQL_ATTR_CURSOR_TYPE, arg(SQL_CURSOR_STATIC), 0)));
    EXPECT_EQ(SQLULEN(SQL_CURSOR_FORWARD_ONLY), stmtAttr(SQL_ATTR_CURSOR_TYPE));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetStmtAttr(hstmt, SQL_ATTR_METADATA_ID, arg(SQL_TRUE), 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_METADATA_ID, arg(SQL_FALSE), 0));

    // Refusals, each with the text of its handle kind; nothing changes.
    Descriptor* ird = stmt->ird;
    EXPECT_EQ("-1 HY017 Invalid use of an automatically allocated descriptor handle",
              stmtResult(SQLSetStmtAttr(hstmt, SQL_ATTR_IMP_ROW_DESC, stmt->implicitArd, 0)));
    EXPECT_EQ(ird, stmt->ird);
    EXPECT_EQ("-1 HY092 Invalid identifier", stmtResult(SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_NUMBER, arg(4), 0)));
    EXPECT_EQ(0u, stmtAttr(SQL_ATTR_ROW_NUMBER));
    EXPECT_EQ("-1 HYC00 Optional feature",
              stmtResult(SQLSetStmtAttr(hstmt, SQL_ATTR_ENABLE_AUTO_IPD, arg(SQL_TRUE), 0)));
    EXPECT_EQ("-1 HYC00 Not supported",
              connResult(SQLSetConnectAttr(hdbc, SQL_ATTR_TXN_ISOLATION, arg(SQL_TXN_SERIALIZABLE), 0)));
    EXPECT_EQ("-1 HYC00 Optional feature not implemented",
              envResult(SQLSetEnvAttr(henv, SQL_ATTR_CONNECTION_POOLING, arg(SQL_CP_ONE_PER_DRIVER), 0)));
    EXPECT_EQ("-1 HY092 Invalid attribute/option identifier",
              envResult(SQLSetEnvAttr(henv, SQL_ATTR_OUTPUT_NTS, arg(SQL_FALSE), 0)));
    SQLINTEGER value = 0;
    EXPECT_EQ("-1 HY092 Invalid attribute/option identifier",
              envResult(SQLGetEnvAttr(henv, 12345, &value, 0, nullptr)));

    // Unlisted or unanswerable statement attributes fail without a record;
    // unlisted connection attributes succeed and write nothing.
    SQLULEN untouched = 77;
    EXPECT_EQ(SQL_ERROR, SQLGetStmtAttr(hstmt, SQL_ROWSET_SIZE, &untouched, 0, nullptr));
    EXPECT_EQ("-1 ", stmtResult(SQLGetStmtAttr(hstmt, 12345, &untouched, 0, nullptr)));
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(hdbc, 12345, &untouched, 0, nullptr));
    EXPECT_EQ(77u, untouched);
}

TEST_F(Attr, ConnectionStateAndOdbc2States) {
    SQLUINTEGER dead = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(hdbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr));
    EXPECT_EQ(SQLUINTEGER(SQL_CD_TRUE), dead);

    // The catalog is the server name by the copy-out rule: a cut copy is a
    // warning with its record.
    std::strcpy(conn->server, "vornhost");
    char name[5] = "";
    SQLINTEGER length = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetConnectAttr(hdbc, SQL_ATTR_CURRENT_CATALOG, name, sizeof name, &length));
    EXPECT_STREQ("vorn", name);
    EXPECT_EQ(8, length);
    EXPECT_EQ("01004 String data, right truncated", connDiag());

    // ODBC 2 behaviour: the environment's connections and statements report
    // the ODBC 2 states.
    EXPECT_EQ(SQL_SUCCESS, SQLSetEnvAttr(henv, SQL_ATTR_ODBC_VERSION, arg(SQL_OV_ODBC2), 0));
    EXPECT_EQ("-1 S1C00 Not supported",
              connResult(SQLSetConnectAttr(hdbc, SQL_ATTR_ASYNC_ENABLE, arg(SQL_ASYNC_ENABLE_ON), 0)));
    EXPECT_EQ("-1 S1C00 Optional feature", stmtResult(SQLGetStmtAttr(hstmt, SQL_ATTR_MAX_ROWS, nullptr, 0, nullptr)));
}

}  // namespace
