// The library entry of the 64-bit test build: the plug-in's static objects in their order, without
// the crash handler, whose stack walk and register dump are written for 32-bit threads. The
// shipped DLL is built from src/plugin/dllmain.cpp.
#include <windows.h>

#include "platform/dllaccesspath.h"
#include "shellfolders/stringheapmanager.h"

namespace {

StringHeapManager g_string_heap_manager;
DLLAccessPath g_dll_access_path;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
