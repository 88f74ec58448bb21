// main() of win_tests.exe and the DLL loading helpers of dll.h.
#include "win/dll.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vornwin {
namespace {

const char kChildMarker[] = "VORN_WIN_ISOLATED";

HMODULE g_dll = nullptr;

std::string lastErrorText(DWORD code) {
  char buf[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                           buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) buf[--n] = 0;
  return std::to_string(code) + (n ? " (" + std::string(buf) + ")" : std::string());
}

std::wstring exePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring dllPath() {
  if (const wchar_t* env = _wgetenv(L"VORN_DLL"); env && *env) return env;
  std::wstring path = exePath();
  path.erase(path.find_last_of(L"\\/") + 1);
  return path + L"vornodbc64.dll";
}

std::string narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += c < 128 ? static_cast<char>(c) : '?';
  return s;
}

LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
  std::fprintf(stderr, "win_tests: unhandled exception 0x%08lx at %p\n",
               static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
               info->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

HMODULE dll() {
  if (g_dll) return g_dll;
  std::wstring path = dllPath();
  g_dll = LoadLibraryW(path.c_str());
  if (!g_dll) throw std::runtime_error("LoadLibrary(" + narrow(path) + ") failed: " + lastErrorText(GetLastError()));
  return g_dll;
}

FARPROC dllProc(const char* name) {
  FARPROC p = GetProcAddress(dll(), name);
  if (!p) throw std::runtime_error(std::string("vornodbc64.dll does not export ") + name);
  return p;
}

bool isolated() {
  const char* v = std::getenv(kChildMarker);
  return v && *v;
}

int rerunIsolated(std::initializer_list<EnvVar> env) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (!info) throw std::logic_error("rerunIsolated() called outside a test");
  std::string filter = std::string(info->test_suite_name()) + "." + info->name();

  // The child inherits this process's environment; set, spawn, restore.
  std::vector<EnvVar> saved;
  auto remember = [&saved](const std::string& name) {
    char buf[32768];
    DWORD n = GetEnvironmentVariableA(name.c_str(), buf, sizeof buf);
    saved.emplace_back(name, n ? std::string(buf, n) : std::string("\x01"));
  };
  remember(kChildMarker);
  SetEnvironmentVariableA(kChildMarker, "1");
  for (const EnvVar& e : env) {
    remember(e.first);
    SetEnvironmentVariableA(e.first.c_str(), e.second.c_str());
  }

  std::wstring cmd = L"\"" + exePath() + L"\" --gtest_filter=" + std::wstring(filter.begin(), filter.end());
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  BOOL ok = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  DWORD err = GetLastError();

  for (auto it = saved.rbegin(); it != saved.rend(); ++it)
    SetEnvironmentVariableA(it->first.c_str(), it->second == "\x01" ? nullptr : it->second.c_str());

  if (!ok) throw std::runtime_error("CreateProcess failed: " + lastErrorText(err));
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

std::string scratchDir() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string exe = narrow(exePath());
  std::string dir = exe.substr(0, exe.find_last_of("\\/") + 1) + "win_scratch";
  CreateDirectoryA(dir.c_str(), nullptr);
  dir += "\\";
  dir += info ? std::string(info->test_suite_name()) + "." + info->name() : std::string("global");
  if (!isolated()) {
    // Start empty: remove what an earlier run left.
    std::string pattern = dir + "\\*";
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((dir + "\\" + fd.cFileName).c_str());
      } while (FindNextFileA(h, &fd));
      FindClose(h);
    }
  }
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

}  // namespace vornwin

int main(int argc, char** argv) {
  // A crash ends the run with a message instead of a debugger prompt.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(vornwin::reportCrash);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
