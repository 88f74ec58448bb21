// Parameter arrays, SQLDescribeParam and values that try to leave their
// literal, through the unixODBC driver manager against vornd. What reached
// the server is read back from its database file.
#include "support/odbc_session.h"

#include <sqlite3.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Params : public vorntest::OdbcSession {
protected:
    static void SetUpTestSuite() { startWithDataSource("params"); }

    void SetUp() override {
        OdbcSession::SetUp();
        exec("DROP TABLE IF EXISTS P");
        ASSERT_EQ(SQL_SUCCESS, exec("CREATE TABLE P (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), AT TIMESTAMP)"))
            << diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
    }

    std::string diag(SQLSMALLINT rec = 1) {
        SQLCHAR state[6] = "", text[600] = "";
        if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, rec, state, nullptr, text, sizeof text, nullptr)))
            return "";
        return std::string((char*)state) + " " + (char*)text;
    }
    SQLLEN diagRow(SQLSMALLINT rec) {
        SQLLEN row = 0;  // the driver writes 32 bits of it
        SQLGetDiagField(SQL_HANDLE_STMT, stmt, rec, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr);
        return SQLINTEGER(row);
    }
    // The rows of a query on the database itself, values joined by "|".
    static std::vector<std::string> stored(const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_stmt* q = nullptr;
        std::vector<std::string> rows;
        if (sqlite3_open_v2(server_->db().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK) {
            while (sqlite3_step(q) == SQLITE_ROW) {
                std::string row;
                for (int c = 0; c < sqlite3_column_count(q); ++c) {
                    const unsigned char* text = sqlite3_column_text(q, c);
                    row += (c ? "|" : "") + std::string(text ? (const char*)text : "<null>");
                }
                rows.push_back(row);
            }
        }
        sqlite3_finalize(q);
        sqlite3_close(db);
        return rows;
    }
    void setStmt(SQLINTEGER attribute, SQLULEN value) {
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, attribute, (SQLPOINTER)value, 0));
    }
    void setStmt(SQLINTEGER attribute, void* pointer) {
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, attribute, pointer, 0));
    }
};

TEST_F(Params, ColumnWiseArrayWithAFailingAndAnIgnoredRow) {
    SQLINTEGER ids[5] = {1, 2, 2, 4, 5};
    char names[5][8] = {"one", "two", "dup", "fo'ur", "five"};
    SQLLEN nameInd[5] = {SQL_NTS, SQL_NTS, SQL_NTS, SQL_NULL_DATA, SQL_NTS};
    SQLUSMALLINT status[5] = {99, 99, 99, 99, 99}, operation[5] = {SQL_PARAM_PROCEED, SQL_PARAM_PROCEED,
                                                                    SQL_PARAM_PROCEED, SQL_PARAM_PROCEED,
                                                                    SQL_PARAM_IGNORE};
    SQLULEN processed = 99;
    setStmt(SQL_ATTR_PARAMSET_SIZE, SQLULEN(5));
    setStmt(SQL_ATTR_PARAM_STATUS_PTR, status);
    setStmt(SQL_ATTR_PARAM_OPERATION_PTR, operation);
    setStmt(SQL_ATTR_PARAMS_PROCESSED_PTR, &processed);
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
    EXPECT_EQ((std::vector<std::string>{"1|one", "2|two", "4|<null>"}), stored("SELECT ID, NAME FROM P ORDER BY ID"));

    // Every row failing is an error.
    SQLFreeStmt(stmt, SQL_CLOSE);
    setStmt(SQL_ATTR_PARAMSET_SIZE, SQLULEN(2));
    EXPECT_EQ(SQL_ERROR, exec("INSERT INTO P (ID, NAME) VALUES (?, ?)"));
    EXPECT_EQ(SQL_PARAM_ERROR, status[0]);
    EXPECT_EQ(SQL_PARAM_ERROR, status[1]);
    EXPECT_EQ(2, diagRow(2));
    // A query cannot run with an array of parameters.
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ(SQL_ERROR, exec("SELECT NAME FROM P WHERE ID = ? AND NAME <> ?"));
    EXPECT_EQ("HYC00", diag().substr(0, 5));
    EXPECT_NE(std::string::npos, diag().find("cannot run with an array")) << diag();
    // Without a status array the first failing row ends the execution; its
    // message names it.
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLINTEGER more[4] = {30, 31, 1, 33};
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, more, 0, nullptr);
    setStmt(SQL_ATTR_PARAM_STATUS_PTR, nullptr);
    setStmt(SQL_ATTR_PARAM_OPERATION_PTR, nullptr);
    setStmt(SQL_ATTR_PARAMSET_SIZE, SQLULEN(4));
    EXPECT_EQ(SQL_ERROR, exec("INSERT INTO P (ID, NAME) VALUES (?, ?)"));
    EXPECT_NE(std::string::npos, diag().find("(parameter row 3)")) << diag();
    EXPECT_EQ(3u, processed);
    EXPECT_EQ((std::vector<std::string>{"30", "31"}), stored("SELECT ID FROM P WHERE ID >= 30 ORDER BY ID"));

    SQLUINTEGER counts = 0, selects = 0;
    SQLGetInfo(dbc, SQL_PARAM_ARRAY_ROW_COUNTS, &counts, sizeof counts, nullptr);
    SQLGetInfo(dbc, SQL_PARAM_ARRAY_SELECTS, &selects, sizeof selects, nullptr);
    EXPECT_EQ(SQLUINTEGER(SQL_PARC_NO_BATCH), counts);
    EXPECT_EQ(SQLUINTEGER(SQL_PAS_NO_SELECT), selects);
}

TEST_F(Params, RowWiseArrayMovedByTheBindOffset) {
    struct Row {
        SQLINTEGER id;
        SQLLEN idInd;
        char name[12];
        SQLLEN nameInd;
        SQL_TIMESTAMP_STRUCT at;
        SQLLEN atInd;
    };
    Row first[2] = {}, second[3] = {
        {10, 0, "ten", SQL_NTS, {2024, 1, 31, 12, 34, 56, 123456000}, 0},
        {11, 0, "", SQL_NULL_DATA, {}, SQL_NULL_DATA},
        {12, 0, "twelve", 3, {1999, 12, 31, 23, 59, 59, 0}, 0},
    };
    SQLLEN offset = 0;
    setStmt(SQL_ATTR_PARAM_BIND_TYPE, SQLULEN(sizeof(Row)));
    setStmt(SQL_ATTR_PARAMSET_SIZE, SQLULEN(3));
    setStmt(SQL_ATTR_PARAM_BIND_OFFSET_PTR, &offset);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &first[0].id, 0, &first[0].idInd);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, first[0].name, 12, &first[0].nameInd);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, &first[0].at, 0,
                     &first[0].atInd);
    offset = reinterpret_cast<char*>(second) - reinterpret_cast<char*>(first);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"INSERT INTO P VALUES (?, ?, ?)", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << diag();
    EXPECT_EQ((std::vector<std::string>{"10|ten|2024-01-31 12:34:56.123456", "11|<null>|<null>",
                                        "12|twe|1999-12-31 23:59:59"}),
              stored("SELECT ID, NAME, AT FROM P ORDER BY ID"));
}

TEST_F(Params, NumericStructWithTheDescriptorsScale) {
    SQL_NUMERIC_STRUCT n{};
    n.sign = 0;  // -1234567.89
    const unsigned long long mantissa = 123456789ULL;
    for (int k = 0; k < 8; ++k) n.val[k] = SQLCHAR(mantissa >> (8 * k));
    SQLINTEGER id = 40;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_VARCHAR, 20, 0, &n, 0, nullptr);
    SQLHDESC apd = nullptr;
    SQLGetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr);
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 2, SQL_DESC_PRECISION, (SQLPOINTER)10, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 2, SQL_DESC_SCALE, (SQLPOINTER)2, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 2, SQL_DESC_DATA_PTR, &n, 0));
    ASSERT_EQ(SQL_SUCCESS, exec("INSERT INTO P (ID, NAME) VALUES (?, ?)")) << diag();
    EXPECT_EQ((std::vector<std::string>{"-1234567.89"}), stored("SELECT NAME FROM P WHERE ID = 40"));
}

TEST_F(Params, DataAtExecutionRowByRow) {
    char tokens[2][4] = {"", ""};
    SQLLEN atExec[2] = {SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC};
    SQLINTEGER ids[2] = {21, 22};
    setStmt(SQL_ATTR_PARAMSET_SIZE, SQLULEN(2));
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, tokens, sizeof tokens[0], atExec);
    ASSERT_EQ(SQL_NEED_DATA, exec("INSERT INTO P (ID, NAME) VALUES (?, ?)")) << diag();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
    EXPECT_EQ(tokens[0], token);  // each row's own address
    SQLPutData(stmt, (SQLPOINTER) "first", SQL_NTS);
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token)) << diag();
    EXPECT_EQ(tokens[1], token);
    SQLPutData(stmt, nullptr, SQL_NULL_DATA);
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token)) << diag();
    EXPECT_EQ((std::vector<std::string>{"21|first", "22|<null>"}), stored("SELECT ID, NAME FROM P ORDER BY ID"));

    // UTF-16 in pieces, one of them ending inside a surrogate pair.
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    setStmt(SQL_ATTR_PARAMSET_SIZE, SQLULEN(1));
    SQLINTEGER id = 23;
    SQLWCHAR wideToken[2] = {};
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0, wideToken, 0, atExec);
    ASSERT_EQ(SQL_NEED_DATA, exec("INSERT INTO P (ID, NAME) VALUES (?, ?)")) << diag();
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
    const char16_t text[] = u"it's \u00e9 \U0001F600";
    const std::size_t units = sizeof text / 2 - 1;
    SQLPutData(stmt, (SQLPOINTER)text, SQLLEN(2 * (units - 1)));
    SQLPutData(stmt, (SQLPOINTER)(text + units - 1), 2);
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token)) << diag();
    EXPECT_EQ((std::vector<std::string>{"it's \xC3\xA9 \xF0\x9F\x98\x80"}), stored("SELECT NAME FROM P WHERE ID = 23"));
}

TEST_F(Params, DescribeParamAnswersWhatTheDriverKnows) {
    SQLSMALLINT type = 0, digits = -1, nullable = -1;
    SQLULEN size = 0;
    EXPECT_EQ(SQL_ERROR, SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable));
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"SELECT * FROM P WHERE ID = ? AND NAME = ?", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 2, &type, &size, &digits, &nullable)) << diag();
    EXPECT_EQ(SQL_VARCHAR, type);
    EXPECT_EQ(255u, size);
    EXPECT_EQ(0, digits);
    EXPECT_EQ(SQL_NULLABLE_UNKNOWN, nullable);
    char text[8] = "1";
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 12, 3, text, 0, nullptr);
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable));
    EXPECT_EQ(SQL_DECIMAL, type);
    EXPECT_EQ(12u, size);
    EXPECT_EQ(3, digits);
    EXPECT_EQ(SQL_ERROR, SQLDescribeParam(stmt, 3, &type, &size, &digits, &nullable));
    EXPECT_EQ("07009", diag().substr(0, 5));
    SQLCHAR answer[4] = "";
    SQLGetInfo(dbc, SQL_DESCRIBE_PARAMETER, answer, sizeof answer, nullptr);
    EXPECT_STREQ("Y", (char*)answer);
}

// A value that tries to end its literal or add a condition finds nothing
// or is refused, whatever type it is bound as.
TEST_F(Params, InjectionThroughEveryType) {
    exec("INSERT INTO P VALUES (1, 'a', '2024-01-31 00:00:00')");
    SQLFreeStmt(stmt, SQL_CLOSE);
    const char* attempt = "1' OR '1'='1";
    const char* bare = "1 OR 1=1";
    struct Case {
        SQLSMALLINT sqlType;
        const char* value;
        const char* state;  // "" when the query runs (and finds no row)
    } cases[] = {
        {SQL_VARCHAR, attempt, ""},       {SQL_CHAR, attempt, ""},           {SQL_LONGVARCHAR, attempt, ""},
        {SQL_WVARCHAR, attempt, ""},      {SQL_INTEGER, bare, "22018"},      {SQL_BIGINT, attempt, "22018"},
        {SQL_SMALLINT, bare, "22018"},    {SQL_TINYINT, bare, "22018"},      {SQL_BIT, bare, "22018"},
        {SQL_DOUBLE, bare, "22018"},      {SQL_REAL, attempt, "22018"},      {SQL_FLOAT, bare, "22018"},
        {SQL_NUMERIC, bare, "22018"},     {SQL_DECIMAL, attempt, "22018"},   {SQL_TYPE_DATE, attempt, "22007"},
        {SQL_TYPE_TIME, attempt, "22007"}, {SQL_TYPE_TIMESTAMP, attempt, "22007"},
        {SQL_VARBINARY, attempt, "22018"}, {SQL_BINARY, bare, "22018"},     {SQL_LONGVARBINARY, attempt, "22018"},
    };
    for (const Case& c : cases) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLLEN nts = SQL_NTS;
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, c.sqlType, 20, 0, (SQLPOINTER)c.value, 0, &nts);
        const SQLRETURN rc = exec("SELECT ID FROM P WHERE NAME = ?");
        if (*c.state) {
            EXPECT_EQ(SQL_ERROR, rc) << c.sqlType;
            EXPECT_EQ(c.state, diag().substr(0, 5)) << c.sqlType;
        } else {
            ASSERT_EQ(SQL_SUCCESS, rc) << c.sqlType << " " << diag();
            EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt)) << c.sqlType;
        }
    }
}

}  // namespace
