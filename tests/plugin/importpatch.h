// ImportPatch: points one imported function of a loaded module at a stand-in for the object's
// lifetime, by rewriting the module's import address table. The plug-in DLL exports nothing but
// its entry point, so this is how a test makes a folder fail to list inside it (tests run as root
// under Wine, where no permission stops a listing). Fails (Applied() false) when the module does
// not import the function by name from that library.
#pragma once

#include <windows.h>

class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* library, const char* function, void* stand_in);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  bool Applied() const { return slot_ != nullptr; }

 private:
  static void Write(void** slot, void* value);
  void** slot_ = nullptr;
  void* original_ = nullptr;
};
