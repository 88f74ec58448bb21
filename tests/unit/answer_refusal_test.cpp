// Answers to "execsql" that do not fit the request, from a scripted server:
// each is refused with a clear SQLSTATE and no rows, within bounded memory.
// The legitimate answers of the table (a fault, a small block) still work.
#include "driver/entry/handles.h"
#include "support/driver_handles.h"
#include "support/fake_server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <fstream>
#include <string>

namespace {

constexpr std::uint16_t kLogin = 110, kExport = 1007;

// A sanitizer's redzones and quarantine are its own memory, not the driver's.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif

std::string header(int columns) {
    std::string d = "<?xml version=\"1.0\"?><ResultSet><ResultSetMetaData columnCount=\"" + std::to_string(columns) +
                    "\" statementType=\"SELECT\">";
    for (int c = 1; c <= columns; ++c)
        d += "<ColumnMetaData ID=\"" + std::to_string(c) + "\" columnName=\"C" + std::to_string(c) +
             "\" columnType=\"VARCHAR\"/>";
    return d + "</ResultSetMetaData><ResultSetData>";
}

std::string rows(int n, const std::string& cells = "<Column ID=\"1\">v</Column>") {
    std::string d;
    for (int i = 1; i <= n; ++i) d += "<Row rowNumber=\"" + std::to_string(i) + "\">" + cells + "</Row>";
    return d;
}

std::string repeat(const std::string& text, std::size_t n) {
    std::string d;
    d.reserve(text.size() * n);
    while (n--) d += text;
    return d;
}

std::string document(int columns, const std::string& body) { return header(columns) + body + "</ResultSetData></ResultSet>"; }

// The result fields of an Export answer around a document.
CPACKET exportResults(const std::string& doc, std::uint32_t status) {
    CPACKET p;
    p.AppendU32(0).AppendU32(0).AppendU32(0);
    p.AppendLongItem(CLSTRING(doc.data(), doc.size())).AppendLongItem(CLSTRING(""));
    p.AppendU32(0).AppendU32(status).AppendShortItem(CSTRING(""));
    return p;
}

// Kilobytes of a figure of /proc/self/status: VmHWM, the peak resident set
// since the last reset, or VmRSS.
long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::stol(line.substr(n + 1));
    return -1;
}

void resetPeak() {
    malloc_trim(0);  // what earlier cases freed does not count
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

struct Case {
    const char* name;
    const char* keys;  // added to the connection string
    std::string doc;
    std::uint32_t status;
    std::string state;  // expected diagnostic, as a prefix; "" for success
    int rowsFetched = 0;
    bool breaks = false;  // the session ends with it: no end request follows
    std::uint16_t number = kExport;
    bool lyingLength = false;
};

}  // namespace

TEST(HostileAnswers, RefusedWithAClearStateAndBoundedMemory) {
    const std::string more = "08S01 Communication link failure: The answer holds more rows than the ";
    const std::string bigValue = rows(1, "<Column ID=\"1\">" + std::string(16u << 20, 'x') + "</Column>");
    const std::string wide =
        "<ResultSet><ResultSetMetaData columnCount=\"40000\">" + repeat("<ColumnMetaData/>", 40000);
    const Case cases[] = {
        {"a block of two rows", "", document(1, rows(2)), 1, "", 2},
        {"a fault under a refusing status", "", "<Fault faultCode=\"1002\">no such table: T</Fault>", 1002,
         "HY000 no such table: T"},
        {"rows under a refusing status", "", document(1, rows(2)), 2,
         "08S01 Communication link failure: the server's answer has status 2 but no fault"},
        {"a status no query has", "", document(1, rows(2)), 5,
         "08S01 Communication link failure: the server answered a query with status 5"},
        {"more rows after all rows were asked", "BlockSize=all", document(1, rows(2)), 3,
         "08S01 Communication link failure: the server answered a query with status 3"},
        {"more rows promised after an empty block", "", document(1, ""), 3,
         "08S01 Communication link failure: the server's block holds no rows but says more follow"},
        {"an answer numbered for another request", "", document(1, rows(2)), 3, "08S01 Communication link failure", 0,
         true, kExport + 1},
        {"a block larger than asked", "", document(1, rows(11)), 3, more + "10 asked for"},
        {"a block larger than a BlockSize of 1", "BlockSize=1", document(1, rows(2)), 3, more + "1 asked for"},
        {"two million empty rows in a block of ten", "", document(8, repeat("<Row/>", 2000000)), 3,
         more + "10 asked for"},
        {"two million empty rows when all were asked", "BlockSize=all", document(8, repeat("<Row/>", 2000000)), 1,
         "08S01 Communication link failure: The answer needs more memory than its size allows"},
        {"more values than columns", "", document(1, rows(1, "<Column ID=\"1\">a</Column><Column ID=\"2\">b</Column>")),
         1, "08S01 Communication link failure: A row of the answer holds more values than the 1 columns it describes"},
        {"more columns than a result can have", "", wide + "</ResultSetMetaData></ResultSet>", 1,
         "08S01 Communication link failure: The answer describes more than the 32767 columns a result can have"},
        {"invalid base64", "", document(1, rows(1, "<Column ID=\"1\" encoding=\"base64\">QUJD*!==</Column>")), 1,
         "08S01 Communication link failure: A value of the answer is not valid base64"},
        {"a document length that lies", "", document(1, rows(1)), 1, "08S01 Communication link failure", 0, true,
         kExport, true},
        {"a single huge value", "", document(1, bigValue), 1, "", 1},
        {"an answer above MaxAnswerSize", "MaxAnswerSize=100000", document(1, bigValue), 1,
         "08S01 Communication link failure", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vorntest::FakeServer srv;
        const std::size_t frame = c.doc.size();
        srv.expect('T', kLogin).reply(kLogin, 1).expect('T', kExport);
        if (c.lyingLength) {
            CPACKET p;
            p.AppendU32(0).AppendU32(0).AppendU32(0).AppendU32(std::uint32_t(frame + 5000));
            srv.reply(kExport, 1, "", p.AppendBytes(c.doc.data(), frame));
        } else {
            srv.reply(c.number, std::int32_t(c.status), "", exportResults(c.doc, c.status));
        }
        if (c.breaks) srv.close();
        else srv.expect('T', 111).reply(111, 1);
        srv.start();

        SQLHENV env;
        SQLHDBC dbc;
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        const std::string in = "Server=127.0.0.1;Service=" + std::to_string(srv.port()) + ";UID=u;PWD=p;" + c.keys;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                                   SQL_DRIVER_NOPROMPT)))
            << vorntest::diagText(SQL_HANDLE_DBC, dbc);
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);

        resetPeak();
        const long before = statusKb("VmRSS:");  // the script's copy of the answer included
        const SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)"SELECT * FROM T", SQL_NTS);
        const std::string diag = vorntest::diagText(SQL_HANDLE_STMT, stmt);
        int fetched = 0;
        if (SQL_SUCCEEDED(rc))
            while (SQL_SUCCEEDED(SQLFetch(stmt)) && fetched < 100) ++fetched;
        const long peak = statusKb("VmHWM:") - before;
        if (!c.state.empty()) {
            EXPECT_EQ(SQL_ERROR, rc);
            EXPECT_EQ(0, diag.rfind(c.state, 0)) << diag;
        } else {
            EXPECT_TRUE(SQL_SUCCEEDED(rc)) << diag;
            EXPECT_EQ(c.rowsFetched, fetched);
        }
        // The frame is read into one block and handed on without another
        // copy; what is stored of it is bounded by its size and 16 MiB.
        const std::size_t bound = 2 * frame + (32u << 20);
        if (kMeasuresMemory) {
            EXPECT_LT(peak, long(bound / 1024)) << "peak " << peak << " kB, frame " << frame;
        }

        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        srv.finish();
    }
}
