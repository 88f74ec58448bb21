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
#include <functional>
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

std::string emptyRows(int n) {
    std::string d;
    d.reserve(6 * std::size_t(n));
    for (int i = 0; i < n; ++i) d += "<Row/>";
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
    std::function<void(vorntest::FakeServer&, std::size_t& frame)> answer;
    const char* state;  // expected diagnostic, as a prefix; "" for success
    int rowsFetched;
    bool breaks = false;  // the session ends with it: no end request follows
};

void answer(vorntest::FakeServer& s, std::size_t& frame, const std::string& doc, std::uint32_t status,
            std::uint16_t number = kExport) {
    frame = doc.size();
    s.reply(number, std::int32_t(status), "", exportResults(doc, status));
}

}  // namespace

TEST(HostileAnswers, RefusedWithAClearStateAndBoundedMemory) {
    const std::string bigValue(16u << 20, 'x');
    const Case cases[] = {
        {"a block of two rows", "", [](auto& s, auto& f) { answer(s, f, document(1, rows(2)), 1); }, "", 2},
        {"a fault under a refusing status", "",
         [](auto& s, auto& f) { answer(s, f, "<Fault faultCode=\"1002\">no such table: T</Fault>", 1002); },
         "HY000 no such table: T", 0},
        {"rows under a refusing status", "", [](auto& s, auto& f) { answer(s, f, document(1, rows(2)), 2); },
         "08S01 Communication link failure: the server's answer has status 2 but no fault", 0},
        {"a status no query has", "", [](auto& s, auto& f) { answer(s, f, document(1, rows(2)), 5); },
         "08S01 Communication link failure: the server answered a query with status 5", 0},
        {"more rows after all rows were asked", "BlockSize=all",
         [](auto& s, auto& f) { answer(s, f, document(1, rows(2)), 3); },
         "08S01 Communication link failure: the server answered a query with status 3", 0},
        {"more rows promised after an empty block", "",
         [](auto& s, auto& f) { answer(s, f, document(1, ""), 3); },
         "08S01 Communication link failure: the server's block holds no rows but says more follow", 0},
        {"an answer numbered for another request", "",
         [](auto& s, auto& f) { answer(s, f, document(1, rows(2)), 3, kExport + 1); },
         "08S01 Communication link failure", 0, true},
        {"a block larger than asked", "", [](auto& s, auto& f) { answer(s, f, document(1, rows(11)), 3); },
         "08S01 Communication link failure: The answer holds more rows than the 10 asked for", 0},
        {"a block larger than a BlockSize of 1", "BlockSize=1",
         [](auto& s, auto& f) { answer(s, f, document(1, rows(2)), 3); },
         "08S01 Communication link failure: The answer holds more rows than the 1 asked for", 0},
        {"two million empty rows in a block of ten", "",
         [](auto& s, auto& f) { answer(s, f, document(8, emptyRows(2000000)), 3); },
         "08S01 Communication link failure: The answer holds more rows than the 10 asked for", 0},
        {"two million empty rows when all were asked", "BlockSize=all",
         [](auto& s, auto& f) { answer(s, f, document(8, emptyRows(2000000)), 1); },
         "08S01 Communication link failure: The answer needs more memory than its size allows", 0},
        {"more values than columns", "",
         [](auto& s, auto& f) {
             answer(s, f, document(1, rows(1, "<Column ID=\"1\">a</Column><Column ID=\"2\">b</Column>")), 1);
         },
         "08S01 Communication link failure: A row of the answer holds more values than the 1 columns it describes", 0},
        {"more columns than a result can have", "",
         [](auto& s, auto& f) {
             std::string d = "<ResultSet><ResultSetMetaData columnCount=\"40000\">";
             for (int i = 0; i < 40000; ++i) d += "<ColumnMetaData/>";
             answer(s, f, d + "</ResultSetMetaData></ResultSet>", 1);
         },
         "08S01 Communication link failure: The answer describes more than the 32767 columns a result can have", 0},
        {"invalid base64", "",
         [](auto& s, auto& f) {
             answer(s, f, document(1, rows(1, "<Column ID=\"1\" encoding=\"base64\">QUJD*!==</Column>")), 1);
         },
         "08S01 Communication link failure: A value of the answer is not valid base64", 0},
        {"a document length that lies", "",
         [](auto& s, auto& f) {
             const std::string doc = document(1, rows(1));
             CPACKET p;
             p.AppendU32(0).AppendU32(0).AppendU32(0).AppendU32(std::uint32_t(doc.size() + 5000));
             p.AppendBytes(doc.data(), doc.size());
             f = doc.size();
             s.reply(kExport, 1, "", p);
         },
         "08S01 Communication link failure", 0, true},
        {"a single huge value", "",
         [&](auto& s, auto& f) { answer(s, f, document(1, rows(1, "<Column ID=\"1\">" + bigValue + "</Column>")), 1); },
         "", 1},
        {"an answer above MaxAnswerSize", "MaxAnswerSize=100000",
         [&](auto& s, auto& f) { answer(s, f, document(1, rows(1, "<Column ID=\"1\">" + bigValue + "</Column>")), 1); },
         "08S01 Communication link failure", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vorntest::FakeServer srv;
        std::size_t frame = 0;
        srv.expect('T', kLogin).reply(kLogin, 1).expect('T', kExport);
        c.answer(srv, frame);
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
        if (c.state[0]) {
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
