// A plug-in that imports from gone.dll, which is built into a folder of its own where the loader
// does not look: LoadLibrary fails with ERROR_MOD_NOT_FOUND.
#include <windows.h>

extern "C" __declspec(dllimport) int GoneFunction();

extern "C" __declspec(dllexport) HRESULT __stdcall EventCallback(const char*) { return GoneFunction(); }
