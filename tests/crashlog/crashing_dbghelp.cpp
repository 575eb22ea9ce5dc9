// A stand-in "dbghelp.dll" placed beside a crashing host, as a damaged or mismatched debug-help
// library can be: the function named by the environment variable WF_CRASHING_DBGHELP
// ("SymInitialize", which the text report calls first, or "MiniDumpWriteDump") writes to
// address 0; the other does nothing. It has no other symbol functions, so the text report is
// written without names.
#include <windows.h>

#include <cstring>

namespace {

volatile int* volatile g_null = nullptr;

void CrashIfNamed(const char* function) {
  char named[64] = {};
  if (GetEnvironmentVariableA("WF_CRASHING_DBGHELP", named, sizeof named) > 0 && std::strcmp(named, function) == 0) {
    *g_null = 1;
  }
}

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI SymInitialize(HANDLE, const char*, BOOL) {
  CrashIfNamed("SymInitialize");
  return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI MiniDumpWriteDump(HANDLE, DWORD, HANDLE, DWORD, void*, void*, void*) {
  CrashIfNamed("MiniDumpWriteDump");
  return FALSE;
}
