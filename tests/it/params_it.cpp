// Parameters through the unixODBC driver manager against vornd: arrays,
// values supplied at execution, SQLDescribeParam and values that try to
// leave their literal (row-wise arrays with a bind offset: pyodbc's
// fast_executemany in params_pyodbc.py). What reached the server is read
// back by the server's own functions (hex, typeof).
#include "support/odbc_session.h"

#include <cstring>

namespace {

using namespace vorntest;
using Rows = std::vector<std::string>;

class Params : public OdbcSession {
protected:
    static void SetUpTestSuite() { startWithDataSource("params"); }

    void SetUp() override {
        OdbcSession::SetUp();
        exec("DROP TABLE IF EXISTS P");
        ASSERT_EQ(SQL_SUCCESS, exec("CREATE TABLE P (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), AT TIMESTAMP)"))
            << diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    SQLLEN diagRow(SQLSMALLINT rec) {
        SQLLEN row = 0;  // the driver writes 32 bits of it
        SQLGetDiagField(SQL_HANDLE_STMT, stmt, rec, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr);
        return SQLINTEGER(row);
    }
    // The rows of a query on a statement of its own, values joined by "|".
    Rows stored(const char* sql) {
        vorntest::Stmt st(dbc);
        return ok(st.exec(sql)) ? st.rows() : Rows{st.state()};
    }
    void set(SQLINTEGER attribute, SQLULEN value) {
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, attribute, (SQLPOINTER)value, 0));
    }
    void set(SQLINTEGER attribute, void* pointer) { ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, attribute, pointer, 0)); }
};

TEST_F(Params, ColumnWiseArrayWithAFailingAndAnIgnoredRow) {
    SQLINTEGER ids[5] = {1, 2, 2, 4, 5};
    char names[5][8] = {"one", "two", "dup", "fo'ur", "five"};
    SQLLEN nameInd[5] = {SQL_NTS, SQL_NTS, SQL_NTS, SQL_NULL_DATA, SQL_NTS};
    SQLUSMALLINT status[5] = {99, 99, 99, 99, 99}, operation[5] = {SQL_PARAM_PROCEED, SQL_PARAM_PROCEED,
                                                                    SQL_PARAM_PROCEED, SQL_PARAM_PROCEED,
                                                                    SQL_PARAM_IGNORE};
    SQLULEN processed = 99;
    set(SQL_ATTR_PARAMSET_SIZE, SQLULEN(5));
    set(SQL_ATTR_PARAM_STATUS_PTR, status);
    set(SQL_ATTR_PARAM_OPERATION_PTR, operation);
    set(SQL_ATTR_PARAMS_PROCESSED_PTR, &processed);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, names, sizeof names[0], nameInd);
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, exec("INSERT INTO P (ID, NAME) VALUES (?, ?)")) << diag();
    // The duplicate key fails on its own row; the rows after it still run.
    EXPECT_NE(std::string::npos, diag().find("UNIQUE")) << diag();
    EXPECT_EQ(3, diagRow(1));
    const SQLUSMALLINT expected[5] = {SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS, SQL_PARAM_ERROR, SQL_PARAM_SUCCESS,
                                      SQL_PARAM_UNUSED};
    for (int r = 0; r < 5; ++r) EXPECT_EQ(expected[r], status[r]) << "row " << r + 1;
    EXPECT_EQ(4u, processed);
    SQLLEN count = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
    EXPECT_EQ(3, count);
    EXPECT_EQ((Rows{"1|one", "2|two", "4|<null>"}), stored("SELECT ID, NAME FROM P ORDER BY ID"));

    // Every row failing is an error.
    SQLFreeStmt(stmt, SQL_CLOSE);
    set(SQL_ATTR_PARAMSET_SIZE, SQLULEN(2));
    EXPECT_EQ(SQL_ERROR, exec("INSERT INTO P (ID, NAME) VALUES (?, ?)"));
    EXPECT_EQ(SQL_PARAM_ERROR, status[0]);
    EXPECT_EQ(SQL_PARAM_ERROR, status[1]);
    EXPECT_EQ(2, diagRow(2));
    // A query cannot run with an array of parameters.
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ(SQL_ERROR, exec("SELECT NAME FROM P WHERE ID = ? AND NAME <> ?"));
    EXPECT_EQ(0u, diag().find("HYC00")) << diag();
    EXPECT_NE(std::string::npos, diag().find("cannot run with an array")) << diag();
}

TEST_F(Params, DataAtExecution) {
    // Row by row through an array: each row's own token; NULL as a piece.
    char tokens[2][4] = {"", ""};
    SQLLEN atExec[2] = {SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC};
    SQLINTEGER ids[2] = {21, 22};
    set(SQL_ATTR_PARAMSET_SIZE, SQLULEN(2));
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, tokens, sizeof tokens[0], atExec);
    ASSERT_EQ(SQL_NEED_DATA, exec("INSERT INTO P (ID, NAME) VALUES (?, ?)")) << diag();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
    EXPECT_EQ(tokens[0], token);
    for (const char* piece : {"fi", "rs", "t"}) EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER)piece, SQL_NTS));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token)) << diag();
    EXPECT_EQ(tokens[1], token);
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, nullptr, SQL_NULL_DATA));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token)) << diag();
    EXPECT_EQ((Rows{"21|first", "22|<null>"}), stored("SELECT ID, NAME FROM P ORDER BY ID"));

    // A number read by its pointer (the length given up front ignored), and
    // UTF-16 in pieces, one ending inside a surrogate pair.
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    set(SQL_ATTR_PARAMSET_SIZE, SQLULEN(1));
    SQLINTEGER idToken = 0, id = 23;
    SQLWCHAR wideToken[2] = {};
    SQLLEN lenAtExec = SQL_LEN_DATA_AT_EXEC(10);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &idToken, 0, atExec);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0, wideToken, 0, &lenAtExec);
    ASSERT_EQ(SQL_NEED_DATA, exec("INSERT INTO P (ID, NAME) VALUES (?, ?)")) << diag();
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
    EXPECT_EQ(&idToken, token);
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, &id, 0));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
    const char16_t text[] = u"it's \u00e9 \U0001F600";
    const std::size_t units = sizeof text / 2 - 1;
    SQLPutData(stmt, (SQLPOINTER)text, SQLLEN(2 * (units - 1)));
    SQLPutData(stmt, (SQLPOINTER)(text + units - 1), 2);
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token)) << diag();
    EXPECT_EQ((Rows{"it's \xC3\xA9 \xF0\x9F\x98\x80"}), stored("SELECT NAME FROM P WHERE ID = 23"));
}

// Too few parameters: refused before anything is sent; bound, the bytes
// outside SET OBJECT are a binary literal.
TEST_F(Params, TooFewParametersThenBytes) {
    SQLINTEGER id = 4;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"UPDATE BOOKS SET COVER = ? WHERE ID = ?", SQL_NTS));
    const unsigned char cover[] = {0xFF, 0x00, 0x27};
    SQLLEN coverLength = sizeof cover;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 0, 0, (void*)cover, 0, &coverLength);
    EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
    EXPECT_EQ("07002 [Kalmo][VORNsql driver]COUNT field incorrect", diag());
    EXPECT_EQ((Rows{""}), stored("SELECT hex(COVER) FROM BOOKS WHERE ID = 4"));  // as in the sample
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << diag();
    EXPECT_EQ((Rows{"FF0027|blob"}), stored("SELECT hex(COVER), typeof(COVER) FROM BOOKS WHERE ID = 4"));
}

TEST_F(Params, DescribeParamAnswersWhatTheDriverKnows) {
    SQLSMALLINT type = 0, digits = -1, nullable = -1;
    SQLULEN size = 0;
    EXPECT_EQ(SQL_ERROR, SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable));
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"SELECT * FROM P WHERE ID = ? AND NAME = ?", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 2, &type, &size, &digits, &nullable)) << diag();
    EXPECT_EQ("12 255 0 2", std::to_string(type) + " " + std::to_string(size) + " " + std::to_string(digits) + " " +
                                std::to_string(nullable));  // SQL_VARCHAR, SQL_NULLABLE_UNKNOWN
    char text[8] = "1";
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 12, 3, text, 0, nullptr);
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable));
    EXPECT_EQ("3 12 3", std::to_string(type) + " " + std::to_string(size) + " " + std::to_string(digits));
    EXPECT_EQ(SQL_ERROR, SQLDescribeParam(stmt, 3, &type, &size, &digits, &nullable));
    EXPECT_EQ(0u, diag().find("07009")) << diag();
}

// A value that tries to end its literal or add a condition finds nothing
// or is refused, whatever kind of type it is bound as (each type's literal:
// the unit tests).
TEST_F(Params, InjectionThroughEveryType) {
    exec("INSERT INTO P VALUES (1, 'a', '2024-01-31 00:00:00')");
    const char* attempt = "1' OR '1'='1";
    const struct {
        SQLSMALLINT sqlType;
        const char* value;
        const char* state;  // "" when the query runs (and finds no row)
    } cases[] = {
        {SQL_WVARCHAR, attempt, ""},         {SQL_INTEGER, "1 OR 1=1", "22018"}, {SQL_DOUBLE, "1 OR 1=1", "22018"},
        {SQL_REAL, attempt, "22018"},        {SQL_DECIMAL, attempt, "22018"},    {SQL_TYPE_DATE, attempt, "22007"},
        {SQL_TYPE_TIME, attempt, "22007"},   {SQL_TYPE_TIMESTAMP, attempt, "22007"},
        {SQL_VARBINARY, attempt, "22018"},
    };
    for (const auto& c : cases) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLLEN nts = SQL_NTS;
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, c.sqlType, 20, 0, (SQLPOINTER)c.value, 0, &nts);
        const SQLRETURN rc = exec("SELECT ID FROM P WHERE NAME = ?");
        if (*c.state) {
            EXPECT_EQ(SQL_ERROR, rc) << c.sqlType;
            EXPECT_EQ(0u, diag().find(c.state)) << c.sqlType;
        } else {
            ASSERT_EQ(SQL_SUCCESS, rc) << c.sqlType << " " << diag();
            EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt)) << c.sqlType;
        }
    }
}

}  // namespace
