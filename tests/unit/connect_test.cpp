// The connect functions' own rules, called as the driver manager calls them,
// without a server or against a scripted one: argument checks, the prompt,
// the output connection string and failed starts. The integration tests cover
// the rest against vornd (the log settings of a data source among them).
#include "driver/connect/connect.h"
#include "setup/setup.h"
#include "support/driver_handles.h"
#include "support/fake_server.h"
#include "support/odbc_sandbox.h"
#include "support/scripted_dialog.h"

#include <odbcinst.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>

using vorntest::DialogStep;
using vorntest::OdbcSandbox;
using vorntest::ScriptedDialog;

namespace {

SQLHWND const kWindow = reinterpret_cast<SQLHWND>(0x4321);
const char kNoConnection[] = "08001 Unable to establish connection";

// Handles in a private configuration, freed before it goes.
struct ConnectTest : vorntest::StatementTest {
    std::string state() const { return vorntest::diagText(SQL_HANDLE_DBC, hdbc); }
    // The connection's data source, server, user and password, joined by sep.
    std::string fields(const char* sep = "") const {
        return std::string(conn->dsn) + sep + conn->server + sep + conn->uid + sep + conn->pwd;
    }
    OdbcSandbox odbc;
};
using Connect = ConnectTest;
using DriverConnect = ConnectTest;

SQLRETURN connect(SQLHDBC dbc, const std::string& dsn, SQLSMALLINT length = SQL_NTS) {
    return SQLConnect(dbc, (SQLCHAR*)dsn.c_str(), length, (SQLCHAR*)"u", SQL_NTS, (SQLCHAR*)"p", SQL_NTS);
}

SQLRETURN driverConnect(SQLHDBC dbc, const char* in, SQLHWND window, SQLUSMALLINT completion) {
    SQLCHAR out[512];
    SQLSMALLINT len = 0;
    return SQLDriverConnect(dbc, window, (SQLCHAR*)in, SQL_NTS, out, sizeof out, &len, completion);
}

}  // namespace

TEST_F(Connect, DataSourceNameLength) {
    // A data source on a port nobody listens on: the name is accepted and the
    // start fails, with the address and the socket's reason.
    std::string name64(64, 'd');
    odbc.write(odbc.userIni(), "[" + name64 + "]\nServer=127.0.0.1\nService=1\n");
    EXPECT_EQ(SQL_ERROR, connect(hdbc, name64));
    EXPECT_EQ("08001 Unable to establish connection to 127.0.0.1:1: Connection refused (connect)", state());
    EXPECT_EQ(name64 + " 127.0.0.1 u p", fields(" "));

    // Too long, empty or of a negative length: HY000 before anything is
    // read, and the fixed field keeps what it had.
    const std::pair<std::string, SQLSMALLINT> bad[] = {
        {std::string(65, 'e'), SQL_NTS}, {std::string(65, 'e'), 65}, {"", SQL_NTS}, {"abc", 0}, {"abc", -7}};
    for (const auto& b : bad) {
        EXPECT_EQ(SQL_ERROR, connect(hdbc, b.first, b.second)) << b.second;
        EXPECT_EQ("HY000 Invalid Connection Parameters", state()) << b.second;
    }
    EXPECT_EQ(SQL_ERROR, SQLConnect(hdbc, nullptr, SQL_NTS, nullptr, 0, nullptr, 0));
    EXPECT_NE("", state());
    EXPECT_EQ(name64, conn->dsn);

    // An explicit length shorter than the text takes that many characters.
    EXPECT_EQ(SQL_ERROR, connect(hdbc, name64 + "tail", 64));
    EXPECT_EQ(name64, conn->dsn);
}

TEST_F(DriverConnect, PromptShowsTheValuesCancelChangesNothingOkTakesThem) {
    odbc.write(odbc.userIni(),
               "[p]\nDescription=about p\nServer=127.0.0.1\nService=1\nLogLevel=2\nPassword=stored\n");
    std::strcpy(conn->dsn, "before");
    {
        ScriptedDialog dialog({DialogStep{{}, false}});
        EXPECT_EQ(SQL_NO_DATA, driverConnect(hdbc, "DSN=p;UID=me", kWindow, SQL_DRIVER_PROMPT));
        ASSERT_EQ(1, dialog.shown);
        EXPECT_EQ(IDD_DSN_SETUP, dialog.resource);
        EXPECT_EQ(reinterpret_cast<void*>(kWindow), dialog.parent);
        // The user name the string gave, the password the data source gave;
        // the caption names the driver and the data source.
        const std::map<int, std::string> shown = {{IDC_DSN_NAME, "p"}, {IDC_DESCRIPTION, "about p"},
                                                  {IDC_SERVER, "127.0.0.1"}, {IDC_SERVICE, "1"},
                                                  {IDC_USER, "me"}, {IDC_PASSWORD, "stored"},
                                                  {IDC_LOGLEVEL, "2"}, {IDC_LOGFILE, ""}};
        EXPECT_EQ(shown, dialog.afterInit.text);
        EXPECT_EQ("Kalmo VORNsql driver - Connect to p", dialog.afterInit.caption);
        EXPECT_TRUE(dialog.afterInit.disabled[IDC_DESCRIPTION]);  // the name field: typedIntoDisabled below
        EXPECT_FALSE(dialog.afterInit.hidden[IDC_PASSWORD]);
        EXPECT_EQ(0, dialog.afterInit.focused);  // nothing required is missing
        EXPECT_STREQ("before", conn->dsn);
        EXPECT_EQ(nullptr, conn->session);

        // NOPROMPT never shows it, even with values missing; it tries the
        // session (nobody listens) and reports 08001.
        EXPECT_EQ(SQL_ERROR, driverConnect(hdbc, "DSN=p;UID=me", kWindow, SQL_DRIVER_NOPROMPT));
        EXPECT_EQ(1, dialog.shown);
        EXPECT_EQ(0u, state().find(kNoConnection));
        EXPECT_EQ("p 127.0.0.1 me stored", fields(" "));
    }
    // The typing starts at the first required value that is missing.
    const struct {
        const char* in;
        int focused;
    } focusCases[] = {{"DSN=p;PWD=", IDC_USER}, {"DSN=p;UID=me;PWD=", IDC_PASSWORD},
                      {"Server=h;UID=me;PWD=x", IDC_SERVICE}, {"UID=me;PWD=x", IDC_SERVER}};
    for (const auto& f : focusCases) {
        ScriptedDialog cancelled({DialogStep{{}, false}});
        EXPECT_EQ(SQL_NO_DATA, driverConnect(hdbc, f.in, kWindow, SQL_DRIVER_COMPLETE)) << f.in;
        EXPECT_EQ(f.focused, cancelled.afterInit.focused) << f.in;
    }
    ScriptedDialog noDsn({DialogStep{{}, false}});
    driverConnect(hdbc, "Server=h", kWindow, SQL_DRIVER_PROMPT);
    EXPECT_EQ("Kalmo VORNsql driver - Connect", noDsn.afterInit.caption);

    ScriptedDialog dialog({DialogStep{{{IDC_USER, "typed"}, {IDC_PASSWORD, "secret"}, {IDC_DSN_NAME, "other"}}}});
    EXPECT_EQ(SQL_ERROR, driverConnect(hdbc, "DSN=p", kWindow, SQL_DRIVER_PROMPT));
    EXPECT_EQ(1, dialog.shown);
    EXPECT_EQ(1, dialog.typedIntoDisabled);  // the name field could not be changed
    EXPECT_EQ("p 127.0.0.1 typed secret", fields(" "));
}

TEST_F(DriverConnect, LongAndMalformedConnectionStringsAndNoWindowSystem) {
    // Without a stand-in, a window on Linux cannot prompt: the call goes on.
    EXPECT_EQ(SQL_ERROR, driverConnect(hdbc, "Server=127.0.0.1;Service=1", kWindow, SQL_DRIVER_PROMPT));
    EXPECT_EQ(0u, state().find(kNoConnection));

    // Values longer than the connection's fixed fields are cut to them.
    std::string in = "DSN=" + std::string(300, 'd') + ";Server=" + std::string(300, 's') + ";UID=" +
                     std::string(300, 'u') + ";PWD=" + std::string(300, 'p') + ";Service=1";
    EXPECT_EQ(SQL_ERROR, driverConnect(hdbc, in.c_str(), nullptr, SQL_DRIVER_NOPROMPT));
    EXPECT_EQ(std::string(64, 'd') + std::string(64, 's') + std::string(255, 'u') + std::string(32, 'p'),
              fields());

    for (const char* bad : {"", ";;;", "=", "garbage", "DSN", "{DSN=x}", "DSN={unclosed", "UID=a;PWD"}) {
        EXPECT_EQ(SQL_ERROR, driverConnect(hdbc, bad, nullptr, SQL_DRIVER_NOPROMPT)) << bad;
        EXPECT_EQ(0u, state().find(kNoConnection)) << bad;
    }
    SQLCHAR out[16];
    EXPECT_EQ(SQL_ERROR, SQLDriverConnect(hdbc, nullptr, nullptr, SQL_NTS, out, sizeof out, nullptr, 0));
}

TEST_F(DriverConnect, OutputConnectionString) {
    SetupContext ctx{};
    // Blanks around keywords and before a braced value are dropped, and what
    // follows a braced value up to the next ';'.
    parseConnectionString(ctx, " DSN\t=d;UID=u;PWD= {p}x;Server=h;Service=7000;LogLevel=3;Description=never shown", -1);
    EXPECT_EQ("DSN=d;SERVER=h;SERVICE=7000;UID=u;PWD=p;LogLevel=3", outConnectionString(ctx));
    EXPECT_EQ("DSN=d;SERVER=h;SERVICE=7000;UID=u;PWD=****;LogLevel=3", outConnectionString(ctx, true));

    SetupContext noDsn{};
    parseConnectionString(noDsn, "Server=h;Service=1;UID=u;PWD={a;b}}};LogFile=/tmp/l", -1);
    std::string out = outConnectionString(noDsn);
    EXPECT_EQ("DRIVER=Kalmo VORNsql driver;SERVER=h;SERVICE=1;UID=u;PWD={a;b}}};LogFile=/tmp/l", out);
    // What goes out parses back to the same values.
    SetupContext again{};
    parseConnectionString(again, out.c_str(), -1);
    EXPECT_STREQ("a;b}", again.attributes[SLOT_PWD].value);
    EXPECT_STREQ("/tmp/l", again.attributes[SLOT_LOGFILE].value);
}

// Failed starts that vornd does not produce, against a scripted server: the
// kit's reasons with the address as 08001, a status the server explains with
// its text as 08004.
TEST_F(Connect, StartFailuresSayWhy) {
    CPACKET licence;
    licence.AppendShortItem(CSTRING("No licence left"));
    struct Case {
        std::function<void(vorntest::FakeServer&)> script;
        std::string diag;  // after "127.0.0.1:PORT" is put in place of "@"
    } cases[] = {
        {[](vorntest::FakeServer& s) {
             s.expect('T', 110).reply(110, -4, "3.0-0001").expect('T', 110).reply(110, -4, "3.0-0001");
         },
         "08001 Unable to establish connection to @: Client and server versions mismatched (Client/Server) : "
         "2.0-0250/3.0-0001"},
        {[&](vorntest::FakeServer& s) {
             s.expect('T', 110).reply(110, 16898).expect('T', 104).reply(104, 1, "", licence);
             s.expect('T', 111).reply(111, 1);
         },
         "08004 Server rejected the connection: No licence left"},
        {[](vorntest::FakeServer& s) { s.expect('T', 110).close(); },
         "08001 Unable to establish connection to @: EOF received from host (recv)"},
    };
    for (const Case& c : cases) {
        vorntest::FakeServer srv;
        c.script(srv);
        srv.start();
        const std::string where = "127.0.0.1:" + std::to_string(srv.port());
        EXPECT_EQ(SQL_ERROR, driverConnect(hdbc, ("Server=127.0.0.1;Service=" + std::to_string(srv.port()) +
                                                   ";UID=u;PWD=p").c_str(), nullptr, SQL_DRIVER_NOPROMPT));
        std::string expected = c.diag;
        const std::size_t at = expected.find('@');
        if (at != std::string::npos) expected.replace(at, 1, where);
        EXPECT_EQ(expected, state());
        EXPECT_EQ(nullptr, conn->session);
        EXPECT_TRUE(srv.finish().empty()) << c.diag;
    }
}
