// main() of win_tests.exe and the DLL loading helpers of dll.h.
#include "win/dll.h"

#include <cstdio>

namespace vornwin {

HMODULE dll() {
  static HMODULE loaded = nullptr;
  if (loaded) return loaded;
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string path = exe;
  path = path.substr(0, path.find_last_of("\\/") + 1) + "vornodbc64.dll";
  loaded = LoadLibraryA(path.c_str());
  if (!loaded) throw std::runtime_error("LoadLibrary(" + path + ") failed: error " + std::to_string(GetLastError()));
  return loaded;
}

FARPROC dllProc(const char* name) {
  FARPROC p = GetProcAddress(dll(), name);
  if (!p) throw std::runtime_error(std::string("vornodbc64.dll does not export ") + name);
  return p;
}

}  // namespace vornwin

// A crash ends the run with a message instead of a debugger prompt.
static LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
  std::fprintf(stderr, "win_tests: unhandled exception 0x%08lx at %p\n",
               static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
               info->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(reportCrash);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
