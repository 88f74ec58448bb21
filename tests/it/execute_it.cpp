// Parameters through the unixODBC driver manager against a vornd on the
// sample database: texts and bytes written into SET OBJECT and outside it,
// parameters refused before anything is sent, values supplied at execution. What
// reached the server is read back from its database file. (Plain parameters,
// re-execution and server faults: fetch_pyodbc.py.)
#include "support/odbc_session.h"

#include <sqlite3.h>

#include <string>

namespace {

class Execute : public vorntest::OdbcSession {
protected:
    static void SetUpTestSuite() { startWithDataSource("execute"); }

    // "SQLSTATE message" of the statement's first record.
    std::string diag() {
        SQLCHAR state[6] = "", text[600] = "";
        if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, nullptr, text, sizeof text, nullptr)))
            return "";
        return std::string((char*)state) + " " + (char*)text;
    }
    // The first value of a query run on the database itself as text,
    // "<null>" for NULL, "<none>" without a row.
    static std::string stored(const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_stmt* q = nullptr;
        std::string value = "<none>";
        if (sqlite3_open_v2(server_->db().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(q, 0);
            value = text ? reinterpret_cast<const char*>(text) : "<null>";
        }
        sqlite3_finalize(q);
        sqlite3_close(db);
        return value;
    }
};

TEST_F(Execute, ObjectClauseAndRefusedParameters) {
    SQLINTEGER id = 4;
    SQLLEN nts = SQL_NTS;
    // Inside SET OBJECT a long text takes the "data=" form and bytes go as
    // base64; a long text whose marker follows the clause is text as well.
    const unsigned char cover[] = {0x00, 0x01, 0x27, 0xFF};
    SQLLEN coverLength = sizeof cover;
    char abstract[] = "It's short", extra[] = "data=kept";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"UPDATE BOOKS SET OBJECT (ABSTRACT = ?, COVER = ?) WHERE ID = ? AND TITLE <> ?", SQL_NTS));
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, abstract, 0, &nts);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, (void*)cover, 0, &coverLength);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, extra, 0, &nts);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << diag();
    EXPECT_EQ("It's short", stored("SELECT ABSTRACT FROM BOOKS WHERE ID = 4"));
    EXPECT_EQ("000127FF", stored("SELECT hex(COVER) FROM BOOKS WHERE ID = 4"));

    // Refused before anything is sent: too few parameters. Bytes outside the
    // clause are a hexadecimal literal.
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"UPDATE BOOKS SET COVER = ? WHERE ID = ?", SQL_NTS));
    const unsigned char other[] = {0xFF, 0x00, 0x27};
    SQLLEN otherLength = sizeof other;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 0, 0, (void*)other, 0, &otherLength);
    EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
    EXPECT_EQ("07002 [Kalmo][VORNsql driver]COUNT field incorrect", diag());
    EXPECT_EQ("000127FF", stored("SELECT hex(COVER) FROM BOOKS WHERE ID = 4"));
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << diag();
    EXPECT_EQ("FF0027", stored("SELECT hex(COVER) FROM BOOKS WHERE ID = 4"));
    EXPECT_EQ("blob", stored("SELECT typeof(COVER) FROM BOOKS WHERE ID = 4"));
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
