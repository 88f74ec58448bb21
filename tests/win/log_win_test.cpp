// The driver log is configured when the DLL loads: each case runs again in a
// fresh process with the variables set, and the parent reads the file after.
#include "win/dll.h"

#include <fstream>
#include <sstream>

TEST(WinDriverLog, FileFromEnvironmentAtLevelFiveAndNotAlone) {
    if (vornwin::isolated()) {
        SQLHANDLE env = nullptr, dbc = nullptr;
        ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLAllocHandle)(SQL_HANDLE_ENV, nullptr, &env));
        ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLAllocHandle)(SQL_HANDLE_DBC, env, &dbc));
        EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLFreeHandle)(SQL_HANDLE_DBC, dbc));
        EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLFreeHandle)(SQL_HANDLE_ENV, env));
        return;
    }
    const std::string path = vornwin::scratchDir() + "\\driver.log";
    for (const char* level : {"", "9"}) {
        ASSERT_EQ(vornwin::rerunIsolated({{"VSQL_LOGFILE", path}, {"VSQL_LOGLEVEL", level}}), 0);
        EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "level '" << level << "'";
    }
    ASSERT_EQ(vornwin::rerunIsolated({{"VSQL_LOGFILE", path}, {"VSQL_LOGLEVEL", "5"}}), 0);
    std::stringstream raw;
    raw << std::ifstream(path, std::ios::binary).rdbuf();
    // Mode "w" is a text stream here: every line feed is written as CR LF.
    std::string text = raw.str();
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    for (const char* line : {"   DEBUG] SQLAllocHandle: Entering with HandleType=2\n",
                             "   DEBUG] SQLAllocHandle: Leaving with RetCode=0\n",
                             "   DEBUG] SQLFreeHandle: Exit with return code 0\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "in:\n" << text;
    EXPECT_EQ(text.front(), '[');
    EXPECT_EQ(text.back(), '\n');
}
