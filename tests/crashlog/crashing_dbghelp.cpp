// A stand-in "dbghelp.dll" placed beside a crashing host: its mini-dump writer crashes, as a
// damaged or mismatched debug-help library can. It has no symbol functions, so the text report
// is written without names.
#include <windows.h>

namespace {
volatile int* volatile g_null = nullptr;
}

extern "C" __declspec(dllexport) BOOL WINAPI MiniDumpWriteDump(HANDLE, DWORD, HANDLE, DWORD, void*, void*, void*) {
  *g_null = 1;
  return FALSE;
}
