// The kit's C API and the driver's server requests against a real vornd: the
// kit session opened with the start-up block the connect functions build,
// each command sent with its builder, and the answers read by the result-set
// parser.
#include "driver/entry/handles.h"
#include "driver/stmt/requests.h"
#include "driver/stmt/resultset.h"
#include "driver/stmt/resultxml.h"
#include "VorndSuite.h"

#include <cstring>
#include <memory>

using vorndtest::VorndSuite;

namespace {

// A reply that frees itself.
using Reply = std::unique_ptr<XmlReply, void (*)(XmlReply*)>;
Reply own(XmlReply* r) { return Reply(r, freeXmlReply); }

// A reply's document read by the driver's parser.
struct Parsed {
    ResultSet* rs = nullptr;  // before `status`, which fills it
    ParseStatus status;
    explicit Parsed(const XmlReply& r) : status(parseXml(r.document, r.documentLength, &rs)) {}
    ~Parsed() { freeResultSet(rs); }
    bool ok() const { return status.succeeded() && rs; }
    int rows() const { return resultRowCount(rs); }
    std::string cell(int row, int column) const {
        const ColumnValue* v = rowValue(resultRow(rs, row), column);
        return !v || v->isNull || !v->data ? "<null>" : std::string(v->data, v->length);
    }
};

class Requests : public VorndSuite {
protected:
    static void SetUpTestSuite() { startServer("requests", "tester:pw\n"); }

    void SetUp() override {
        errors_ = VdbErrStackCreate(nullptr, nullptr, nullptr, nullptr);
        std::memset(&params_, 0, sizeof params_);
        params_.errorStack = errors_;
        std::strcpy(params_.commsModule, "wsa11.dll");
        std::strcpy(params_.host, "127.0.0.1");
        std::snprintf(params_.service, sizeof params_.service, "%u", unsigned(server_->port()));
        params_.receiveTimeout = params_.sendTimeout = 30;
        ASSERT_EQ(1, VdbStartVorn(&session_, &params_, "tester", "pw", 0, 0)) << errorText();
        ASSERT_NE(nullptr, session_);
    }
    void TearDown() override {
        if (session_) {
            EXPECT_EQ(1, VdbEndVorn(session_, 0));
        }
        VdbErrStackDestroy(errors_);
    }
    std::string errorText() {
        char buffer[4096] = {0};
        VdbErrStackGetAll(errors_, buffer, sizeof buffer);
        return buffer;
    }

    HERRSTACK errors_ = nullptr;
    KitStartupParams params_;
    HVDB session_ = nullptr;
};

TEST_F(Requests, SessionRequestsAndRefusedLogin) {
    char s1[64] = {0}, s2[128] = {0}, client[64] = {0};
    EXPECT_EQ(1, VdbXVersion(session_, s1, sizeof s1, s2, sizeof s2, client, sizeof client) & 1);
    EXPECT_EQ("2.", std::string(s1).substr(0, 2));
    EXPECT_NE(nullptr, std::strstr(s2, "SQLite"));
    char text[256] = {0};
    EXPECT_EQ(1, VdbMessage(session_, 22, text, sizeof text) & 1);
    EXPECT_STRNE("", text);
    EXPECT_EQ(1, VdbPing(session_) & 1);

    // A refused login: no session, and the server's message on the stack.
    HVDB refused = nullptr;
    EXPECT_EQ(0, VdbStartVorn(&refused, &params_, "tester", "wrong", 0, 0) & 1);
    EXPECT_EQ(nullptr, refused);
    EXPECT_NE(std::string::npos, errorText().find("Invalid user name or password")) << errorText();
}

TEST_F(Requests, QueryInBlocksAndWhole) {
    // 25 rows, 10 per block: blocks 1 and 2 say more rows remain, block 3
    // holds the last five.
    const char* sql = "SELECT ID, HEADLINE FROM ARTICLES WHERE ID <= 25 ORDER BY ID";
    int next = 1;
    for (int block = 1; block <= 3; ++block) {
        Reply reply = own(execsqlRequest(session_, sql, 10, block));
        ASSERT_TRUE(reply && reply->document);
        EXPECT_EQ(block < 3 ? kReplyMoreRows : 1u, reply->status) << reply->message;
        EXPECT_EQ(nullptr, reply->object);
        Parsed p(*reply);
        ASSERT_TRUE(p.ok()) << (p.status.message ? p.status.message : "");
        ASSERT_EQ(2, p.rs->columnCount);
        ASSERT_EQ(block < 3 ? 10 : 5, p.rows());
        for (int i = 0; i < p.rows(); ++i, ++next) EXPECT_EQ(std::to_string(next), p.cell(i, 0));
    }
    EXPECT_EQ(26, next);

    // Without block mode: every row at once, and a final status.
    Reply all = own(execsqlRequest(session_, sql, 0xFFFFFFFFu, 0));
    ASSERT_TRUE(all);
    EXPECT_EQ(1u, all->status);
    Parsed p(*all);
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(25, p.rows());
    EXPECT_EQ("Headline number 25", p.cell(24, 1));
}

TEST_F(Requests, UpdateAndBadStatement) {
    Reply update = own(execsqlRequest(session_, "UPDATE COUNTERS SET N = N + 1 WHERE ID <= 3", 10, 1));
    ASSERT_TRUE(update);
    EXPECT_EQ(1u, update->status & 1u) << update->message;
    Parsed u(*update);
    ASSERT_TRUE(u.ok());
    EXPECT_EQ("3", u.cell(0, 0));

    // A fault: an even status, SQLite's complaint, a document the parser
    // reports as a failure; the session survives it.
    Reply bad = own(execsqlRequest(session_, "SELECT * FROM NOWHERE", 10, 1));
    ASSERT_TRUE(bad && bad->document);
    EXPECT_EQ(0u, bad->status & 1u);
    EXPECT_NE(nullptr, std::strstr(bad->message, "no such table")) << bad->message;
    EXPECT_FALSE(Parsed(*bad).status.succeeded());

    Reply again = own(execsqlRequest(session_, "SELECT COUNT(*) FROM BOOKS", 10, 1));
    ASSERT_TRUE(again);
    Parsed c(*again);
    ASSERT_TRUE(c.ok());
    EXPECT_EQ("5", c.cell(0, 0));
}

TEST_F(Requests, LongValuesFetchedByKey) {
    Reply reply = own(execsqlRequest(session_, "SELECT ABSTRACT, COVER FROM BOOKS WHERE ID = 2", 10, 1));
    ASSERT_TRUE(reply);
    Parsed p(*reply);
    ASSERT_TRUE(p.ok());
    ColumnValue* text = rowValue(resultRow(p.rs, 0), 0);
    ColumnValue* binary = rowValue(resultRow(p.rs, 0), 1);
    ASSERT_TRUE(text && binary && text->fetchKey && binary->fetchKey);

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
    EXPECT_EQ("Captain Nemo and the Nautilus. " + std::string(5000, 'N') + " The end.",
              std::string(text->data, text->length));
    EXPECT_EQ('\0', text->data[text->length]);
    ASSERT_EQ(SQL_SUCCESS, fetchObjectValue(stmt, binary));
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
    Reply cut = own(sqlgetobjectRequest(session_, std::string(5000, 'k').c_str()));
    ASSERT_TRUE(cut);
    EXPECT_EQ(0u, cut->status & 1u);

    stmt->conn->session = nullptr;
    SQLFreeHandle(SQL_HANDLE_STMT, hstmt);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

TEST_F(Requests, EncodingTableDescAndNoSession) {
    Reply encoding = own(sqlgetencodingRequest(session_));
    ASSERT_TRUE(encoding && encoding->document);
    EXPECT_EQ(1u, encoding->status & 1u);
    EXPECT_NE(nullptr, std::strstr(encoding->document, "UTF-8"));

    Reply desc = own(sqlgettabledescRequest(session_, "BOOKS"));
    ASSERT_TRUE(desc);
    Parsed p(*desc);
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(8, p.rows());
    EXPECT_EQ("ID", p.cell(0, 0));
    Reply nope = own(sqlgettabledescRequest(session_, "NOPE"));
    ASSERT_TRUE(nope);
    EXPECT_EQ(0u, nope->status & 1u);

    // No session: the kit call gives 0 and the reply carries nothing.
    Reply none = own(execsqlRequest(nullptr, "SELECT 1", 10, 1));
    ASSERT_TRUE(none);
    EXPECT_EQ(0u, none->status);
    EXPECT_EQ(nullptr, none->document);
    EXPECT_EQ(0u, none->documentLength);
}

}  // namespace
