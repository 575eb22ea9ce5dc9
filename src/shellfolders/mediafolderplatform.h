// MediaFolderPlatform: everything the pictures-folder lookup asks of the system, as one table:
// the UTF-16 registry read, the shell module's load and look-up, the one imported shell
// function, and the COM calls.
//
// Production code always goes through GetMediaFolderPlatform(), which answers the system's own
// functions. It is defined alone in mediafolderplatform.cpp so that a test program can define it
// itself and answer a table of stand-ins, to show what no Wine prefix can (shell libraries, a
// shell32 without the newer functions, a failing SHGetFolderPathA) and to count that every load,
// initialisation, interface and text is given back. The module itself has no way to switch.
//
// Cost: one indirect call per platform call.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

class WideString;

struct MediaFolderPlatform {
  // The one registry read of the lookup (ReadRegistryStringW in production).
  LSTATUS (*readRegistryStringW)(HKEY root, const wchar_t* sub_key, const wchar_t* value_name,
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

// The table the lookup goes through.
const MediaFolderPlatform& GetMediaFolderPlatform();

// The system's own functions.
const MediaFolderPlatform& SystemMediaFolderPlatform();
