// A module that registers a top-level filter of its own when it is loaded, as many libraries
// do, and would put the one before it back when unloaded; its filter dies with it.
#include <windows.h>

namespace {

LPTOP_LEVEL_EXCEPTION_FILTER g_before = nullptr;

LONG WINAPI ModuleFilter(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }

}  // namespace

extern "C" __declspec(dllexport) void* FilterModuleFilter() { return reinterpret_cast<void*>(&ModuleFilter); }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
    g_before = SetUnhandledExceptionFilter(ModuleFilter);
  } else if (reason == DLL_PROCESS_DETACH) {
    SetUnhandledExceptionFilter(g_before);
  }
  return TRUE;
}
