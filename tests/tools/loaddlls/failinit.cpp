// A plug-in whose initialisation fails: DllMain refuses the process attach, so LoadLibrary fails
// with ERROR_DLL_INIT_FAILED although the file is a good DLL exporting EventCallback.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT __stdcall EventCallback(const char*) { return 0; }

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) { return reason != DLL_PROCESS_ATTACH; }
