// What the ODBC calls that pyodbc cannot reach do with escape sequences,
// through the unixODBC driver manager against vornd: SQLNativeSql shows the
// translation, SQL_ATTR_NOSCAN sends the text as written, a refused escape
// leaves no statement behind.
#include "support/odbc_session.h"

#include <string>

namespace {

class Escapes : public vorntest::OdbcSession {
protected:
    static void SetUpTestSuite() { startWithDataSource("escapes"); }

    std::string diag(SQLSMALLINT type, SQLHANDLE handle) {
        SQLCHAR state[6] = "", text[600] = "";
        if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, nullptr, text, sizeof text, nullptr))) return "";
        return std::string((char*)state) + " " + (char*)text;
    }
    std::string firstValue() {
        char value[64] = "";
        SQLLEN length = 0;
        if (!SQL_SUCCEEDED(SQLFetch(stmt))) return "<no row>";
        SQLGetData(stmt, 1, SQL_C_CHAR, value, sizeof value, &length);
        SQLCloseCursor(stmt);
        return value;
    }
};

TEST_F(Escapes, NativeSqlShowsTheTranslation) {
    struct {
        const char* in;
        const char* out;  // or the SQLSTATE for a refusal
        SQLRETURN rc;
    } cases[] = {
        {"SELECT {fn UCASE(NAME)} FROM AUTHORS WHERE BORN < {d '1900-01-01'}",
         "SELECT UPPER(NAME) FROM AUTHORS WHERE BORN < '1900-01-01'", SQL_SUCCESS},
        {"SELECT '{fn UCASE(x)}' FROM AUTHORS", "SELECT '{fn UCASE(x)}' FROM AUTHORS", SQL_SUCCESS},
        {"SELECT {fn USER()}", "SELECT 'u'", SQL_SUCCESS},
        {"{call P}", "HYC00", SQL_ERROR},
        {"SELECT {d '2024-02-30'}", "22008", SQL_ERROR},
    };
    for (const auto& c : cases) {
        SQLCHAR out[200] = "";
        SQLINTEGER length = -1;
        EXPECT_EQ(c.rc, SQLNativeSql(dbc, (SQLCHAR*)c.in, SQL_NTS, out, sizeof out, &length)) << c.in;
        if (c.rc == SQL_SUCCESS) {
            EXPECT_STREQ(c.out, (char*)out) << c.in;
            EXPECT_EQ(SQLINTEGER(std::string(c.out).size()), length) << c.in;
        } else {
            EXPECT_EQ(c.out, diag(SQL_HANDLE_DBC, dbc).substr(0, 5)) << c.in;
        }
    }
    // The translated length, not the written one, decides the truncation.
    SQLCHAR small[7] = "";
    SQLINTEGER length = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLNativeSql(dbc, (SQLCHAR*)"SELECT {fn NOW()}", SQL_NTS, small, sizeof small, &length));
    EXPECT_STREQ("SELECT", (char*)small);
    EXPECT_EQ(24, length);
}

TEST_F(Escapes, NoScanSendsTheTextAsWritten) {
    const char* sql = "SELECT {fn LCASE('AB')}";
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS)) << diag(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ("ab", firstValue());
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_NOSCAN, (SQLPOINTER)SQL_NOSCAN_ON, 0));
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS));  // the server does not know braces
    EXPECT_EQ("HY000", diag(SQL_HANDLE_STMT, stmt).substr(0, 5));
    EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, (SQLCHAR*)"SELECT '{fn LCASE(x)}'", SQL_NTS));
    EXPECT_EQ("{fn LCASE(x)}", firstValue());
}

TEST_F(Escapes, RefusedEscapeLeavesNoStatement) {
    // A good preparation, then one that fails: nothing of either is executed.
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"SELECT {fn UCASE(?)}", SQL_NTS));
    SQLSMALLINT params = -1;
    SQLNumParams(stmt, &params);
    EXPECT_EQ(1, params);
    EXPECT_EQ(SQL_ERROR, SQLPrepare(stmt, (SQLCHAR*)"SELECT {fn UCASE(?, ?)}", SQL_NTS));
    EXPECT_EQ("42000", diag(SQL_HANDLE_STMT, stmt).substr(0, 5));
    EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
    EXPECT_EQ("HY010", diag(SQL_HANDLE_STMT, stmt).substr(0, 5));
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(stmt, (SQLCHAR*)"{call P(?)}", SQL_NTS));
    EXPECT_EQ("HYC00", diag(SQL_HANDLE_STMT, stmt).substr(0, 5));
}

}  // namespace
