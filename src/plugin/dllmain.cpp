// The library entry routine and the module's static objects.
//
// The static objects live here, in one translation unit, because only there does C++ fix their
// order: constructed top to bottom before DllMain sees DLL_PROCESS_ATTACH, destroyed bottom to
// top after DLL_PROCESS_DETACH on FreeLibrary (TerminateProcess runs neither). The crash handler
// comes last so that unloading undoes its process-wide changes before anything else goes.
#include <windows.h>

#include "crashlog/crashhandler.h"
#include "platform/dllaccesspath.h"
#include "shellfolders/stringheapmanager.h"

namespace {

// 1. The heap manager of the wide strings (over the process heap), first, so that every wide
//    string the objects below hold can still be freed when they are destroyed.
StringHeapManager g_string_heap_manager;

// 2. The install-path resolver.
DLLAccessPath g_dll_access_path;

// 3. The crash handler, last: its constructor installs the process's unhandled-exception filter
//    and its destructor restores the previous one, first thing on unload.
CrashHandler g_crash_handler;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  // Nothing else belongs here: the loader lock is held, and every event arrives through
  // EventCallback on the host's thread.
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
