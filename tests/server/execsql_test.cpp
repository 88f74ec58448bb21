// The SQL commands of vornd over the wire: result documents, paging, long
// values, the object clause, faults and the catalog.
#include "WireClient.h"

#include <gtest/gtest.h>

using namespace vorndtest;

namespace {

class VorndSql : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        db_ = new SampleDatabase("sql");
        ASSERT_TRUE(db_->ok());
        server_ = new VorndProcess;
        std::string error;
        ASSERT_TRUE(server_->start(db_->path(), {}, error)) << error;
    }
    static void TearDownTestSuite() {
        EXPECT_EQ(server_->stop(), 0);  // also: no leak reports at exit
        delete server_;
        delete db_;
    }
    void SetUp() override {
        ASSERT_TRUE(c_.connect(server_->port()));
        ASSERT_EQ(c_.start("tester", "pw").status, 1);
    }

    // Runs a statement that must succeed; its document.
    Document run(const std::string& sql, std::uint32_t rows = 0xFFFFFFFFu, std::uint32_t block = 0) {
        ExportAnswer e = c_.execsql(sql, rows, block);
        EXPECT_TRUE(e.ok);
        EXPECT_EQ(e.status & 1, 1) << sql << ": " << e.message;
        Document d = parseDocument(e.data);
        EXPECT_TRUE(d.wellFormed) << d.error << "\n" << e.data;
        return d;
    }

    static SampleDatabase* db_;
    static VorndProcess* server_;
    WireClient c_;
};

SampleDatabase* VorndSql::db_;
VorndProcess* VorndSql::server_;

TEST_F(VorndSql, QueryDocumentTypesAndValues) {
    Document d = run("SELECT * FROM BOOKS ORDER BY ID");
    EXPECT_EQ(d.root, "ResultSet");
    EXPECT_EQ(d.statementType, "SELECT");
    EXPECT_EQ(d.columnCount, 8);
    EXPECT_EQ(d.rowCount, 5);
    const char* types[] = {"INTEGER", "VARCHAR", "INTEGER", "NUMERIC", "DATE", "TIME", "LONG VARCHAR",
                           "LONG VARBINARY"};
    ASSERT_EQ(d.columns.size(), 8u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(d.columns[i].type, types[i]) << i;
    EXPECT_EQ(d.columns[1].name, "TITLE");
    EXPECT_EQ(d.columns[1].table, "BOOKS");
    EXPECT_FALSE(d.columns[1].nullable);  // TITLE is NOT NULL
    EXPECT_TRUE(d.columns[3].nullable);
    ASSERT_EQ(d.rows.size(), 5u);
    EXPECT_EQ(d.rowNumbers, (std::vector<long>{1, 2, 3, 4, 5}));

    // Binary inline, base64-decoded by the reader.
    EXPECT_EQ(d.rows[2][7].data, std::string("\x00\xFF\x00\xFF\x7F\x80", 6));
    // NULL versus empty: an empty text and an empty blob are values.
    EXPECT_TRUE(d.rows[2][6].isNull);
    EXPECT_FALSE(d.rows[3][6].isNull);
    EXPECT_TRUE(d.rows[3][6].hasData);
    EXPECT_EQ(d.rows[3][6].data, "");
    EXPECT_TRUE(d.rows[3][7].hasData);
    EXPECT_EQ(d.rows[3][7].data, "");
    // Markup and non-ASCII text arrive unchanged.
    EXPECT_EQ(d.rows[4][1].data, "Quotes & <markup> \"test\"");
    EXPECT_EQ(d.rows[4][6].data, "Ümlauts, ß, €, 日本語 — and 'quotes'.");
    EXPECT_EQ(d.rows[0][3].data, "12.5");
    EXPECT_EQ(d.rows[0][4].data, "1906-11-24");
    EXPECT_EQ(d.rows[0][5].data, "09:30:00");

    // Expressions have no declared type: their first value decides.
    d = run("SELECT 1, 2.5, 'x', x'00', NULL");
    ASSERT_EQ(d.columns.size(), 5u);
    EXPECT_EQ(d.columns[0].type, "INTEGER");
    EXPECT_EQ(d.columns[1].type, "NUMERIC");
    EXPECT_EQ(d.columns[2].type, "VARCHAR");
    EXPECT_EQ(d.columns[3].type, "LONG VARBINARY");
    EXPECT_EQ(d.columns[4].type, "VARCHAR");
}

TEST_F(VorndSql, TextsSurviveTheReadersWhitespaceRule) {
    ASSERT_EQ(c_.execsql("CREATE TABLE IF NOT EXISTS TEXTS (ID INTEGER PRIMARY KEY, T VARCHAR(200))").status, 1);
    run("DELETE FROM TEXTS");
    const std::vector<std::string> samples = {
        "two\nlines", " ", "   ", "tab\there", "a & b", "< >", "&&", "x < y > z", "\r\n",
        std::string("nul\x01" "byte"), "trailing ", " leading", "]]>",
    };
    for (std::size_t i = 0; i < samples.size(); ++i) {
        std::string quoted;
        for (char ch : samples[i]) quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
        run("INSERT INTO TEXTS VALUES (" + std::to_string(i) + ", '" + quoted + "')");
    }
    // Invalid UTF-8 stored by another program.
    run("INSERT INTO TEXTS VALUES (99, CAST(x'C328FF' AS TEXT))");
    const Document d = run("SELECT T FROM TEXTS ORDER BY ID");
    ASSERT_EQ(d.rows.size(), samples.size() + 1);
    for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(d.rows[i][0].data, samples[i]) << i;
    EXPECT_EQ(d.rows.back()[0].data, std::string("\xC3\x28\xFF"));
}

TEST_F(VorndSql, PagingContinuesTheCursorAndRerunsWhenItMust) {
    const std::string q = "SELECT ID, HEADLINE FROM ARTICLES ORDER BY ID";
    long expected = 1;
    std::uint32_t block = 1;
    for (;; ++block) {
        ExportAnswer e = c_.execsql(q, 250, block);
        ASSERT_TRUE(e.ok);
        const Document d = parseDocument(e.data);
        ASSERT_TRUE(d.wellFormed);
        for (std::size_t r = 0; r < d.rows.size(); ++r, ++expected) {
            ASSERT_EQ(d.rowNumbers[r], expected);
            ASSERT_EQ(d.rows[r][0].data, std::to_string(expected));
            ASSERT_EQ(d.rows[r][1].data, "Headline number " + std::to_string(expected));
        }
        EXPECT_EQ(e.result2, static_cast<std::uint32_t>(e.status));
        if (e.status == 1) {
            EXPECT_EQ(d.rowCount, 3000);  // known once the end is reached
            break;
        }
        ASSERT_EQ(e.status, 3);
        EXPECT_EQ(d.rowCount, -1);
    }
    EXPECT_EQ(expected, 3001);
    EXPECT_EQ(block, 12u);

    // Two statements of one connection on the same text, interleaved: each
    // block still holds its own rows.
    ASSERT_EQ(c_.execsql(q, 100, 1).status, 3);  // statement A
    ASSERT_EQ(c_.execsql(q, 100, 2).status, 3);  // A, block 2
    ASSERT_EQ(c_.execsql(q, 100, 1).status, 3);  // statement B starts afresh
    Document d = run(q, 100, 3);                   // A, block 3: re-run and skip
    ASSERT_EQ(d.rows.size(), 100u);
    EXPECT_EQ(d.rows[0][0].data, "201");
    d = run(q, 100, 2);  // B, block 2
    EXPECT_EQ(d.rows[0][0].data, "101");
    // A block beyond the end: no rows, status 1.
    ExportAnswer e = c_.execsql(q, 1000, 5);
    EXPECT_EQ(e.status, 1);
    EXPECT_TRUE(parseDocument(e.data).rows.empty());
    // Rows -1: everything in one answer.
    d = run("SELECT ID FROM ARTICLES", 0xFFFFFFFFu, 0);
    EXPECT_EQ(d.rows.size(), 3000u);
    EXPECT_EQ(d.rowCount, 3000);
}

TEST_F(VorndSql, LongValuesByFetchKey) {
    const Document d = run("SELECT ID, ABSTRACT, COVER FROM BOOKS WHERE ID IN (1, 2) ORDER BY ID");
    ASSERT_EQ(d.rows.size(), 2u);
    EXPECT_TRUE(d.rows[0][1].fetchKey.empty());  // short values inline
    const Value& text = d.rows[1][1];
    const Value& blob = d.rows[1][2];
    ASSERT_FALSE(text.fetchKey.empty());
    ASSERT_FALSE(blob.fetchKey.empty());
    EXPECT_FALSE(text.hasData);

    ExportAnswer o = c_.exportCommand("sqlgetobject", "FETCHKEY=" + text.fetchKey + "\n", 1, 0);
    EXPECT_EQ(o.status & 1, 1);
    EXPECT_EQ(o.result2 & 1, 1u);
    EXPECT_EQ(o.text, "TEXT\nUTF-8");
    EXPECT_EQ(o.data.size(), 5040u);
    EXPECT_EQ(o.data.substr(0, 31), "Captain Nemo and the Nautilus. ");
    EXPECT_EQ(o.data.substr(o.data.size() - 9), " The end.");

    o = c_.exportCommand("sqlgetobject", "FETCHKEY=" + blob.fetchKey + "\n", 1, 0);
    EXPECT_EQ(o.status & 1, 1);
    EXPECT_EQ(o.text, "STRING\n");
    EXPECT_EQ(o.data, std::string(6000, '\0'));

    o = c_.exportCommand("sqlgetobject", "FETCHKEY=nosuchkey\n", 1, 0);
    EXPECT_EQ(o.status % 2, 0);
    EXPECT_EQ(o.result2 % 2, 0u);
    EXPECT_NE(o.message.find("nosuchkey"), std::string::npos);
    // Keys belong to their session.
    WireClient other;
    ASSERT_TRUE(other.connect(server_->port()));
    ASSERT_EQ(other.start("x", "y").status, 1);
    EXPECT_EQ(other.exportCommand("sqlgetobject", "FETCHKEY=" + text.fetchKey + "\n", 1, 0).status % 2, 0);
}

TEST_F(VorndSql, ChangesFaultsAndOtherStatements) {
    Document d = run("CREATE TABLE IF NOT EXISTS CHANGES (ID INTEGER PRIMARY KEY, V VARCHAR(10) UNIQUE)");
    EXPECT_EQ(d.root, "Success");
    run("DELETE FROM CHANGES");
    d = run("INSERT INTO CHANGES (V) VALUES ('a'), ('b'), ('c')");
    EXPECT_EQ(d.statementType, "INSERT");
    ASSERT_EQ(d.rows.size(), 1u);
    EXPECT_EQ(d.rows[0][0].data, "3");
    d = run("UPDATE CHANGES SET V = V || '!' WHERE V <> 'a'");
    EXPECT_EQ(d.statementType, "UPDATE");
    EXPECT_EQ(d.rows[0][0].data, "2");
    d = run("WITH x AS (SELECT 'a' AS v) DELETE FROM CHANGES WHERE V IN (SELECT v FROM x)");
    EXPECT_EQ(d.statementType, "DELETE");
    EXPECT_EQ(d.rows[0][0].data, "1");

    // SQL errors: a fault with an even code and SQLite's message.
    ExportAnswer e = c_.execsql("INSERT INTO CHANGES (V) VALUES ('b!')");
    EXPECT_EQ(e.status % 2, 0);
    d = parseDocument(e.data);
    EXPECT_EQ(d.root, "Fault");
    EXPECT_EQ(d.faultCode % 2, 0);
    EXPECT_EQ(d.faultCode, e.status);
    EXPECT_NE(d.message.find("UNIQUE constraint failed"), std::string::npos);
    e = c_.execsql("SELECT * FROM NO_SUCH_TABLE", 10, 1);
    EXPECT_NE(parseDocument(e.data).message.find("no such table"), std::string::npos);
    // One statement per request; empty texts; attaching other files.
    EXPECT_EQ(c_.execsql("SELECT 1; SELECT 2").status % 2, 0);
    EXPECT_EQ(c_.execsql("  -- nothing\n").status % 2, 0);
    EXPECT_EQ(c_.execsql(std::string("SELECT 1\0; DELETE FROM CHANGES", 31)).status, 32);
    EXPECT_EQ(c_.execsql("ATTACH DATABASE '/tmp/other.db' AS o").status % 2, 0);
    EXPECT_EQ(c_.execsql("VACUUM INTO '/tmp/copy.db'").status % 2, 0);
    EXPECT_EQ(c_.execsql("PRAGMA journal_mode = DELETE").status % 2, 0);
    EXPECT_EQ(run("PRAGMA journal_mode").rows.at(0).at(0).data, "wal");  // reading is fine
    // Transactions work across requests of a session.
    run("BEGIN");
    run("INSERT INTO CHANGES (V) VALUES ('t')");
    run("ROLLBACK");
    d = run("SELECT COUNT(*) FROM CHANGES WHERE V = 't'");
    EXPECT_EQ(d.rows[0][0].data, "0");
}

TEST_F(VorndSql, ObjectClauseWritesTextAndBytes) {
    run("CREATE TABLE IF NOT EXISTS DOCS (ID INTEGER PRIMARY KEY, BODY LONG VARCHAR, RAW LONG VARBINARY)");
    run("INSERT OR REPLACE INTO DOCS (ID) VALUES (1)");
    Document d = run("UPDATE DOCS SET OBJECT (BODY = 'data=it''s (a) text, with = signs') WHERE ID = 1");
    EXPECT_EQ(d.statementType, "UPDATE");
    EXPECT_EQ(d.rows[0][0].data, "1");
    d = run("update DOCS set object (RAW = 'data[base64]=AP8QIA==', BODY = NULL) where ID = 1");
    EXPECT_EQ(d.rows[0][0].data, "1");
    d = run("SELECT BODY, RAW, typeof(RAW) FROM DOCS WHERE ID = 1");
    EXPECT_TRUE(d.rows[0][0].isNull);
    EXPECT_EQ(d.rows[0][1].data, std::string("\x00\xFF\x10\x20", 4));
    EXPECT_EQ(d.rows[0][2].data, "blob");
    run("UPDATE DOCS SET OBJECT (BODY = 'data=it''s') WHERE ID = 1");
    EXPECT_EQ(run("SELECT BODY FROM DOCS").rows[0][0].data, "it's");

    // A long value written this way comes back by fetch key, whole.
    const std::string big(10000, 'z');
    run("UPDATE DOCS SET OBJECT (BODY = 'data=" + big + "') WHERE ID = 1");
    d = run("SELECT BODY FROM DOCS WHERE ID = 1");
    ASSERT_FALSE(d.rows[0][0].fetchKey.empty());
    EXPECT_EQ(c_.exportCommand("sqlgetobject", "FETCHKEY=" + d.rows[0][0].fetchKey + "\n", 1, 0).data, big);

    // Broken clauses are faults, not guesses.
    EXPECT_EQ(c_.execsql("UPDATE DOCS SET OBJECT (RAW = 'data[base64]=not base64!') WHERE ID = 1").status % 2, 0);
    EXPECT_EQ(c_.execsql("UPDATE DOCS SET OBJECT (RAW = 'data=x' WHERE ID = 1").status % 2, 0);
    EXPECT_EQ(c_.execsql("UPDATE DOCS SET OBJECT (= 'data=x') WHERE ID = 1").status % 2, 0);
}

// The special-columns text as the driver builds it, with or without a table.
std::string specialColumns(const std::string& tableCondition) {
    return "SELECT '' as 'SCOPE', COLNAME AS 'COLUMN_NAME', SQLTYPE AS 'DATA_TYPE', 0 AS 'COLUMN_SIZE', "
           "0 AS 'BUFFER_LENGTH', NULL AS 'DECIMAL_DIGITS', 0 AS 'PSEUDO_COLUMN' FROM VDBS.COLUMNS WHERE " +
           tableCondition + " PRIMARYKEY=1 UNION SELECT '', 'R', 'INTEGER', 0, 0, NULL, 1";
}

TEST_F(VorndSql, CatalogTextsRunUnchangedAndStayCurrent) {
    // The table list and the schema list.
    Document d = run("SELECT '' AS TABLE_CAT, OWNER AS TABLE_SCHEM, NAME AS TABLE_NAME, 'TABLE' AS TABLE_TYPE, "
                     "'' AS REMARKS FROM VDBS.TABLES WHERE NAME = 'books'");
    ASSERT_EQ(d.rows.size(), 1u);  // names compare as SQLite compares them
    EXPECT_EQ(d.rows[0][2].data, "BOOKS");
    EXPECT_EQ(d.rows[0][1].data, "main");
    d = run("SELECT NULL AS TABLE_CAT, OWNER AS TABLE_SCHEM, NULL AS TABLE_NAME, NULL AS TABLE_TYPE, "
            "NULL AS REMARKS FROM VDBS.TABLES");
    EXPECT_GE(d.rows.size(), 5u);

    // The column list.
    d = run("select '' AS TABLE_CAT, '' AS TABLE_SCHEM, TABLENAME AS TABLE_NAME, COLNAME AS COLUMN_NAME, "
            "0 AS DATA_TYPE, SQLTYPE AS TYPE_NAME, 0 AS COLUMN_SIZE, 0 AS BUFFER_LENGTH, NULL AS DECIMAL_DIGITS, "
            "NULL AS NUM_PREC_RADIX, NULLABLE, NULL AS REMARKS, NULL AS COLUMN_DEF, 0 AS SQL_DATA_TYPE, "
            "NULL AS SQL_DATE_TIME_SUB, NULL AS CHAR_OCTET_LENGTH, 0 AS ORDINAL_POSITION, '' AS IS_NULLABLE "
            "FROM VDBS.COLUMNS WHERE TABLENAME = 'BOOKS'");
    ASSERT_EQ(d.rows.size(), 8u);
    ASSERT_EQ(d.columns.size(), 18u);
    EXPECT_EQ(d.rows[1][3].data, "TITLE");
    EXPECT_EQ(d.rows[1][5].data, "VARCHAR");
    EXPECT_EQ(d.rows[1][10].data, "0");  // NOT NULL
    EXPECT_EQ(d.rows[6][5].data, "LONG VARCHAR");
    EXPECT_EQ(d.rows[7][5].data, "LONG VARBINARY");
    EXPECT_EQ(d.rows[7][10].data, "1");

    // Primary keys and the special columns with their UNION.
    d = run("SELECT '' as 'TABLE_CAT', '' AS 'TABLE_SCHEM', TABLENAME AS 'TABLE_NAME', COLNAME AS 'COLUMN_NAME', "
            "1 AS KEY_SEQ, NULL AS 'PK_NAME' FROM VDBS.COLUMNS WHERE TABLENAME='BOOKS'");
    EXPECT_EQ(d.rows.size(), 8u);
    d = run(specialColumns(" TABLENAME='BOOKS' AND "));
    ASSERT_EQ(d.rows.size(), 2u);
    EXPECT_EQ(d.columns.size(), 7u);
    EXPECT_EQ(d.rows[0][1].data, "ID");
    EXPECT_EQ(d.rows[0][2].data, "INTEGER");
    EXPECT_EQ(d.rows[1][1].data, "R");
    d = run(specialColumns(""));
    // Every sample table's key is an INTEGER named ID: UNION folds them.
    EXPECT_EQ(d.rows.size(), 2u);

    // A table made by another session shows up at once, and goes again.
    WireClient other;
    ASSERT_TRUE(other.connect(server_->port()));
    ASSERT_EQ(other.start("o", "o").status, 1);
    ASSERT_EQ(other.execsql("CREATE TABLE FRESH (A INTEGER, B DATE NOT NULL)").status, 1);
    d = run("SELECT COLNAME, SQLTYPE, NULLABLE FROM VDBS.COLUMNS WHERE TABLENAME = 'FRESH'");
    ASSERT_EQ(d.rows.size(), 2u);
    EXPECT_EQ(d.rows[1][1].data, "DATE");
    EXPECT_EQ(d.rows[1][2].data, "0");
    ASSERT_EQ(other.execsql("DROP TABLE FRESH").status, 1);
    EXPECT_TRUE(run("SELECT NAME FROM VDBS.TABLES WHERE NAME = 'FRESH'").rows.empty());

    // The two commands the driver never sends.
    ExportAnswer e = c_.exportCommand("sqlgetencoding", "", 0, 0);
    EXPECT_EQ(e.status, 1);
    d = parseDocument(e.data);
    EXPECT_EQ(d.root, "property");
    EXPECT_EQ(d.message, "UTF-8");
    e = c_.exportCommand("sqlgettabledesc", "TABLENAME=BOOKS\n", 0, 0, 0);
    EXPECT_EQ(e.status, 1);
    d = parseDocument(e.data);
    ASSERT_EQ(d.rows.size(), 8u);
    EXPECT_EQ(d.rows[0][0].data, "ID");
    EXPECT_EQ(c_.exportCommand("sqlgettabledesc", "TABLENAME=NOPE\n", 0, 0, 0).status % 2, 0);
}

}  // namespace
