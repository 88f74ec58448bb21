// Statement texts as the driver builds them, without a server: every
// execution below fails for want of a session ("Unknown error"), after the
// text has been built; the tests read that text. Also the
// data-at-execution refusals that the driver manager would answer itself.
// (Single values: paramtext_test.cpp.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/driver_handles.h"

namespace {

struct Execute : vorntest::StatementTest {
    void bind(SQLUSMALLINT n, SQLSMALLINT cType, SQLSMALLINT sqlType, const void* value, SQLLEN* ind) {
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, n, SQL_PARAM_INPUT, cType, sqlType, 0, 0,
                                                const_cast<void*>(value), 0, ind));
    }
    // The text the statement sent (or would have sent).
    std::string sent(const std::string& sql) {
        const SQLRETURN rc = SQLExecDirect(hstmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
        if (rc != SQL_ERROR || stmtDiag() != "HY000 Unknown error") return "rc " + std::to_string(rc) + " " + stmtDiag();
        return stmt->sentText.empty() ? "<none>" : stmt->sentText;
    }
    SQLLEN nts = SQL_NTS, null = SQL_NULL_DATA, atExec = SQL_DATA_AT_EXEC;
};

TEST_F(Execute, ParametersInTheObjectClauseAndOutside) {
    SQLSMALLINT columns = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(hstmt, &columns));
    EXPECT_EQ(0, columns);
    EXPECT_EQ("-1 HY010 Function sequence error", stmtResult(SQLExecute(hstmt)));

    const char quote[] = "it's", plain[] = "x";
    const SQLINTEGER five = 5;
    const unsigned char bytes[] = {0xFB, 0xFF, 0x00};
    SQLLEN three = 3;
    bind(1, SQL_C_CHAR, SQL_LONGVARCHAR, quote, &nts);
    bind(2, SQL_C_CHAR, SQL_LONGVARCHAR, plain, &nts);
    bind(3, SQL_C_LONG, SQL_INTEGER, &five, nullptr);
    EXPECT_EQ("UPDATE T SET OBJECT (A = 'data=it''s') WHERE B = 'data=x' AND C = 5",
              sent("UPDATE T SET OBJECT (A = ?) WHERE B = ? AND C = ?"));
    EXPECT_EQ(1, stmt->markerInObjectClause);
    // Without the clause the long text is an ordinary literal; a "?" inside
    // quotes is text.
    EXPECT_EQ("SELECT '?', \"?'\", 'it''s', 'x', 5 FROM T", sent("SELECT '?', \"?'\", ?, ?, ? FROM T"));
    EXPECT_EQ(0, stmt->markerInObjectClause);
    // The clause counts only within the first 255 characters.
    const std::string pad(260, ' ');
    EXPECT_EQ("UPDATE" + pad + "SET OBJECT (A = 'it''s', 'x', 5)",
              sent("UPDATE" + pad + "SET OBJECT (A = ?, ?, ?)"));
    EXPECT_EQ(0, stmt->markerInObjectClause);

    bind(1, SQL_C_BINARY, SQL_LONGVARBINARY, bytes, &three);
    EXPECT_EQ("UPDATE T SET OBJECT (A = 'data[base64]=+/8A') WHERE B = 'data=x' AND C = 5",
              sent("UPDATE T SET OBJECT (A = ?) WHERE B = ? AND C = ?"));
    // NULL is the bare keyword whatever the type.
    bind(1, SQL_C_LONG, SQL_INTEGER, &five, &null);
    bind(2, SQL_C_CHAR, SQL_VARCHAR, plain, &null);
    EXPECT_EQ("VALUES (NULL, NULL, 5)", sent("VALUES (?, ?, ?)"));
    bind(1, SQL_C_LONG, SQL_TYPE_DATE, &five, nullptr);
    EXPECT_EQ("rc -1 07006 Restricted data type attribute validation", sent("VALUES (?, ?, ?)"));
}

TEST_F(Execute, DataAtExecutionRefusals) {
    SQLINTEGER number = 7;
    char chars[4] = "";
    bind(1, SQL_C_CHAR, SQL_VARCHAR, chars, &atExec);
    bind(2, SQL_C_LONG, SQL_INTEGER, &number, &atExec);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecDirect(hstmt, (SQLCHAR*)"VALUES (?, ?)", SQL_NTS));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, nullptr, SQL_NULL_DATA));
    EXPECT_EQ("-1 HY020 Attempt to concatenate a null value", stmtResult(SQLPutData(hstmt, (SQLPOINTER) "a", 1)));
    SQLINTEGER column = 0;
    SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_COLUMN_NUMBER, &column, 0, nullptr);
    EXPECT_EQ(1, column);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    EXPECT_EQ(&number, token);
    // A number given in pieces: the NULL marker is kept, the call refused.
    EXPECT_EQ("-1 HY019 Non-character and non-binary data sent in pieces",
              stmtResult(SQLPutData(hstmt, nullptr, SQL_NULL_DATA), 2));
    EXPECT_EQ(SQL_ERROR, SQLParamData(hstmt, &token));
    EXPECT_EQ("VALUES (NULL, NULL)", stmt->sentText);
    // The execution is over: nothing waits for data.
    SQLINTEGER records = 0;
    SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 0, SQL_DIAG_NUMBER, &records, 0, nullptr);
    EXPECT_EQ(SQL_ERROR, SQLParamData(hstmt, &token));
    EXPECT_EQ("HY010 Function sequence error", stmtDiag(SQLSMALLINT(records + 1)));
}

}  // namespace
