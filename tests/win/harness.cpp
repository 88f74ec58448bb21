// main() of win_tests.exe and the DLL loading helpers of dll.h.
#include "win/dll.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vornwin {
namespace {

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

}  // namespace vornwin

int main(int argc, char** argv) {
  // A crash ends the run with a message instead of a debugger prompt.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(vornwin::reportCrash);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
