// ImportPatch: points one imported function of a loaded module at a stand-in for the object's
// lifetime, by rewriting the module's import address table. The plug-in DLL exports nothing but
// its entry point, so this is how a test makes a folder fail to list inside it (tests run as root
// under Wine, where no permission stops a listing), or any other system call fail; a test program
// that links the code itself patches its own imports (GetModuleHandle(nullptr)). A stand-in that
// forwards must call the original through Original(): in the patched module the import now leads
// back to the stand-in. Fails (Applied() false) when the module does not import the function by
// name from that library.
#pragma once

#include <windows.h>

class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* library, const char* function, void* stand_in);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  bool Applied() const { return slot_ != nullptr; }
  void* Original() const { return original_; }

 private:
  static void Write(void** slot, void* value);
  void** slot_ = nullptr;
  void* original_ = nullptr;
};
