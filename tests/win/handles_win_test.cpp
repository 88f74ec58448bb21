// Handles, diagnostics and the driver log through the DLL's exports, as the
// driver manager reaches them.
#include "win/dll.h"

#include "driver/entry/handles.h"  // record layouts: a handle is the address of its record

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Api {
    decltype(&::SQLAllocHandle) alloc = VORN_DLL_FN(SQLAllocHandle);
    decltype(&::SQLFreeHandle) release = VORN_DLL_FN(SQLFreeHandle);
    decltype(&::SQLFreeStmt) freeStmt = VORN_DLL_FN(SQLFreeStmt);
    decltype(&::SQLGetDiagRec) diagRec = VORN_DLL_FN(SQLGetDiagRec);
    decltype(&::SQLGetDiagField) diagField = VORN_DLL_FN(SQLGetDiagField);
};

}  // namespace

TEST(WinHandles, AllocateUseReleaseAndDiagnostics) {
    Api api;
    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr, desc = nullptr;
    ASSERT_EQ(api.alloc(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ASSERT_EQ(api.alloc(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    ASSERT_EQ(api.alloc(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    ASSERT_EQ(api.alloc(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
    SQLHANDLE out = reinterpret_cast<SQLHANDLE>(std::uintptr_t(0x77));
    EXPECT_EQ(api.alloc(5, env, &out), SQL_ERROR);
    EXPECT_EQ(out, reinterpret_cast<SQLHANDLE>(std::uintptr_t(0x77)));

    // The records' layout is the same on both sides of the DLL boundary.
    auto* s = static_cast<Statement*>(stmt);
    EXPECT_EQ(s->conn, dbc);
    s->ard = static_cast<Descriptor*>(desc);
    EXPECT_EQ(api.freeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(s->rowCount, -1);
    EXPECT_EQ(api.release(SQL_HANDLE_DESC, desc), SQL_SUCCESS);
    EXPECT_EQ(s->ard, s->implicitArd);

    // An implicit descriptor cannot be freed by itself: the diagnostic read
    // back whole, cut, and by field.
    EXPECT_EQ(api.release(SQL_HANDLE_DESC, s->ird), SQL_ERROR);
    SQLCHAR state[6] = "";
    SQLINTEGER native = -1;
    SQLCHAR msg[256];
    SQLSMALLINT len = 0;
    ASSERT_EQ(api.diagRec(SQL_HANDLE_DESC, s->ird, 1, state, &native, msg, sizeof msg, &len), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(state), "HY017");
    std::string expected = "[Kalmo][VORNsql driver]Invalid use of an automatically allocated descriptor handle";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(msg)), expected);
    EXPECT_EQ(len, SQLSMALLINT(expected.size()));
    std::memset(msg, '#', sizeof msg);
    EXPECT_EQ(api.diagRec(SQL_HANDLE_DESC, s->ird, 1, state, &native, msg, 10, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(msg)), expected.substr(0, 9));
    EXPECT_EQ(msg[10], '#');
    EXPECT_EQ(api.diagRec(SQL_HANDLE_DESC, s->ird, 2, state, &native, msg, sizeof msg, &len), SQL_NO_DATA);
    char origin[16];
    EXPECT_EQ(api.diagField(SQL_HANDLE_DESC, s->ird, 1, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin, &len),
              SQL_SUCCESS);
    EXPECT_STREQ(origin, "ISO 9075");
    SQLINTEGER number = 0;
    EXPECT_EQ(api.diagField(SQL_HANDLE_DESC, s->ird, 1, SQL_DIAG_ROW_NUMBER, &number, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(number, SQL_NO_ROW_NUMBER);

    EXPECT_EQ(api.release(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
    EXPECT_EQ(api.release(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(api.release(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

// The log is configured when the DLL loads: each case runs again in a fresh
// process with the variables set, and the parent reads the file afterwards.
TEST(WinDriverLog, FileFromEnvironmentAtLevelFiveAndNotAlone) {
    if (vornwin::isolated()) {
        Api api;
        SQLHANDLE env = nullptr, dbc = nullptr;
        ASSERT_EQ(api.alloc(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(api.alloc(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        EXPECT_EQ(api.release(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
        EXPECT_EQ(api.release(SQL_HANDLE_ENV, env), SQL_SUCCESS);
        return;
    }
    std::string path = vornwin::scratchDir() + "\\driver.log";
    for (const char* level : {"", "9"}) {
        ASSERT_EQ(vornwin::rerunIsolated({{"VSQL_LOGFILE", path}, {"VSQL_LOGLEVEL", level}}), 0);
        EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "level '" << level << "'";
    }
    ASSERT_EQ(vornwin::rerunIsolated({{"VSQL_LOGFILE", path}, {"VSQL_LOGLEVEL", "5"}}), 0);
    std::ifstream in(path, std::ios::binary);
    std::stringstream raw;
    raw << in.rdbuf();
    // Mode "w" is a text stream here: every line feed is written as CR LF.
    std::string text = raw.str();
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    for (const char* line : {"   DEBUG] SQLAllocHandle: Entering with HandleType=2\n",
                             "   DEBUG] SQLAllocHandle: Leaving with RetCode=0\n",
                             "   DEBUG] SQLFreeHandle: Exit with return code 0\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "in:\n" << text;
    }
    EXPECT_EQ(text.front(), '[');
    EXPECT_EQ(text.back(), '\n');
}
