// CShell32DLL: one load of "shell32.dll" and one COM initialisation of the calling thread, for
// the lifetime of a local object, and the shell calls that need the newer functions looked up
// by name, and ILFree by ordinal (so the module also loads on systems that lack them or export
// ILFree by ordinal only).
//
// Cost: a LoadLibraryA/FreeLibrary pair and a CoInitialize/CoUninitialize pair per object, and
// a GetProcAddress per call; nothing is cached between objects.
//
// Failure: a module that did not load or a function it lacks makes the operation answer E_FAIL;
// nothing is reported. Destruction undoes COM first (only when this object's initialisation
// succeeded), then the load. Never keep an object beyond the operation that made it, and
// release what it handed out before it is destroyed.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "platform/handles.h"
#include "shellfolders/comowners.h"
#include "shellfolders/mediafolderplatform.h"
#include "text/bytestring.h"

class CShell32DLL {
 public:
  CShell32DLL();
  virtual ~CShell32DLL();
  CShell32DLL(const CShell32DLL&) = delete;
  CShell32DLL& operator=(const CShell32DLL&) = delete;

  // SHCreateItemFromParsingName(path, no bind context, IID_IShellItem). *item is null unless
  // the result is a success; a null path or item slot gives E_INVALIDARG.
  HRESULT CreateItemFromParsingName(const wchar_t* path, IShellItem** item) const;
  // The known folder's name in the given form, through SHGetKnownFolderIDList (with
  // KF_FLAG_CREATE) and SHGetNameFromIDList, converted to the ANSI code page. S_OK or E_FAIL;
  // the name is written only on S_OK.
  HRESULT GetKnownFolderName(REFKNOWNFOLDERID id, SIGDN form, ByteString& name) const;

  bool IsLoaded() const { return module_.IsOpen(); }
  bool InitializedCom() const { return comInitialized_ != 0; }

  // The one typed look-up of the loaded module's functions: Function is the function's type,
  // for instance decltype(::SHCreateItemFromParsingName); name is the function's name or an
  // ordinal made with MAKEINTRESOURCEA. Null when the module did not load or lacks the function.
  template <typename Function>
  Function* LookUp(const char* name) const {
    return FindFunction<Function>(module_.Get(), name, GetMediaFolderPlatform().getProcAddress);
  }

 private:
  ShellModule module_;
  BOOL comInitialized_;
};
