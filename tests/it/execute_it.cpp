// Statements executed through the unixODBC driver manager against a vornd on
// the sample database: queries described, parameters written into the text
// (also inside SET OBJECT), server faults, values supplied at execution. What
// reached the server is read back from its database file.
#include "support/odbc_sandbox.h"
#include "VorndSuite.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstring>
#include <string>

namespace {

class Execute : public vorndtest::VorndSuite {
protected:
    static void SetUpTestSuite() {
        odbc_.reset(new vorntest::OdbcSandbox);
        odbc_->write(odbc_->driverIni(), std::string("[Kalmo VORNsql driver]\nDriver=") + VORN_DRIVER_LIB + "\n");
        startServer("execute");
        odbc_->write(odbc_->systemIni(), "[exec]\nDriver=Kalmo VORNsql driver\nServer=127.0.0.1\nService=" +
                                             std::to_string(server_->port()) + "\n");
    }
    static void TearDownTestSuite() {
        VorndSuite::TearDownTestSuite();
        odbc_.reset();
    }
    void SetUp() override {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)"DSN=exec;UID=u;PWD=p", SQL_NTS, nullptr,
                                                   0, nullptr, SQL_DRIVER_NOPROMPT)));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    }
    void TearDown() override {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }

    SQLRETURN exec(const char* sql) { return SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS); }
    // "SQLSTATE message" of the statement's first record.
    std::string diag() {
        SQLCHAR state[6] = "", text[600] = "";
        if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, nullptr, text, sizeof text, nullptr)))
            return "";
        return std::string((char*)state) + " " + (char*)text;
    }
    SQLSMALLINT resultColumns() {
        SQLSMALLINT n = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &n));
        return n;
    }
    // The first value of a query run on the database itself, "<null>" for
    // NULL, "<none>" without a row; blobs as hex.
    static std::string stored(const std::string& sql) {
        sqlite3* db = nullptr;
        std::string value = "<none>";
        sqlite3_stmt* q = nullptr;
        if (sqlite3_open_v2(server_->db().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW) {
            const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(q, 0));
            const int n = sqlite3_column_bytes(q, 0);
            if (sqlite3_column_type(q, 0) == SQLITE_NULL) {
                value = "<null>";
            } else if (sqlite3_column_type(q, 0) == SQLITE_BLOB) {
                value.clear();
                for (int i = 0; i < n; ++i) value += "0123456789abcdef"[bytes[i] >> 4], value += "0123456789abcdef"[bytes[i] & 15];
            } else {
                value.assign(reinterpret_cast<const char*>(bytes), std::size_t(n));
            }
        }
        sqlite3_finalize(q);
        sqlite3_close(db);
        return value;
    }

    inline static std::unique_ptr<vorntest::OdbcSandbox> odbc_;
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
};

TEST_F(Execute, QueriesAreDescribedAndFaultsReported) {
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT ID, NAME, BORN FROM AUTHORS WHERE NAME <> '?' ORDER BY ID")) << diag();
    EXPECT_EQ(3, resultColumns());
    SQLCHAR name[32] = "";
    SQLSMALLINT type = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, 3, name, sizeof name, nullptr, &type, nullptr, nullptr, nullptr));
    EXPECT_STREQ("BORN", (char*)name);
    EXPECT_EQ(SQL_TYPE_DATE, type);
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));

    // A fault of the server: its text under HY000, and no result left.
    EXPECT_EQ(SQL_ERROR, exec("SELECT nonsense FROM nowhere"));
    EXPECT_EQ("HY000 [Kalmo][VORNsql driver]no such table: nowhere", diag());
    EXPECT_EQ(SQL_ERROR, exec(""));  // refused without a diagnostic
    EXPECT_EQ("", diag());

    // Markers: a "?" inside a literal is none; SQLNativeSql leaves the text.
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"SELECT ? , '?', \"?\" FROM AUTHORS", SQL_NTS));
    SQLSMALLINT params = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLNumParams(stmt, &params));
    EXPECT_EQ(1, params);
    SQLCHAR out[7];
    SQLINTEGER length = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLNativeSql(dbc, (SQLCHAR*)"SELECT * FROM BOOKS", SQL_NTS, out, sizeof out, &length));
    EXPECT_STREQ("SELECT", (char*)out);
    EXPECT_EQ(19, length);
}

TEST_F(Execute, BoundParametersAreWrittenIntoTheText) {
    SQLINTEGER id = 10, noAuthor = 0;
    SQLDOUBLE price = 3.25;
    char title[40] = "O'Brien's \"book\"";
    SQLLEN nts = SQL_NTS, null = SQL_NULL_DATA;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"INSERT INTO BOOKS (ID, TITLE, AUTHOR_ID, PRICE) VALUES (?, ?, ?, ?)", SQL_NTS));
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 100, 0, title, 0, &nts);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &noAuthor, 0, &null);
    SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_FLOAT, 15, 0, &price, 0, nullptr);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << diag();
    // Closed and executed again with new values (as pyodbc does): the
    // preparation stays, the values are read afresh.
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
    id = 11;
    std::strcpy(title, "second");
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << diag();
    EXPECT_EQ("O'Brien's \"book\"|<null>|3.25", stored("SELECT TITLE || '|' || ifnull(AUTHOR_ID, '<null>') || '|' || PRICE FROM BOOKS WHERE ID = 10"));
    EXPECT_EQ("second", stored("SELECT TITLE FROM BOOKS WHERE ID = 11"));

    // Inside SET OBJECT a long text takes the "data=" form and bytes go as
    // base64; a long text whose marker follows the clause is text as well.
    const unsigned char cover[] = {0x00, 0x01, 0x27, 0xFF};
    SQLLEN coverLength = sizeof cover;
    char abstract[] = "It's short", extra[] = "data=kept";
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"UPDATE BOOKS SET OBJECT (ABSTRACT = ?, COVER = ?) WHERE ID = ? AND TITLE <> ?", SQL_NTS));
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, abstract, 0, &nts);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, (void*)cover, 0, &coverLength);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, extra, 0, &nts);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << diag();
    EXPECT_EQ("It's short", stored("SELECT ABSTRACT FROM BOOKS WHERE ID = 11"));
    EXPECT_EQ("000127ff", stored("SELECT COVER FROM BOOKS WHERE ID = 11"));

    // Refused before anything is sent: bytes outside the clause, a date
    // type, too few parameters.
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"UPDATE BOOKS SET COVER = ? WHERE ID = ?", SQL_NTS));
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, (void*)cover, 0, &coverLength);
    EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
    EXPECT_EQ("07002 [Kalmo][VORNsql driver]COUNT field incorrect", diag());
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
    EXPECT_EQ("07006 [Kalmo][VORNsql driver]The statement was not an UPDATE SET OBJECT statement and the target "
              "type was LONG VARBINARY", diag());
    SQL_DATE_STRUCT day = {2001, 2, 3};
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 0, 0, &day, 0, nullptr);
    EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
    EXPECT_EQ(0u, diag().find("07006")) << diag();
    EXPECT_EQ("000127ff", stored("SELECT COVER FROM BOOKS WHERE ID = 11"));
}

TEST_F(Execute, ValuesSuppliedAtExecution) {
    SQLINTEGER idToken = 0, id = 20;
    char nameToken[4] = "", country[] = "Sweden";
    SQLLEN atExec = SQL_DATA_AT_EXEC, lenAtExec = SQL_LEN_DATA_AT_EXEC(10), nts = SQL_NTS;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &idToken, 0, &atExec);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 60, 0, nameToken, 0, &lenAtExec);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, country, 0, &nts);
    ASSERT_EQ(SQL_NEED_DATA, exec("INSERT INTO AUTHORS (ID, NAME, COUNTRY) VALUES (?, ?, ?)")) << diag();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
    EXPECT_EQ(&idToken, token);
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, &id, 0));  // a number is read by its pointer
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token)) << diag();
    EXPECT_EQ(nameToken, token);
    for (const char* piece : {"Ju", "le", "s"}) EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER)piece, SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token)) << diag();
    EXPECT_EQ("Jules|Sweden", stored("SELECT NAME || '|' || COUNTRY FROM AUTHORS WHERE ID = 20"));

    // NULL as the first piece (a second one is refused: by the driver
    // manager already, or by the driver).
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    char pieceToken[8] = "";
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 0, 0, pieceToken, 0, &atExec);
    ASSERT_EQ(SQL_NEED_DATA, exec("UPDATE BOOKS SET AUTHOR_ID = ? WHERE ID = 1"));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, nullptr, SQL_NULL_DATA));
    EXPECT_EQ(SQL_ERROR, SQLPutData(stmt, nullptr, SQL_NULL_DATA));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token)) << diag();
    EXPECT_EQ("<null>", stored("SELECT AUTHOR_ID FROM BOOKS WHERE ID = 1"));
}

}  // namespace
