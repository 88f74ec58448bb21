// The driver's server requests against a real vornd, for what the ODBC calls
// do not reach: the encoding, table-description and message requests (nothing
// else reaches vornd's answers to them), object fetches by a key the server does
// not know or that is too long, and requests without a session.
#include "driver/entry/handles.h"
#include "driver/stmt/requests.h"
#include "driver/stmt/resultset.h"
#include "driver/stmt/resultxml.h"
#include "VorndSuite.h"

#include <cstring>
#include <memory>

namespace {

using Reply = std::unique_ptr<XmlReply, void (*)(XmlReply*)>;
Reply own(XmlReply* r) { return Reply(r, freeXmlReply); }

class Requests : public vorndtest::VorndSuite {
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
    }
    std::string errorText() {
        char buffer[4096] = {0};
        VdbErrStackGetAll(errors_, buffer, sizeof buffer);
        return buffer;
    }
    void TearDown() override {
        if (session_) {
            EXPECT_EQ(1, VdbEndVorn(session_, 0));
        }
        VdbErrStackDestroy(errors_);
    }

    HERRSTACK errors_ = nullptr;
    KitStartupParams params_;
    HVDB session_ = nullptr;
};

TEST_F(Requests, EncodingTableDescUnknownKeysAndNoSession) {
    Reply encoding = own(sqlgetencodingRequest(session_));
    ASSERT_TRUE(encoding && encoding->document);
    EXPECT_EQ(1u, encoding->status & 1u);
    EXPECT_NE(nullptr, std::strstr(encoding->document, "UTF-8"));

    // One row for each of the table's eight columns.
    Reply desc = own(sqlgettabledescRequest(session_, "BOOKS"));
    ResultSet* rs = nullptr;
    ASSERT_TRUE(desc && parseXml(desc->document, desc->documentLength, &rs).succeeded());
    EXPECT_EQ(8, resultRowCount(rs));
    freeResultSet(rs);
    EXPECT_EQ(0u, own(sqlgettabledescRequest(session_, "NOPE"))->status & 1u);

    // An unknown key: HY000 with the server's message; the value is untouched.
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT hstmt;
    SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &hstmt);
    auto* stmt = static_cast<Statement*>(hstmt);
    stmt->conn->session = session_;
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
    Reply cut = own(sqlgetobjectRequest(session_, std::string(5000, 'k').c_str()));
    ASSERT_TRUE(cut);
    EXPECT_EQ(0u, cut->status & 1u);
    // The server's text for a status number.
    char text[256] = {0};
    EXPECT_EQ(1, VdbMessage(session_, 22, text, sizeof text) & 1);
    EXPECT_STRNE("", text);

    Reply none = own(execsqlRequest(nullptr, "SELECT 1", 10, 1));
    ASSERT_TRUE(none);
    EXPECT_EQ(0u, none->status);
    EXPECT_EQ(nullptr, none->document);
}

}  // namespace
