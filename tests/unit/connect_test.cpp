// The connect functions' own rules, called as the driver manager calls them,
// without a server: argument checks, the prompt, the output connection
// string, disconnecting, and the log settings of a data source.
#include "driver/connect.h"
#include "driver/handles.h"
#include "log/VfxLogger.h"
#include "setup/setup.h"
#include "support/odbc_sandbox.h"
#include "support/scripted_dialog.h"

#include <odbcinst.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

using vorntest::DialogStep;
using vorntest::OdbcSandbox;
using vorntest::ScriptedDialog;

namespace {

SQLHWND const kWindow = reinterpret_cast<SQLHWND>(0x4321);

struct Handles {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    Handles() {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    }
    ~Handles() {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    Connection* conn() const { return static_cast<Connection*>(dbc); }
    std::string state() const {
        SQLCHAR s[6] = "";
        SQLINTEGER native = 0;
        SQLCHAR text[600];
        SQLSMALLINT len = 0;
        if (SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, s, &native, text, sizeof text, &len) != SQL_SUCCESS) return "";
        return std::string(reinterpret_cast<char*>(s)) + " " + reinterpret_cast<char*>(text);
    }
};

SQLRETURN connect(SQLHDBC dbc, const std::string& dsn, SQLSMALLINT length = SQL_NTS) {
    return SQLConnect(dbc, (SQLCHAR*)dsn.c_str(), length, (SQLCHAR*)"u", SQL_NTS, (SQLCHAR*)"p", SQL_NTS);
}

SQLRETURN driverConnect(SQLHDBC dbc, const char* in, SQLHWND window, SQLUSMALLINT completion) {
    SQLCHAR out[512];
    SQLSMALLINT len = 0;
    return SQLDriverConnect(dbc, window, (SQLCHAR*)in, SQL_NTS, out, sizeof out, &len, completion);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(Connect, DataSourceNameLength) {
    OdbcSandbox odbc;
    Handles h;
    // A data source on a port nobody listens on: the name is accepted and the
    // start fails, which SQLConnect reports without a diagnostic record.
    std::string name64(64, 'd');
    odbc.write(odbc.userIni(), "[" + name64 + "]\nServer=127.0.0.1\nService=1\n");
    EXPECT_EQ(SQL_ERROR, connect(h.dbc, name64));
    EXPECT_EQ("", h.state());
    EXPECT_EQ(name64, h.conn()->dsn);
    EXPECT_STREQ("127.0.0.1", h.conn()->server);
    EXPECT_EQ(nullptr, h.conn()->session);

    // Too long, empty, null or of a negative length: HY000 before anything
    // is read, and the fixed field keeps what it had.
    for (SQLSMALLINT length : {SQLSMALLINT(SQL_NTS), SQLSMALLINT(65), SQLSMALLINT(1000)}) {
        std::string name65(length == SQL_NTS ? 65 : length, 'e');
        EXPECT_EQ(SQL_ERROR, connect(h.dbc, name65, length));
        EXPECT_EQ("HY000 [Kalmo][VORNsql driver]Invalid Connection Parameters", h.state());
    }
    EXPECT_EQ(SQL_ERROR, connect(h.dbc, "", SQL_NTS));
    EXPECT_EQ(SQL_ERROR, connect(h.dbc, "abc", 0));
    EXPECT_EQ(SQL_ERROR, connect(h.dbc, "abc", -7));
    EXPECT_NE("", h.state());
    EXPECT_EQ(SQL_ERROR, SQLConnect(h.dbc, nullptr, SQL_NTS, nullptr, 0, nullptr, 0));
    EXPECT_NE("", h.state());
    EXPECT_EQ(name64, h.conn()->dsn);

    // An explicit length shorter than the text takes that many characters.
    EXPECT_EQ(SQL_ERROR, connect(h.dbc, name64 + "tail", 64));
    EXPECT_EQ(name64, h.conn()->dsn);
}

TEST(Connect, StoredUserAndPasswordAndTheirLimits) {
    OdbcSandbox odbc;
    Handles h;
    odbc.write(odbc.userIni(), "[s]\nUser=keyuser\nPassword=keypass\nService=1\n");
    std::string longUser(256, 'u'), longPwd(33, 'p');
    SQLConnect(h.dbc, (SQLCHAR*)"s", SQL_NTS, (SQLCHAR*)longUser.c_str(), SQL_NTS, (SQLCHAR*)longPwd.c_str(),
               SQL_NTS);
    EXPECT_STREQ("keyuser", h.conn()->uid);  // too long: the stored key wins
    EXPECT_STREQ("keypass", h.conn()->pwd);
    // Without a Server key the session goes to the local host.
    EXPECT_STREQ("localhost", h.conn()->server);

    std::string maxUser(255, 'u'), maxPwd(32, 'p');
    SQLConnect(h.dbc, (SQLCHAR*)"s", SQL_NTS, (SQLCHAR*)maxUser.c_str(), SQL_NTS, (SQLCHAR*)maxPwd.c_str(), SQL_NTS);
    EXPECT_EQ(maxUser, h.conn()->uid);
    EXPECT_EQ(maxPwd, h.conn()->pwd);
}

TEST(Connect, LogFollowsTheDataSource) {
    OdbcSandbox odbc;
    std::string log = odbc.dir() + "/driver.log";
    odbc.write(odbc.userIni(), "[logged]\nService=1\nLogLevel=5\nLogFile=" + log + "\n[quiet]\nService=1\n");
    {
        Handles h;
        connect(h.dbc, "logged");
        EXPECT_EQ(5, driverLog().GetLevel());
        connect(h.dbc, "quiet");  // no LogLevel: the log goes off
        EXPECT_EQ(0, driverLog().GetLevel());
    }
    driverLog().Close();
    std::string text = readFile(log);
    EXPECT_NE(std::string::npos, text.find("SQLConnect")) << text;
    EXPECT_NE(std::string::npos, text.find("Exit with retVal = -1")) << text;
    std::remove(log.c_str());
}

TEST(DriverConnect, PromptRules) {
    SetupContext ctx{};
    parseConnectionString(ctx, "Server=h;Service=s;UID=u;PWD=p", -1);
    EXPECT_FALSE(needsPrompt(ctx, false, SQL_DRIVER_PROMPT));
    EXPECT_TRUE(needsPrompt(ctx, true, SQL_DRIVER_PROMPT));
    EXPECT_FALSE(needsPrompt(ctx, true, SQL_DRIVER_COMPLETE));
    EXPECT_FALSE(needsPrompt(ctx, true, SQL_DRIVER_COMPLETE_REQUIRED));
    ctx.attributes[SLOT_PWD].value[0] = '\0';
    EXPECT_TRUE(needsPrompt(ctx, true, SQL_DRIVER_COMPLETE));
    EXPECT_TRUE(needsPrompt(ctx, true, SQL_DRIVER_COMPLETE_REQUIRED));
    EXPECT_FALSE(needsPrompt(ctx, true, SQL_DRIVER_NOPROMPT));
    EXPECT_FALSE(needsPrompt(ctx, true, 77));
    EXPECT_FALSE(needsPrompt(ctx, false, SQL_DRIVER_COMPLETE));
}

TEST(DriverConnect, PromptShowsTheValuesAndCancelChangesNothing) {
    OdbcSandbox odbc;
    odbc.write(odbc.userIni(), "[p]\nDescription=about p\nServer=127.0.0.1\nService=1\nLogLevel=2\n");
    Handles h;
    std::strcpy(h.conn()->dsn, "before");
    ScriptedDialog dialog({DialogStep{{}, false}});
    EXPECT_EQ(SQL_NO_DATA, driverConnect(h.dbc, "DSN=p;UID=me", kWindow, SQL_DRIVER_COMPLETE));
    ASSERT_EQ(1, dialog.shown);
    EXPECT_EQ(IDD_DSN_SETUP, dialog.resource);
    EXPECT_EQ(reinterpret_cast<void*>(kWindow), dialog.parent);
    auto& shown = dialog.afterInit;
    EXPECT_EQ("p", shown.text[IDC_DSN_NAME]);
    EXPECT_EQ("about p", shown.text[IDC_DESCRIPTION]);
    EXPECT_EQ("127.0.0.1", shown.text[IDC_SERVER]);
    EXPECT_EQ("1", shown.text[IDC_SERVICE]);
    EXPECT_EQ("2", shown.text[IDC_LOGLEVEL]);
    EXPECT_EQ("me", shown.text[IDC_USER]);
    EXPECT_EQ("", shown.text[IDC_PASSWORD]);
    EXPECT_TRUE(shown.disabled[IDC_DSN_NAME]);
    EXPECT_TRUE(shown.disabled[IDC_DESCRIPTION]);
    EXPECT_STREQ("before", h.conn()->dsn);
    EXPECT_EQ(nullptr, h.conn()->session);

    // NOPROMPT never shows it, even with values missing; it tries the session
    // (nobody listens) and reports 08001.
    EXPECT_EQ(SQL_ERROR, driverConnect(h.dbc, "DSN=p;UID=me", kWindow, SQL_DRIVER_NOPROMPT));
    EXPECT_EQ(1, dialog.shown);
    EXPECT_EQ("08001 [Kalmo][VORNsql driver]Unable to establish connection", h.state());
    EXPECT_STREQ("p", h.conn()->dsn);
    EXPECT_STREQ("me", h.conn()->uid);
}

TEST(DriverConnect, PromptOkTakesTheTypedValues) {
    OdbcSandbox odbc;
    odbc.write(odbc.userIni(), "[p]\nServer=127.0.0.1\nService=1\n");
    Handles h;
    ScriptedDialog dialog({DialogStep{{{IDC_USER, "typed"}, {IDC_PASSWORD, "secret"}, {IDC_DSN_NAME, "other"}}}});
    EXPECT_EQ(SQL_ERROR, driverConnect(h.dbc, "DSN=p", kWindow, SQL_DRIVER_PROMPT));
    EXPECT_EQ(1, dialog.shown);
    EXPECT_EQ(1, dialog.typedIntoDisabled);  // the name field could not be changed
    EXPECT_STREQ("p", h.conn()->dsn);
    EXPECT_STREQ("typed", h.conn()->uid);
    EXPECT_STREQ("secret", h.conn()->pwd);
}

TEST(DriverConnect, WindowWithoutWindowSystemDoesNotPrompt) {
    OdbcSandbox odbc;
    Handles h;
    EXPECT_EQ(SQL_ERROR, driverConnect(h.dbc, "Server=127.0.0.1;Service=1", kWindow, SQL_DRIVER_PROMPT));
    EXPECT_EQ("08001 [Kalmo][VORNsql driver]Unable to establish connection", h.state());
}

TEST(DriverConnect, LongAndMalformedConnectionStrings) {
    OdbcSandbox odbc;
    Handles h;
    // Values longer than the connection's fixed fields are cut to them.
    std::string in = "DSN=" + std::string(300, 'd') + ";Server=" + std::string(300, 's') + ";UID=" +
                     std::string(300, 'u') + ";PWD=" + std::string(300, 'p') + ";Service=1";
    EXPECT_EQ(SQL_ERROR, driverConnect(h.dbc, in.c_str(), nullptr, SQL_DRIVER_NOPROMPT));
    EXPECT_EQ(std::string(64, 'd'), h.conn()->dsn);
    EXPECT_EQ(std::string(64, 's'), h.conn()->server);
    EXPECT_EQ(std::string(255, 'u'), h.conn()->uid);
    EXPECT_EQ(std::string(32, 'p'), h.conn()->pwd);

    for (const char* bad : {"", ";;;", "=", "garbage", "DSN", "{DSN=x}", "DSN={unclosed", "UID=a;PWD"}) {
        EXPECT_EQ(SQL_ERROR, driverConnect(h.dbc, bad, nullptr, SQL_DRIVER_NOPROMPT)) << bad;
        EXPECT_EQ("08001 [Kalmo][VORNsql driver]Unable to establish connection", h.state()) << bad;
    }
    SQLCHAR out[16];
    EXPECT_EQ(SQL_ERROR, SQLDriverConnect(h.dbc, nullptr, nullptr, SQL_NTS, out, sizeof out, nullptr, 0));
}

TEST(DriverConnect, OutputConnectionString) {
    SetupContext ctx{};
    parseConnectionString(ctx, "DSN=d;UID=u;PWD=p", -1);
    std::strcpy(ctx.attributes[SLOT_SERVER].value, "h");
    std::strcpy(ctx.attributes[SLOT_SERVICE].value, "7000");
    std::strcpy(ctx.attributes[SLOT_LOGLEVEL].value, "3");
    std::strcpy(ctx.attributes[SLOT_DESCRIPTION].value, "never shown");
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

TEST(Disconnect, DropsStatementsAndExplicitDescriptors) {
    OdbcSandbox odbc;
    std::string log = odbc.dir() + "/disconnect.log";
    SetLogLevel(5);
    driverLog().Open(log.c_str(), "w");
    {
        Handles h;
        SQLHSTMT stmts[3];
        for (auto& s : stmts) ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &s));
        SQLHDESC desc;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &desc));
        // The explicit descriptor serves a statement as its ARD.
        static_cast<Statement*>(stmts[0])->ard = static_cast<Descriptor*>(desc);
        EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(h.dbc));
        EXPECT_EQ(0, h.conn()->statements.getCount());
        EXPECT_EQ(0, h.conn()->descriptors.getCount());
        EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(h.dbc));  // nothing left: still fine
        EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_COMMIT));
        EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_ENV, h.env, SQL_ROLLBACK));
    }
    driverLog().Close();
    SetLogLevel(0);
    std::string text = readFile(log);
    EXPECT_NE(std::string::npos, text.find("Number of statements 3")) << text;
    EXPECT_NE(std::string::npos, text.find("Number of descriptors 1")) << text;
    EXPECT_NE(std::string::npos, text.find("Enter/Exit")) << text;
    std::remove(log.c_str());
}
