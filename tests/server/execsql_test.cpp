// The SQL commands of vornd through the kit's C API, its answers read by the
// driver's own reader: result documents, paging, long values, the statement
// cache and the catalog views, the object clause, faults.
#include "KitLogin.h"
#include "VorndSuite.h"
#include "driver/entry/handles.h"
#include "driver/stmt/requests.h"
#include "driver/stmt/resultset.h"
#include "driver/stmt/resultxml.h"

#include <cstring>

using namespace vorndtest;

namespace {

// One answer as the driver reads it.
struct Result {
    std::uint32_t status = 0;
    std::string message, type;  // the answer's or the fault's message; the statement type
    int columnCount = -1, rowCount = -1;
    std::string columns;        // "NAME TYPE," each, "NAME TYPE!," when not nullable
    std::vector<int> numbers;
    std::vector<std::vector<std::string>> rows;  // NULL as "~", a value left on the server as "@"
    std::vector<std::string> keys;               // the fetch keys of those, in order
    // Rows as "a|b;c|d".
    std::string cells() const {
        std::string all;
        for (const auto& row : rows) {
            for (const std::string& v : row) all += v + "|";
            all.back() = ';';
        }
        if (!all.empty()) all.pop_back();
        return all;
    }
};

HVDB kitLogin(std::uint16_t port) { return vorndtest::kitLogin(port, "tester", "pw", 60); }

// Reads and frees a reply.
Result read(XmlReply* reply) {
    Result r;
    r.status = reply->status;
    r.message = reply->message;
    ResultSet* rs = nullptr;
    if (reply->document) {
        const ParseStatus parsed = parseXml(reply->document, reply->documentLength, &rs);
        if (parsed.message) r.message = parsed.message;
        r.type = rs->statementType;
        r.columnCount = rs->columnCount;
        r.rowCount = rs->rowCount;
        for (int c = 0; c < rs->columns.getCount(); ++c)
            r.columns += std::string(resultColumn(rs, c)->columnName) + " " + resultColumn(rs, c)->columnType +
                         (resultColumn(rs, c)->isNullable ? "," : "!,");
        for (int i = 0; i < resultRowCount(rs); ++i) {
            const Row* row = resultRow(rs, i);
            r.numbers.push_back(row->rowNumber);
            r.rows.emplace_back();
            for (int v = 0; v < row->valueCount; ++v) {
                const ColumnValue* value = rowValue(row, v);
                if (value->fetchKey) r.keys.push_back(value->fetchKey);
                const std::string data = value->data ? std::string(value->data, value->length) : "";
                r.rows.back().push_back(value->isNull ? "~" : value->fetchKey ? "@" : data);
            }
        }
    }
    freeResultSet(rs);
    freeXmlReply(reply);
    return r;
}

Result execsql(HVDB session, const std::string& sql, std::uint32_t rows = 0xFFFFFFFFu, std::int32_t block = 0) {
    return read(execsqlRequest(session, sql.c_str(), rows, block));
}

// A long value by its key: status, type and encoding, bytes.
std::string object(HVDB session, const std::string& key) {
    XmlReply* reply = sqlgetobjectRequest(session, key.c_str());
    std::string text = std::to_string(reply->status & 1) + " ";
    if (const ObjectInfo* o = reply->object)
        text += std::string(o->typeName) + " " + o->encoding + " " + std::string((const char*)o->data, o->length);
    freeXmlReply(reply);
    return text;
}

class VorndSql : public VorndSuite {
protected:
    static void SetUpTestSuite() { startServer("sql", "tester:pw\n"); }
    void SetUp() override { ASSERT_TRUE(s_ = kitLogin(server_->port())); }
    void TearDown() override { VdbEndVorn(s_, 0); }

    // A statement that must succeed.
    Result run(const std::string& sql, std::uint32_t rows = 0xFFFFFFFFu, std::int32_t block = 0) {
        Result r = execsql(s_, sql, rows, block);
        EXPECT_EQ(r.status & 1, 1u) << sql << ": " << r.message;
        return r;
    }
    std::string cells(const std::string& sql) { return run(sql).cells(); }
    // A statement that must fail; the fault's message.
    std::string fault(const std::string& sql) {
        Result r = execsql(s_, sql);
        EXPECT_EQ(r.status & 1, 0u) << sql;
        return r.message;
    }

    HVDB s_ = nullptr;
};

TEST_F(VorndSql, DocumentsCarryTypesAndEveryTextWhole) {
    Result d = run("SELECT * FROM BOOKS ORDER BY ID");
    EXPECT_EQ(d.type + " " + std::to_string(d.columnCount) + " " + std::to_string(d.rowCount), "SELECT 8 5");
    EXPECT_EQ(d.columns, "ID INTEGER,TITLE VARCHAR!,AUTHOR_ID INTEGER,PRICE NUMERIC,PUBLISHED DATE,SHELVED TIME,"
                         "ABSTRACT LONG VARCHAR,COVER LONG VARBINARY,");
    // Expressions have no declared type: their first value decides.
    EXPECT_EQ(run("SELECT 1, 2.5, 'x', x'00', NULL").columns,
              "1 INTEGER,2.5 NUMERIC,'x' VARCHAR,x'00' LONG VARBINARY,NULL VARCHAR,");

    // Texts against the reader's rule that whitespace-only chunks are
    // dropped, and against the escapes; bytes that are not UTF-8 (from
    // another program) come back as they are too.
    run("CREATE TABLE TEXTS (ID INTEGER PRIMARY KEY, T VARCHAR(200))");
    const std::string texts[] = {
        "two\nlines", " ", "   ", "tab\there", "\r\n", "a & b", "< >", "&&", "x < y > z", "]]>", "trailing ",
        " leading", "a\"b'c", "& <", "\x01x\x7F\x1F", "\xEF\xBF\xBE|\xEF\xBF\xBF|\xEF\xBF\xBD", "\xC3(", "\xC0\x80",
        "s\xED\xA0\x80", "abc\xF4\x90\x80\x80", "end\xE2\x82", "\xC3\xA9t\xE2\x82\xAC\xF0\x9F\x98\x80",
    };
    for (std::size_t i = 0; i < sizeof texts / sizeof texts[0]; ++i) {
        std::string hex;
        for (unsigned char c : texts[i]) hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15];
        run("INSERT INTO TEXTS VALUES (" + std::to_string(i) + ", CAST(x'" + hex + "' AS TEXT))");
        EXPECT_EQ(cells("SELECT T FROM TEXTS WHERE ID = " + std::to_string(i)), texts[i]) << i;
    }
    // Names travel in attributes, messages in text, both escaped.
    EXPECT_EQ(run("SELECT 1 AS \"t\tn\nr\r&\"\"<\"").columns, "t\tn\nr\r&\"< INTEGER,");
    EXPECT_NE(fault("SELECT * FROM \"a\x01<&\xC3\xA9\"").find("no such table: a?<&\xC3\xA9"), std::string::npos);
}

// Paging through every row at several block sizes runs through the driver
// in fetch_it; here two statements of one connection on the same text,
// interleaved: each block still holds its own rows.
TEST_F(VorndSql, PagingContinuesTheCursorAndRerunsWhenItMust) {
    const std::string q = "SELECT ID, HEADLINE FROM ARTICLES ORDER BY ID";
    ASSERT_EQ(execsql(s_, q, 100, 1).status, 3u);  // statement A
    ASSERT_EQ(execsql(s_, q, 100, 2).status, 3u);  // A, block 2
    ASSERT_EQ(execsql(s_, q, 100, 1).status, 3u);  // statement B starts afresh
    const Result skipped = run(q, 100, 3);  // A, block 3: re-run and skip, counting what it skips
    EXPECT_EQ(skipped.rows.at(0).at(0) + " " + std::to_string(skipped.numbers.at(0)), "201 201");
    EXPECT_EQ(run(q, 100, 2).rows.at(0).at(0), "101");  // B, block 2
    // A block beyond the end: no rows, status 1.
    const Result beyond = run(q, 1000, 5);
    EXPECT_EQ(std::to_string(beyond.status) + " " + std::to_string(beyond.rows.size()), "1 0");
}

TEST_F(VorndSql, LongValuesByKeyUntilTheirBlockIsPassed) {
    const Result d = run("SELECT ID, ABSTRACT, COVER FROM BOOKS WHERE ID IN (1, 2) ORDER BY ID");
    ASSERT_EQ(d.cells().substr(d.cells().find(';')), ";2|@|@");  // short values inline
    const std::string text = d.keys.at(0), blob = d.keys.at(1);
    EXPECT_EQ(object(s_, text).substr(0, 50), "1 LONG VARCHAR UTF-8 Captain Nemo and the Nautilus");
    EXPECT_EQ(object(s_, blob), "1 LONG VARBINARY  " + std::string(6000, '\0'));
    // Keys belong to their session.
    HVDB other = kitLogin(server_->port());
    EXPECT_EQ(object(other, text).substr(0, 2), "0 ");
    VdbEndVorn(other, 0);

    run("CREATE TABLE LONGS (ID INTEGER, T TEXT)");
    run("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3) "
        "INSERT INTO LONGS SELECT i, replace(hex(zeroblob(2500)), '0', char(96 + i)) FROM n");
    const std::string q = "SELECT ID, T FROM LONGS ORDER BY ID";
    std::vector<std::string> keys;
    for (int block = 1; block <= 3; ++block) {
        const Result r = execsql(s_, q, 1, block);
        ASSERT_EQ(r.status, block < 3 ? 3u : 1u) << r.message;
        keys.push_back(r.keys.at(0));
        // Readable until the client asks for the next block.
        EXPECT_EQ(object(s_, keys.back()), "1 LONG VARCHAR UTF-8 " + std::string(5000, char('a' + block - 1)));
        if (block > 1) {
            EXPECT_EQ(object(s_, keys[block - 2]).substr(0, 2), "0 ") << block;
        }
    }
    // The last block's values stay after the query is done, also for
    // another query of the same text started meanwhile.
    ASSERT_EQ(execsql(s_, q, 1, 1).status, 3u);
    EXPECT_EQ(object(s_, keys[2]).substr(0, 22), "1 LONG VARCHAR UTF-8 c");
}

TEST_F(VorndSql, StatementsRunAgainFollowTheSchemaAndTheirConstants) {
    run("CREATE TABLE AGAIN (A INTEGER)");
    run("INSERT INTO AGAIN VALUES (1)");
    const std::string q = "SELECT * FROM AGAIN";
    EXPECT_EQ(cells(q) + cells(q), "11");
    // Changed, dropped, made again: each run sees the schema of its time.
    run("ALTER TABLE AGAIN ADD COLUMN B VARCHAR(5) DEFAULT 'b'");
    EXPECT_EQ(cells(q), "1|b");
    run("DROP TABLE AGAIN");
    EXPECT_NE(fault(q).find("no such table"), std::string::npos);
    run("CREATE TABLE AGAIN (X DATE, Y INTEGER, Z INTEGER)");
    run("INSERT INTO AGAIN VALUES ('2001-02-03', 2, 3)");
    EXPECT_EQ(run(q).columns, "X DATE,Y INTEGER,Z INTEGER,");
    // The catalog views follow another session's changes at once (the
    // driver's catalog texts run through the driver in catinfo_pyodbc).
    const std::string columns = "SELECT COLNAME, SQLTYPE, NULLABLE FROM VDBS.COLUMNS WHERE TABLENAME = 'FRESH'";
    HVDB other = kitLogin(server_->port());
    ASSERT_EQ(execsql(other, "CREATE TABLE FRESH (A INTEGER, B DATE NOT NULL)").status, 1u);
    EXPECT_EQ(cells(columns), "A|INTEGER|1;B|DATE|0");
    ASSERT_EQ(execsql(other, "DROP TABLE FRESH").status, 1u);
    VdbEndVorn(other, 0);
    EXPECT_EQ(cells(columns), "");
    // A statement that failed as it ran fails again and leaves nothing
    // behind; the same change twice binds its object value each time.
    const std::string overflow = "SELECT abs(-9223372036854775807 - 1)";
    EXPECT_EQ(fault(overflow), fault(overflow));
    const std::string change = "UPDATE AGAIN SET OBJECT (X = 'data=again') WHERE Y = 2";
    for (int i = 0; i < 2; ++i) EXPECT_EQ(cells(change), "1");
    EXPECT_EQ(cells("SELECT X FROM AGAIN"), "again");
    // More texts than are kept, then the first again.
    for (int i = 0; i < 40; ++i) EXPECT_EQ(cells("SELECT " + std::to_string(i)), std::to_string(i));
    EXPECT_EQ(cells("SELECT 0"), "0");

    // Other constants reuse the compiled statement; constants whose place
    // gives them another meaning stay as written.
    const std::pair<const char*, const char*> constants[] = {
        {"SELECT TITLE FROM BOOKS WHERE ID = 2", "Vingt mille lieues sous les mers"},
        {"SELECT TITLE FROM BOOKS WHERE ID = 4", "Untitled"},
        {"SELECT ID, TITLE FROM BOOKS WHERE ID > 0 ORDER BY 2 DESC, 1 LIMIT 1", "2|Vingt mille lieues sous les mers"},
        {"SELECT COUNT(*) FROM BOOKS WHERE TITLE = 'x' COLLATE 'NOCASE' OR 1.5 > 1", "5"},
        {"SELECT COUNT(*) FROM BOOKS WHERE X'41' = CAST('A' AS BLOB) AND 'it''s' = 'it' || '''s'", "5"},
        {"SELECT 'VDBS.TABLES', 5 FROM BOOKS WHERE ID = 1", "VDBS.TABLES|5"},
        {"SELECT COUNT(*) FROM BOOKS WHERE ID > 2 AND :x IS NULL AND ?1 IS NULL", "3"},
        {"SELECT '\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80', 'SET OBJECT (a = 1)' -- SET OBJECT (b = 2)\n",
         "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80|SET OBJECT (a = 1)"},
    };
    for (const auto& [query, expected] : constants) EXPECT_EQ(cells(query), expected) << query;
    EXPECT_EQ(run("SELECT 5 FROM BOOKS WHERE ID = 1").columns, "5 INTEGER,");
}

// The driver's requests no ODBC call makes here: the encoding, a table's
// description, a status's text; object fetches by a key the server does not
// know or that is too long; a request without a session.
TEST_F(VorndSql, EncodingTableDescUnknownKeysAndNoSession) {
    XmlReply* encoding = sqlgetencodingRequest(s_);
    EXPECT_EQ(1u, encoding->status & 1u);
    EXPECT_NE(nullptr, std::strstr(encoding->document ? encoding->document : "", "UTF-8"));
    freeXmlReply(encoding);
    EXPECT_EQ(read(sqlgettabledescRequest(s_, "BOOKS")).rows.size(), 8u);  // one row a column
    EXPECT_EQ(read(sqlgettabledescRequest(s_, "NOPE")).status & 1u, 0u);

    // An unknown key: HY000 with the server's message; the value is untouched.
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT hstmt;
    SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &hstmt);
    auto* stmt = static_cast<Statement*>(hstmt);
    stmt->conn->session = s_;
    ColumnValue unknown{};
    char key[] = "no-such-key";
    unknown.fetchKey = key;
    EXPECT_EQ(SQL_ERROR, fetchObjectValue(stmt, &unknown));
    SQLCHAR state[6], message[600];
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, state, nullptr, message, sizeof message, nullptr));
    EXPECT_STREQ("HY000", reinterpret_cast<char*>(state));
    EXPECT_NE(nullptr, std::strstr(reinterpret_cast<char*>(message), "no-such-key")) << message;
    EXPECT_EQ(nullptr, unknown.data);
    stmt->conn->session = nullptr;
    SQLFreeHandle(SQL_HANDLE_STMT, hstmt);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    // A key far longer than the request's text is cut, not overrun.
    EXPECT_EQ(object(s_, std::string(5000, 'k')).substr(0, 2), "0 ");
    char text[256] = {0};
    EXPECT_EQ(1, VdbMessage(s_, 22, text, sizeof text) & 1);
    EXPECT_STRNE("", text);

    const Result none = execsql(nullptr, "SELECT 1", 10, 1);
    EXPECT_EQ(std::to_string(none.status) + " " + std::to_string(none.columnCount), "0 -1");
}

TEST_F(VorndSql, ChangesObjectClauseFaultsAndRefusals) {
    run("CREATE TABLE CHANGES (ID INTEGER PRIMARY KEY, V VARCHAR(10) UNIQUE, BODY LONG VARCHAR, RAW LONG VARBINARY, "
        "OBJECTS INTEGER)");
    const struct { const char* sql; const char* answer; } changes[] = {
        {"INSERT INTO CHANGES (V) VALUES ('a'), ('b'), ('c')", "INSERT 3"},
        {"update CHANGES set V = V || '!' where V <> 'a'", "UPDATE 2"},
        {"WITH x AS (SELECT 'a' AS v) DELETE FROM CHANGES WHERE V IN (SELECT v FROM x)", "DELETE 1"},
        {"REPLACE INTO CHANGES (ID, V) VALUES (1, 'r')", "INSERT 1"},
        // The object clause: quotes, commas and '=' in the text, base64
        // bytes, plain literals and NULL beside, only outside literals.
        {"UPDATE CHANGES SET OBJECT (BODY = 'data=it''s (a), = b', RAW = 'data[base64]=AP8QIA==', V = NULL) "
         "WHERE ID = 1 OR V = 'SET OBJECT ('", "UPDATE 1"},
        {"/* x */ update CHANGES set /* c */ object(\"RAW\"='QQ==') where ID = 2", "UPDATE 1"},
        {"UPDATE CHANGES SET OBJECTS = 1 WHERE ID = 2", "UPDATE 1"},
    };
    for (const auto& c : changes) {
        const Result d = run(c.sql);
        EXPECT_EQ(d.type + " " + d.cells(), c.answer) << c.sql;
    }
    EXPECT_EQ(cells("SELECT BODY, RAW, V, typeof(RAW) FROM CHANGES WHERE ID = 1"),
              std::string("it's (a), = b|\x00\xFF\x10\x20|~|blob", 25));
    EXPECT_EQ(cells("SELECT RAW FROM CHANGES WHERE ID = 2"), "QQ==");
    const std::pair<const char*, std::string> base64[] = {
        {"QQ", "A"}, {"QQ==", "A"}, {"AP8Q", std::string("\x00\xFF\x10", 3)}, {"+/9z", "\xFB\xFFs"}};
    for (const auto& [text, bytes] : base64) {
        run(std::string("UPDATE CHANGES SET OBJECT (RAW = 'data[base64]=") + text + "') WHERE ID = 1");
        EXPECT_EQ(cells("SELECT RAW FROM CHANGES WHERE ID = 1"), bytes) << text;
    }
    // A long value written this way comes back by key, whole.
    run("UPDATE CHANGES SET OBJECT (BODY = 'data=" + std::string(10000, 'z') + "') WHERE ID = 1");
    EXPECT_EQ(object(s_, run("SELECT BODY FROM CHANGES WHERE ID = 1").keys.at(0)),
              "1 LONG VARCHAR UTF-8 " + std::string(10000, 'z'));

    // SQL errors: SQLite's message. A broken clause is a fault, not a guess;
    // one statement per request, no empty texts, no other files, no change
    // of the journal mode the sessions share.
    EXPECT_NE(fault("INSERT INTO CHANGES (V) VALUES ('b!')").find("UNIQUE constraint failed"), std::string::npos);
    for (const std::string& refused :
         {std::string("UPDATE CHANGES SET OBJECT (RAW = 'data[base64]=not base64!')"),
          std::string("UPDATE CHANGES SET OBJECT (RAW = 'data[base64]=Q')"),
          std::string("UPDATE CHANGES SET OBJECT (RAW = 'data[base64]=QQ==QQ==')"),
          std::string("UPDATE CHANGES SET OBJECT (RAW = 'data[base64]=QQ=Q')"),
          std::string("UPDATE CHANGES SET OBJECT (RAW = 'x'"), std::string("UPDATE CHANGES SET OBJECT RAW = 'x'"),
          std::string("WITH a AS (DELETE FROM CHANGES) SELECT 1"), std::string("SELECT 1; SELECT 2"),
          std::string("  -- nothing\n"),
          std::string("ATTACH DATABASE '/tmp/other.db' AS o"), std::string("VACUUM INTO '/tmp/copy.db'"),
          std::string("PRAGMA journal_mode = DELETE"), std::string("SELECT '\xC0\xAF'"),
          std::string("SELECT '\xED\xA0\x80'"), std::string("SELECT '\xE2\x82'")})
        fault(refused);
    EXPECT_EQ(cells("PRAGMA journal_mode"), "wal");  // reading is fine
    // Transactions work across requests of a session.
    run("BEGIN");
    run("INSERT INTO CHANGES (V) VALUES ('t')");
    run("ROLLBACK");
    EXPECT_EQ(cells("SELECT COUNT(*) FROM CHANGES WHERE V = 't'"), "0");
}

}  // namespace
