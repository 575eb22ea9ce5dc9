// A module built the way the plug-in is: its CrashHandler is a static object, constructed when
// the module is loaded and destroyed when it is unloaded. It lets the tests load and unload
// the handler and crash a host without the plug-in's other parts.
#include <windows.h>

#include "crashlog/crashhandler.h"

static CrashHandler g_crash_handler;

// The report folder the handler computed at load.
extern "C" __declspec(dllexport) const char* CrashlogModuleReportFolder() {
  return g_crash_handler.ReportFolder();
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
  return TRUE;
}
