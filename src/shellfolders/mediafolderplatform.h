// MediaFolderPlatform: everything the pictures-folder lookup asks of the system, as one table:
// the UTF-16 registry read, the shell module's load and look-up, the one imported shell
// function, and the COM calls.
//
// Production code always goes through GetMediaFolderPlatform(), which answers the system's own
// functions. A test puts a table of stand-ins in their place to show what no Wine prefix can
// (shell libraries, a shell32 without the newer functions, a failing SHGetFolderPathA) and to
// count that every load, initialisation, interface and text is given back.
//
// Cost: one indirect call per platform call. Not thread-safe to switch while a lookup runs.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

class WideString;

struct MediaFolderPlatform {
  // The one registry read of the lookup (ReadRegistryStringW in production).
  LSTATUS (*readRegistryStringW)(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                                 WideString& out);
  decltype(&::LoadLibraryA) loadLibraryA;
  decltype(&::FreeLibrary) freeLibrary;
  decltype(&::GetProcAddress) getProcAddress;
  decltype(&::SHGetFolderPathA) shGetFolderPathA;
  decltype(&::CoInitialize) coInitialize;
  decltype(&::CoUninitialize) coUninitialize;
  decltype(&::CoCreateInstance) coCreateInstance;
  decltype(&::CoTaskMemFree) coTaskMemFree;
};

// The table in force: the stand-ins a test installed, else the system's functions.
const MediaFolderPlatform& GetMediaFolderPlatform();

// Test seam: routes the lookup through the given table (which must outlive its use); null
// restores the system's functions.
void SetMediaFolderPlatformForTesting(const MediaFolderPlatform* platform);
