// Owners for what the pictures-folder lookup gets through its platform table: a text the shell
// allocated, a load of the shell module, and one COM initialisation of the calling thread. COM
// interface references are ComPtr (platform/handles.h).
//
// Each gives its object back through GetMediaFolderPlatform() when it goes out of scope.
// Declare them after the initialisation (ComInitialization or CShell32DLL) their use depends
// on: C++ destroys locals in reverse order, so every interface is released and every text freed
// while COM and the shell module are still there.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "platform/handles.h"
#include "shellfolders/mediafolderplatform.h"

struct CoTaskMemTextKind {
  using Type = wchar_t*;
  static wchar_t* None() noexcept { return nullptr; }
  static bool IsNone(wchar_t* text) noexcept { return text == nullptr; }
  static void Close(wchar_t* text) noexcept { GetMediaFolderPlatform().coTaskMemFree(text); }
};

struct ShellModuleKind {
  using Type = HMODULE;
  static HMODULE None() noexcept { return nullptr; }
  static bool IsNone(HMODULE module) noexcept { return module == nullptr; }
  static void Close(HMODULE module) noexcept { GetMediaFolderPlatform().freeLibrary(module); }
};

// One UTF-16 text that the shell allocated for its caller, freed with CoTaskMemFree.
using CoTaskMemText = UniqueHandle<CoTaskMemTextKind>;
// One load of a module through loadLibraryA, dropped with freeLibrary.
using ShellModule = UniqueHandle<ShellModuleKind>;

// One CoInitialize of the calling thread, undone only when it succeeded (S_OK or S_FALSE).
// On a thread already in the multithreaded apartment it fails and nothing is undone.
class ComInitialization {
 public:
  ComInitialization() : succeeded_(SUCCEEDED(GetMediaFolderPlatform().coInitialize(nullptr))) {}
  ~ComInitialization() {
    if (succeeded_) GetMediaFolderPlatform().coUninitialize();
  }
  ComInitialization(const ComInitialization&) = delete;
  ComInitialization& operator=(const ComInitialization&) = delete;

  bool Succeeded() const { return succeeded_; }

 private:
  bool succeeded_;
};
