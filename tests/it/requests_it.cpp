// The driver's server requests against a real vornd: the kit session opened
// with the start-up block the connect functions build, each command sent with
// its builder, and the answers read by the result-set parser.
#include "driver/handles.h"
#include "driver/requests.h"
#include "driver/resultset.h"
#include "driver/resultxml.h"
#include "WireClient.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

class Requests : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        db_ = new std::string(vorndtest::makeSampleDatabase("requests"));
        ASSERT_FALSE(db_->empty());
        server_ = new vorndtest::VorndProcess;
        std::string error;
        ASSERT_TRUE(server_->start(*db_, {}, error)) << error;
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
        for (const char* suffix : {"", "-wal", "-shm"}) std::remove((*db_ + suffix).c_str());
        delete db_;
    }

    void SetUp() override {
        KitStartupParams params;
        std::memset(&params, 0, sizeof params);
        std::strcpy(params.commsModule, "wsa11.dll");
        std::strcpy(params.host, "127.0.0.1");
        std::snprintf(params.service, sizeof params.service, "%u", unsigned(server_->port()));
        params.receiveTimeout = params.sendTimeout = 30;
        ASSERT_EQ(1, VdbStartVorn(&session_, &params, "tester", "pw", 0, 0));
        ASSERT_NE(nullptr, session_);
    }
    void TearDown() override {
        if (session_) VdbEndVorn(session_, 0);
    }

    // A reply that frees itself; its document parsed on demand.
    using Reply = std::unique_ptr<XmlReply, void (*)(XmlReply*)>;
    static Reply own(XmlReply* r) { return Reply(r, freeXmlReply); }
    struct Parsed {
        ParseStatus status;
        ResultSet* rs = nullptr;
        ~Parsed() { freeResultSet(rs); }
    };
    static void parse(const XmlReply& reply, Parsed& out) {
        out.status = parseXml(reply.document, reply.documentLength, &out.rs);
    }
    static std::string cell(const ResultSet* rs, int row, int column) {
        const ColumnValue* v = rowValue(resultRow(rs, row), column);
        if (!v || v->isNull || !v->data) return "<null>";
        return std::string(v->data, v->length);
    }

    static std::string* db_;
    static vorndtest::VorndProcess* server_;
    HVDB session_ = nullptr;
};
std::string* Requests::db_ = nullptr;
vorndtest::VorndProcess* Requests::server_ = nullptr;

TEST_F(Requests, QueryInBlocksAndWhole) {
    // 25 rows, 10 per block: blocks 1 and 2 say more rows remain, block 3
    // holds the last five.
    const char* sql = "SELECT ID, HEADLINE FROM ARTICLES WHERE ID <= 25 ORDER BY ID";
    int next = 1;
    for (int block = 1; block <= 3; ++block) {
        Reply reply = own(execsqlRequest(session_, sql, 10, block));
        ASSERT_TRUE(reply);
        EXPECT_EQ(block < 3 ? kReplyMoreRows : 1u, reply->status) << reply->message;
        ASSERT_NE(nullptr, reply->document);
        EXPECT_EQ(nullptr, reply->object);
        Parsed p;
        parse(*reply, p);
        ASSERT_TRUE(p.status.succeeded()) << (p.status.message ? p.status.message : "");
        ASSERT_EQ(2, p.rs->columnCount);
        ASSERT_EQ(block < 3 ? 10 : 5, resultRowCount(p.rs));
        for (int i = 0; i < resultRowCount(p.rs); ++i, ++next) EXPECT_EQ(std::to_string(next), cell(p.rs, i, 0));
    }
    EXPECT_EQ(26, next);

    // Without block mode: every row at once, and a final status.
    Reply all = own(execsqlRequest(session_, sql, 0xFFFFFFFFu, 0));
    ASSERT_TRUE(all);
    EXPECT_EQ(1u, all->status);
    Parsed p;
    parse(*all, p);
    ASSERT_TRUE(p.status.succeeded());
    EXPECT_EQ(25, resultRowCount(p.rs));
    EXPECT_EQ("Headline number 25", cell(p.rs, 24, 1));
}

TEST_F(Requests, UpdateAndBadStatement) {
    Reply update = own(execsqlRequest(session_, "UPDATE COUNTERS SET N = N + 1 WHERE ID <= 3", 10, 1));
    ASSERT_TRUE(update);
    EXPECT_EQ(1u, update->status & 1u) << update->message;
    Parsed u;
    parse(*update, u);
    EXPECT_TRUE(u.status.succeeded()) << (u.status.message ? u.status.message : "");

    Reply bad = own(execsqlRequest(session_, "SELEKT nothing FROM nowhere", 10, 1));
    ASSERT_TRUE(bad);
    EXPECT_EQ(0u, bad->status & 1u);
    EXPECT_STRNE("", bad->message);
    if (bad->document) {
        Parsed b;
        parse(*bad, b);
        EXPECT_FALSE(b.status.succeeded());
    }

    // The session survives a failed statement.
    Reply again = own(execsqlRequest(session_, "SELECT COUNT(*) FROM BOOKS", 10, 1));
    ASSERT_TRUE(again);
    Parsed c;
    parse(*again, c);
    ASSERT_TRUE(c.status.succeeded());
    EXPECT_EQ("5", cell(c.rs, 0, 0));
}

TEST_F(Requests, LongValuesFetchedByKey) {
    Reply reply = own(execsqlRequest(session_, "SELECT ABSTRACT, COVER FROM BOOKS WHERE ID = 2", 10, 1));
    ASSERT_TRUE(reply);
    Parsed p;
    parse(*reply, p);
    ASSERT_TRUE(p.status.succeeded());
    ColumnValue* text = rowValue(resultRow(p.rs, 0), 0);
    ColumnValue* binary = rowValue(resultRow(p.rs, 0), 1);
    ASSERT_TRUE(text && binary);
    ASSERT_NE(nullptr, text->fetchKey);
    ASSERT_NE(nullptr, binary->fetchKey);

    // The object fetch works on a statement of a connection with this session.
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT hstmt;
    SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &hstmt);
    auto* stmt = static_cast<Statement*>(hstmt);
    stmt->conn->session = session_;

    ASSERT_EQ(SQL_SUCCESS, fetchObjectValue(stmt, text));
    std::string abstract(text->data, text->length);
    EXPECT_EQ(31u + 5000u + 9u, abstract.size());
    EXPECT_EQ(0u, abstract.find("Captain Nemo and the Nautilus. NNN"));
    EXPECT_EQ(abstract.size() - 9, abstract.find(" The end."));
    EXPECT_EQ('\0', text->data[text->length]);

    ASSERT_EQ(SQL_SUCCESS, fetchObjectValue(stmt, binary));
    ASSERT_EQ(6000u, binary->length);
    EXPECT_EQ(std::string(6000, '\0'), std::string(binary->data, binary->length));

    // The reply itself: typed by the answer's type line.
    Reply object = own(sqlgetobjectRequest(session_, text->fetchKey));
    ASSERT_TRUE(object && object->object);
    EXPECT_STREQ("LONG VARCHAR", object->object->typeName);
    EXPECT_STREQ("UTF-8", object->object->encoding);
    EXPECT_EQ(nullptr, object->document);
    Reply blob = own(sqlgetobjectRequest(session_, binary->fetchKey));
    ASSERT_TRUE(blob && blob->object);
    EXPECT_STREQ("LONG VARBINARY", blob->object->typeName);
    EXPECT_STREQ("", blob->object->encoding);

    // An unknown key: HY000 with the server's message; the value is untouched.
    ColumnValue unknown{};
    char key[] = "no-such-key";
    unknown.fetchKey = key;
    EXPECT_EQ(SQL_ERROR, fetchObjectValue(stmt, &unknown));
    SQLCHAR state[6], message[600];
    SQLINTEGER native;
    SQLSMALLINT len;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, state, &native, message, sizeof message, &len));
    EXPECT_STREQ("HY000", reinterpret_cast<char*>(state));
    EXPECT_NE(nullptr, std::strstr(reinterpret_cast<char*>(message), "no-such-key")) << message;
    EXPECT_EQ(nullptr, unknown.data);

    // A key far longer than the request's text is cut, not overrun.
    std::string huge(5000, 'k');
    Reply cut = own(sqlgetobjectRequest(session_, huge.c_str()));
    ASSERT_TRUE(cut);
    EXPECT_EQ(0u, cut->status & 1u);

    stmt->conn->session = nullptr;
    SQLFreeHandle(SQL_HANDLE_STMT, hstmt);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

TEST_F(Requests, EncodingTableDescAndNoSession) {
    Reply encoding = own(sqlgetencodingRequest(session_));
    ASSERT_TRUE(encoding);
    EXPECT_EQ(1u, encoding->status & 1u);
    ASSERT_NE(nullptr, encoding->document);
    EXPECT_NE(nullptr, std::strstr(encoding->document, "UTF-8"));

    Reply desc = own(sqlgettabledescRequest(session_, "BOOKS"));
    ASSERT_TRUE(desc);
    Parsed p;
    parse(*desc, p);
    ASSERT_TRUE(p.status.succeeded());
    EXPECT_EQ(8, resultRowCount(p.rs));
    EXPECT_EQ("ID", cell(p.rs, 0, 0));

    // No session: the kit call gives 0 and the reply carries nothing.
    Reply none = own(execsqlRequest(nullptr, "SELECT 1", 10, 1));
    ASSERT_TRUE(none);
    EXPECT_EQ(0u, none->status);
    EXPECT_EQ(nullptr, none->document);
    EXPECT_EQ(0u, none->documentLength);
}

}  // namespace
