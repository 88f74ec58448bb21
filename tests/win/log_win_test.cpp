// The driver log is configured when the DLL loads: a copy of the DLL is
// loaded afresh with the variables set, and the file read after it unloads.
#include "win/dll.h"

#include <fstream>
#include <sstream>

TEST(WinDriverLog, FileFromEnvironmentAtLoadInTextMode) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string copy = std::string(temp) + "vornlog.dll", path = std::string(temp) + "vornlog.txt";
    char original[MAX_PATH];
    GetModuleFileNameA(vornwin::dll(), original, sizeof original);
    ASSERT_TRUE(CopyFileA(original, copy.c_str(), FALSE));
    // The levels' rules are the same on both systems; loading is not.
    DeleteFileA(path.c_str());
    SetEnvironmentVariableA("VSQL_LOGFILE", path.c_str());
    SetEnvironmentVariableA("VSQL_LOGLEVEL", "5");
    HMODULE lib = LoadLibraryA(copy.c_str());
    SetEnvironmentVariableA("VSQL_LOGFILE", nullptr);
    SetEnvironmentVariableA("VSQL_LOGLEVEL", nullptr);
    ASSERT_NE(nullptr, lib);
    auto alloc = reinterpret_cast<decltype(&SQLAllocHandle)>(reinterpret_cast<void*>(GetProcAddress(lib, "SQLAllocHandle")));
    auto release = reinterpret_cast<decltype(&SQLFreeHandle)>(reinterpret_cast<void*>(GetProcAddress(lib, "SQLFreeHandle")));
    SQLHANDLE env = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_ENV, env));
    FreeLibrary(lib);
    std::stringstream raw;
    raw << std::ifstream(path, std::ios::binary).rdbuf();
    // Mode "w" is a text stream here: every line feed is written as CR LF.
    std::string text = raw.str();
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    // The level from the environment: the calls' lines (their layout: the Linux tests).
    EXPECT_NE(text.find("   DEBUG] SQLAllocHandle: Entering with HandleType=1\n"), std::string::npos) << text;
    EXPECT_EQ(text.front(), '[');
    DeleteFileA(path.c_str());
    DeleteFileA(copy.c_str());
}
