// The SQL commands of vornd over the wire: result documents, paging, long
// values, the object clause, faults and the catalog.
#include "VorndSuite.h"

using namespace vorndtest;

namespace {

class VorndSql : public VorndSuite {
protected:
    static void SetUpTestSuite() { startServer("sql"); }
    void SetUp() override { login(c_); }

    // Runs a statement that must succeed; its document.
    Document run(const std::string& sql, std::uint32_t rows = 0xFFFFFFFFu, std::uint32_t block = 0) {
        ExportAnswer e = c_.execsql(sql, rows, block);
        EXPECT_EQ(e.status & 1, 1) << sql << ": " << e.message;
        Document d = parseDocument(e.data);
        EXPECT_TRUE(d.wellFormed) << d.error << "\n" << e.data;
        return d;
    }
    static std::string types(const Document& d) {
        std::string all;
        for (const Column& c : d.columns) all += c.type + ",";
        return all;
    }
    // The first value of a statement's first row.
    std::string value(const std::string& sql) {
        const Document d = run(sql);
        return d.rows.empty() || d.rows[0].empty() ? "<no rows>" : d.rows[0][0].data;
    }

    WireClient c_;
};

TEST_F(VorndSql, QueryDocumentTypesAndValues) {
    Document d = run("SELECT * FROM BOOKS ORDER BY ID");
    EXPECT_EQ(d.root + " " + d.statementType + " " + std::to_string(d.columnCount) + " " + std::to_string(d.rowCount),
              "ResultSet SELECT 8 5");
    EXPECT_EQ(types(d), "INTEGER,VARCHAR,INTEGER,NUMERIC,DATE,TIME,LONG VARCHAR,LONG VARBINARY,");
    // TITLE is NOT NULL.
    EXPECT_TRUE(d.columns[1].table == "BOOKS" && !d.columns[1].nullable && d.columns[3].nullable);
    ASSERT_EQ(d.rows.size(), 5u);
    EXPECT_EQ(d.rowNumbers, (std::vector<long>{1, 2, 3, 4, 5}));

    EXPECT_EQ(d.rows[2][7].data, std::string("\x00\xFF\x00\xFF\x7F\x80", 6));  // base64 inline
    // NULL versus empty: an empty text and an empty blob are values.
    EXPECT_TRUE(d.rows[2][6].isNull && !d.rows[3][6].isNull && d.rows[3][6].hasData && d.rows[3][7].hasData);
    EXPECT_EQ(d.rows[3][6].data + d.rows[3][7].data, "");
    // Markup and non-ASCII text arrive unchanged.
    EXPECT_EQ(d.rows[4][1].data, "Quotes & <markup> \"test\"");
    EXPECT_EQ(d.rows[4][6].data, "Ümlauts, ß, €, 日本語 — and 'quotes'.");
    EXPECT_EQ(d.rows[0][4].data, "1906-11-24");

    // Expressions have no declared type: their first value decides.
    EXPECT_EQ(types(run("SELECT 1, 2.5, 'x', x'00', NULL")), "INTEGER,NUMERIC,VARCHAR,LONG VARBINARY,VARCHAR,");
}

TEST_F(VorndSql, TextsSurviveTheReadersWhitespaceRule) {
    run("CREATE TABLE IF NOT EXISTS TEXTS (ID INTEGER PRIMARY KEY, T VARCHAR(200))");
    run("DELETE FROM TEXTS");
    const std::vector<std::string> samples = {
        "two\nlines", " ", "   ", "tab\there", "a & b", "< >", "&&", "x < y > z", "\r\n",
        std::string("nul\x01" "byte"), "trailing ", " leading", "]]>",
    };
    for (std::size_t i = 0; i < samples.size(); ++i)
        run("INSERT INTO TEXTS VALUES (" + std::to_string(i) + ", '" + samples[i] + "')");
    run("INSERT INTO TEXTS VALUES (99, CAST(x'C328FF' AS TEXT))");  // invalid UTF-8 from another program
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
        const Document d = parseDocument(e.data);
        ASSERT_TRUE(d.wellFormed) << e.message;
        for (std::size_t r = 0; r < d.rows.size(); ++r, ++expected) {
            ASSERT_EQ(d.rowNumbers[r], expected);
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
    EXPECT_EQ(run(q, 100, 3).rows.at(0).at(0).data, "201");  // A, block 3: re-run and skip
    EXPECT_EQ(run(q, 100, 2).rows.at(0).at(0).data, "101");  // B, block 2
    // A block beyond the end: no rows, status 1.
    ExportAnswer e = c_.execsql(q, 1000, 5);
    EXPECT_EQ(e.status, 1);
    EXPECT_TRUE(parseDocument(e.data).rows.empty());
    // Rows -1: everything in one answer.
    EXPECT_EQ(run("SELECT ID FROM ARTICLES").rows.size(), 3000u);
}

TEST_F(VorndSql, LongValuesByFetchKey) {
    const Document d = run("SELECT ID, ABSTRACT, COVER FROM BOOKS WHERE ID IN (1, 2) ORDER BY ID");
    ASSERT_EQ(d.rows.size(), 2u);
    EXPECT_TRUE(d.rows[0][1].fetchKey.empty());  // short values inline
    const Value& text = d.rows[1][1];
    const Value& blob = d.rows[1][2];
    ASSERT_FALSE(text.fetchKey.empty() || blob.fetchKey.empty() || text.hasData);

    // The objects' bytes and type lines: requests_it reads them through the
    // kit; here the answer's second result carries the status too.
    ExportAnswer o = c_.getObject(text.fetchKey);
    EXPECT_EQ(std::to_string(o.status & 1) + std::to_string(o.result2 & 1) + o.text, "11TEXT\nUTF-8");
    EXPECT_EQ(c_.getObject(blob.fetchKey).text, "STRING\n");
    o = c_.getObject("nosuchkey");
    EXPECT_EQ(std::to_string(o.status & 1) + std::to_string(o.result2 & 1), "00");
    EXPECT_NE(o.message.find("nosuchkey"), std::string::npos);
    // Keys belong to their session.
    WireClient other;
    login(other);
    EXPECT_EQ(other.getObject(text.fetchKey).status % 2, 0);
}

TEST_F(VorndSql, LongValuesGoOnceTheirBlockIsPassed) {
    run("CREATE TABLE IF NOT EXISTS LONGS (ID INTEGER, T TEXT)");
    run("DELETE FROM LONGS");
    run("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3) "
        "INSERT INTO LONGS SELECT i, replace(hex(zeroblob(2500)), '0', char(96 + i)) FROM n");
    const std::string q = "SELECT ID, T FROM LONGS ORDER BY ID";
    std::vector<std::string> keys;
    for (std::uint32_t block = 1; block <= 3; ++block) {
        ExportAnswer e = c_.execsql(q, 1, block);
        ASSERT_EQ(e.status, block < 3 ? 3 : 1) << e.message;
        keys.push_back(parseDocument(e.data).rows.at(0).at(1).fetchKey);
        ASSERT_FALSE(keys.back().empty());
        // Readable until the client asks for the next block.
        EXPECT_EQ(c_.getObject(keys.back()).data, std::string(5000, static_cast<char>('a' + block - 1)));
        if (block > 1) {
            EXPECT_EQ(c_.getObject(keys[block - 2]).status % 2, 0) << "block " << block;
        }
    }
    // The last block's values stay after the query is done, also for
    // another query of the same text started meanwhile.
    ASSERT_EQ(c_.execsql(q, 1, 1).status, 3);
    EXPECT_EQ(c_.getObject(keys[2]).data, std::string(5000, 'c'));
}

TEST_F(VorndSql, StatementsRunAgainFollowTheSchema) {
    run("DROP TABLE IF EXISTS AGAIN");
    run("CREATE TABLE AGAIN (A INTEGER)");
    run("INSERT INTO AGAIN VALUES (1)");
    const std::string q = "SELECT * FROM AGAIN";
    for (int i = 0; i < 2; ++i) EXPECT_EQ(run(q).columnCount, 1);
    // Changed, dropped, made again: each run sees the schema of its time.
    run("ALTER TABLE AGAIN ADD COLUMN B VARCHAR(5) DEFAULT 'b'");
    Document d = run(q);
    EXPECT_EQ(d.columnCount, 2);
    EXPECT_EQ(d.rows.at(0).at(1).data, "b");
    run("DROP TABLE AGAIN");
    EXPECT_EQ(c_.execsql(q).status % 2, 0);
    run("CREATE TABLE AGAIN (X DATE, Y INTEGER, Z INTEGER)");
    run("INSERT INTO AGAIN VALUES ('2001-02-03', 2, 3)");
    EXPECT_EQ(types(run(q)), "DATE,INTEGER,INTEGER,");

    // A statement that failed as it ran fails again, and leaves nothing
    // behind for the next one.
    const std::string overflow = "SELECT abs(-9223372036854775807 - 1)";
    for (int i = 0; i < 2; ++i) EXPECT_EQ(c_.execsql(overflow).status % 2, 0);
    EXPECT_EQ(value("SELECT 7"), "7");
    // The same change twice, with its object value bound each time.
    const std::string change = "UPDATE AGAIN SET OBJECT (X = 'data=again') WHERE Y = 2";
    for (int i = 0; i < 2; ++i) EXPECT_EQ(run(change).rows.at(0).at(0).data, "1");
    EXPECT_EQ(value("SELECT X FROM AGAIN"), "again");
    // More texts than are kept, then the first again.
    for (int i = 0; i < 40; ++i) EXPECT_EQ(value("SELECT " + std::to_string(i)), std::to_string(i));
    EXPECT_EQ(value("SELECT 0"), "0");
}

// A query run again with other constants reuses its compiled statement;
// constants whose place gives them another meaning stay as written.
TEST_F(VorndSql, QueriesWithOtherConstantsAnswerAsWritten) {
    const std::pair<std::string, std::string> cases[] = {
        {"SELECT TITLE FROM BOOKS WHERE ID = 2", "SELECT TITLE FROM BOOKS ORDER BY ID LIMIT 1 OFFSET 1"},
        {"SELECT TITLE FROM BOOKS WHERE ID = 4", "SELECT TITLE FROM BOOKS ORDER BY ID LIMIT 1 OFFSET 3"},
        {"SELECT ID, TITLE FROM BOOKS WHERE ID > 0 ORDER BY 2 DESC, 1 LIMIT 1",
         "SELECT ID FROM BOOKS ORDER BY TITLE DESC, ID LIMIT 1"},
        {"SELECT COUNT(*) FROM BOOKS WHERE TITLE = 'x' COLLATE 'NOCASE' OR 1.5 > 1", "SELECT 5"},
        {"SELECT COUNT(*) FROM BOOKS WHERE X'41' = CAST('A' AS BLOB) AND 'it''s' = 'it' || '''s'", "SELECT 5"},
    };
    for (const auto& [query, expected] : cases) EXPECT_EQ(value(query), value(expected)) << query;
    EXPECT_EQ(run("SELECT 5 FROM BOOKS WHERE ID = 1").columns.at(0).name, "5");
}

TEST_F(VorndSql, ChangesFaultsAndOtherStatements) {
    EXPECT_EQ(run("CREATE TABLE IF NOT EXISTS CHANGES (ID INTEGER PRIMARY KEY, V VARCHAR(10) UNIQUE)").root,
              "Success");
    run("DELETE FROM CHANGES");
    const struct { const char* sql; const char* type; const char* count; } changes[] = {
        {"INSERT INTO CHANGES (V) VALUES ('a'), ('b'), ('c')", "INSERT", "3"},
        {"UPDATE CHANGES SET V = V || '!' WHERE V <> 'a'", "UPDATE", "2"},
        {"WITH x AS (SELECT 'a' AS v) DELETE FROM CHANGES WHERE V IN (SELECT v FROM x)", "DELETE", "1"},
    };
    for (const auto& c : changes) {
        const Document d = run(c.sql);
        EXPECT_EQ(d.statementType + " " + d.rows.at(0).at(0).data, std::string(c.type) + " " + c.count);
    }

    // SQL errors: a fault with an even code and SQLite's message.
    ExportAnswer e = c_.execsql("INSERT INTO CHANGES (V) VALUES ('b!')");
    const Document d = parseDocument(e.data);
    EXPECT_EQ(d.root, "Fault");
    EXPECT_EQ(d.faultCode % 2, 0);
    EXPECT_EQ(d.faultCode, e.status);
    EXPECT_NE(d.message.find("UNIQUE constraint failed"), std::string::npos);
    e = c_.execsql("SELECT * FROM NO_SUCH_TABLE", 10, 1);
    EXPECT_NE(parseDocument(e.data).message.find("no such table"), std::string::npos);
    // One statement per request, no empty texts, no other files, no change
    // of the journal mode the sessions share.
    for (const std::string& refused :
         {std::string("SELECT 1; SELECT 2"), std::string("  -- nothing\n"),
          std::string("SELECT 1\0; DELETE FROM CHANGES", 31), std::string("ATTACH DATABASE '/tmp/other.db' AS o"),
          std::string("VACUUM INTO '/tmp/copy.db'"), std::string("PRAGMA journal_mode = DELETE")})
        EXPECT_EQ(c_.execsql(refused).status % 2, 0) << refused;
    EXPECT_EQ(value("PRAGMA journal_mode"), "wal");  // reading is fine
    // Transactions work across requests of a session.
    run("BEGIN");
    run("INSERT INTO CHANGES (V) VALUES ('t')");
    run("ROLLBACK");
    EXPECT_EQ(value("SELECT COUNT(*) FROM CHANGES WHERE V = 't'"), "0");
}

// The clause's own corners are in sqltext_test; here it reaches the table.
TEST_F(VorndSql, ObjectClauseWritesTextAndBytes) {
    run("CREATE TABLE IF NOT EXISTS DOCS (ID INTEGER PRIMARY KEY, BODY LONG VARCHAR, RAW LONG VARBINARY)");
    run("INSERT OR REPLACE INTO DOCS (ID) VALUES (1)");
    const Document d = run("UPDATE DOCS SET OBJECT (BODY = 'data=it''s (a) text, with = signs') WHERE ID = 1");
    EXPECT_EQ(d.statementType + " " + d.rows.at(0).at(0).data, "UPDATE 1");
    EXPECT_EQ(value("SELECT BODY FROM DOCS"), "it's (a) text, with = signs");
    run("update DOCS set object (RAW = 'data[base64]=AP8QIA==') where ID = 1");
    EXPECT_EQ(value("SELECT RAW FROM DOCS WHERE typeof(RAW) = 'blob'"), std::string("\x00\xFF\x10\x20", 4));

    // A long value written this way comes back by fetch key, whole.
    const std::string big(10000, 'z');
    run("UPDATE DOCS SET OBJECT (BODY = 'data=" + big + "') WHERE ID = 1");
    const Value v = run("SELECT BODY FROM DOCS WHERE ID = 1").rows.at(0).at(0);
    ASSERT_FALSE(v.fetchKey.empty());
    EXPECT_EQ(c_.getObject(v.fetchKey).data, big);

    // A broken clause is a fault, not a guess.
    EXPECT_EQ(c_.execsql("UPDATE DOCS SET OBJECT (RAW = 'data[base64]=not base64!') WHERE ID = 1").status % 2, 0);
}

TEST_F(VorndSql, CatalogTextsRunUnchangedAndStayCurrent) {
    // The driver's table list; names compare as SQLite compares them.
    Document d = run("SELECT '' AS TABLE_CAT, OWNER AS TABLE_SCHEM, NAME AS TABLE_NAME, 'TABLE' AS TABLE_TYPE, "
                     "'' AS REMARKS FROM VDBS.TABLES WHERE NAME = 'books'");
    ASSERT_EQ(d.rows.size(), 1u);
    EXPECT_EQ(d.rows[0][1].data + "." + d.rows[0][2].data, "main.BOOKS");

    // The column list.
    d = run("select '' AS TABLE_CAT, '' AS TABLE_SCHEM, TABLENAME AS TABLE_NAME, COLNAME AS COLUMN_NAME, "
            "0 AS DATA_TYPE, SQLTYPE AS TYPE_NAME, 0 AS COLUMN_SIZE, 0 AS BUFFER_LENGTH, NULL AS DECIMAL_DIGITS, "
            "NULL AS NUM_PREC_RADIX, NULLABLE, NULL AS REMARKS, NULL AS COLUMN_DEF, 0 AS SQL_DATA_TYPE, "
            "NULL AS SQL_DATE_TIME_SUB, NULL AS CHAR_OCTET_LENGTH, 0 AS ORDINAL_POSITION, '' AS IS_NULLABLE "
            "FROM VDBS.COLUMNS WHERE TABLENAME = 'BOOKS'");
    ASSERT_EQ(d.rows.size(), 8u);
    EXPECT_EQ(d.rows[1][3].data + " " + d.rows[1][5].data + " " + d.rows[1][10].data, "TITLE VARCHAR 0");
    EXPECT_EQ(d.rows[6][5].data, "LONG VARCHAR");
    EXPECT_EQ(d.rows[7][5].data + " " + d.rows[7][10].data, "LONG VARBINARY 1");

    // The special columns with their UNION, for one table and for all: every
    // sample table's key is an INTEGER named ID, so UNION folds them.
    for (const std::string& table : {std::string(" TABLENAME='BOOKS' AND "), std::string()}) {
        d = run("SELECT '' as 'SCOPE', COLNAME AS 'COLUMN_NAME', SQLTYPE AS 'DATA_TYPE', 0 AS 'COLUMN_SIZE', "
                "0 AS 'BUFFER_LENGTH', NULL AS 'DECIMAL_DIGITS', 0 AS 'PSEUDO_COLUMN' FROM VDBS.COLUMNS WHERE " +
                table + " PRIMARYKEY=1 UNION SELECT '', 'R', 'INTEGER', 0, 0, NULL, 1");
        ASSERT_EQ(d.rows.size(), 2u) << table;
        EXPECT_EQ(d.rows[0][1].data + " " + d.rows[0][2].data + " " + d.rows[1][1].data, "ID INTEGER R");
    }

    // A table made by another session shows up at once, and goes again.
    WireClient other;
    login(other);
    ASSERT_EQ(other.execsql("CREATE TABLE FRESH (A INTEGER, B DATE NOT NULL)").status, 1);
    d = run("SELECT COLNAME, SQLTYPE, NULLABLE FROM VDBS.COLUMNS WHERE TABLENAME = 'FRESH'");
    ASSERT_EQ(d.rows.size(), 2u);
    EXPECT_EQ(d.rows[1][1].data + " " + d.rows[1][2].data, "DATE 0");
    ASSERT_EQ(other.execsql("DROP TABLE FRESH").status, 1);
    EXPECT_TRUE(run("SELECT NAME FROM VDBS.TABLES WHERE NAME = 'FRESH'").rows.empty());

    // sqlgetencoding and sqlgettabledesc go through their builders in requests_it.
}

}  // namespace
