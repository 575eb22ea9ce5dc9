// The dependency of needsgone.dll; on its own, a DLL that does not export EventCallback.
extern "C" __declspec(dllexport) int GoneFunction() { return 0; }
