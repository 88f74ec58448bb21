// The W entry points that hand text back, through the unixODBC driver
// manager against vornd: every buffer size around a surrogate pair, lengths
// in characters for SQLWCHAR* buffers and in bytes for SQLPOINTER ones, cut
// texts ending before the pair with 01004; texts going in wide.
#include "support/odbc_session.h"

#include <sqlucode.h>

#include <functional>
#include <string>

namespace {

// "C😀日": units C, D83D DE00, 65E5.
const std::u16string kName = u"C\U0001F600\u65E5";

SQLWCHAR* w(const std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.c_str())); }

class Wide : public vorntest::OdbcSession {
protected:
    static void SetUpTestSuite() { startWithDataSource("wide"); }
};

TEST_F(Wide, TextAnswersCutBeforeAPairAndCountCharactersOrBytes) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetCursorNameW(stmt, w(kName), SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirectW(stmt, w(u"SELECT NAME AS \"" + kName + u"\" FROM AUTHORS"), SQL_NTS));

    // The descriptor's name is set wide, its length in bytes.
    SQLHDESC ard = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescFieldW(ard, 1, SQL_DESC_NAME, w(kName), SQLINTEGER(kName.size() * 2)));
    struct Call {
        const char* name;
        bool bytes;              // whether its lengths count bytes
        SQLSMALLINT handleType;  // where 01004 is recorded
        SQLHANDLE handle;
        std::function<SQLRETURN(SQLWCHAR*, SQLSMALLINT)> run;
    };
    // Each call writes into a buffer of `u` code units and its length into
    // s or l, at the width of its own interface.
    SQLSMALLINT type = 0, digits = 0, nullable = 0, s = -1;
    SQLINTEGER l = -1;
    SQLULEN size = 0;
    const Call calls[] = {
        {"SQLGetCursorNameW", false, SQL_HANDLE_STMT, stmt,
         [&](SQLWCHAR* b, SQLSMALLINT u) { return SQLGetCursorNameW(stmt, b, u, &s); }},
        {"SQLDescribeColW", false, SQL_HANDLE_STMT, stmt, [&](SQLWCHAR* b, SQLSMALLINT u) {
             return SQLDescribeColW(stmt, 1, b, u, &s, &type, &size, &digits, &nullable);
         }},
        {"SQLColAttributeW", true, SQL_HANDLE_STMT, stmt,
         [&](SQLWCHAR* b, SQLSMALLINT u) { return SQLColAttributeW(stmt, 1, SQL_DESC_NAME, b, u * 2, &s, nullptr); }},
        {"SQLNativeSqlW", false, SQL_HANDLE_DBC, dbc,
         [&](SQLWCHAR* b, SQLSMALLINT u) { return SQLNativeSqlW(dbc, w(kName), SQL_NTS, b, u, &l); }},
        {"SQLGetDescFieldW", true, SQL_HANDLE_DESC, ard,
         [&](SQLWCHAR* b, SQLSMALLINT u) { return SQLGetDescFieldW(ard, 1, SQL_DESC_NAME, b, u * 2, &l); }},
    };
    // Buffer units -> units written before the zero unit.
    const struct {
        SQLSMALLINT units;
        std::size_t written;
    } sizes[] = {{1, 0}, {2, 1}, {3, 1}, {4, 3}, {5, 4}, {8, 4}};
    for (const Call& call : calls) {
        for (const auto& size : sizes) {
            SQLWCHAR buffer[12];
            for (SQLWCHAR& u : buffer) u = 0xABAB;
            s = -1;
            l = -1;
            const SQLRETURN rc = call.run(buffer, size.units);
            const SQLLEN length = s != -1 ? s : l;
            const bool cut = size.written < kName.size();
            EXPECT_EQ(cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS, rc) << call.name << " " << size.units;
            if (cut) {
                EXPECT_EQ(0u, vorntest::diag(call.handleType, call.handle).find("01004")) << call.name;
            }
            EXPECT_EQ(SQLLEN(kName.size() * (call.bytes ? 2 : 1)), length) << call.name << " " << size.units;
            EXPECT_EQ(kName.substr(0, size.written), std::u16string(reinterpret_cast<char16_t*>(buffer)))
                << call.name << " " << size.units;
            EXPECT_EQ(0xABAB, buffer[size.written + 1]) << call.name << " " << size.units;
        }
    }
    // A text attribute comes back wide, its length in bytes.
    SQLWCHAR catalog[32];
    SQLINTEGER length = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, catalog, sizeof catalog, &length));
    EXPECT_EQ(std::u16string(u"127.0.0.1"), reinterpret_cast<char16_t*>(catalog));
    EXPECT_EQ(18, length);
}

}  // namespace
