// The shell operations behind the pictures-folder lookup: where the shell keeps a media folder
// (known folders and libraries on newer systems, CSIDL folders on older ones) and how a shell
// parsing name, of a library or of a plain folder, becomes a file-system path.
//
// Cost: each operation loads and frees shell32 and initialises COM for its own duration (one
// resolution does so several times); a library or item resolution may touch the disk.
//
// Failure: every failure is a result code, nothing is reported, and an output is written only
// when the operation answers S_OK (LoadShellLibrary sets its slot to null once the item exists).
// Every text the shell returns is freed with CoTaskMemFree and every interface released while
// the COM initialisation and module load that enclose its use are still in force.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "shellfolders/widestring.h"

// The known folder's desktop-absolute parsing name (passed through the ANSI code page).
// S_OK or E_FAIL.
HRESULT GetKnownFolderParsingName(REFKNOWNFOLDERID id, WideString& out);
// SHGetFolderPathA for the CSIDL folder; anything but S_OK from it (S_FALSE too) gives E_FAIL.
HRESULT GetCsidlFolderPath(int csidl, WideString& out);
// The known folder, else the CSIDL folder, else the documents folder. S_OK or E_FAIL.
HRESULT GetKnownFolderPath(REFKNOWNFOLDERID id, int csidl, WideString& out);
// OLE_E_BLANK for an empty input (out untouched); otherwise S_OK with the shell's file-system
// path for the input, or the input itself when the shell gives none (E_OUTOFMEMORY, out
// untouched, when that copy cannot be made).
HRESULT ResolveFileSystemPath(const WideString& input, WideString& out);
// A library's default save folder when the path loads as a library, else the item's
// file-system path. The item route is not tried for a library without a save folder.
HRESULT ResolveShellPath(const wchar_t* path, WideString& out);
// Loads the path as a shell library (read-only). S_OK (*library holds a reference the caller
// releases) or E_FAIL.
HRESULT LoadShellLibrary(const wchar_t* path, IShellLibrary** library);
// The library's default save folder (detected) as a file-system path. E_INVALIDARG for a null
// library; otherwise S_OK or E_FAIL.
HRESULT GetLibrarySaveFolderPath(IShellLibrary* library, WideString& out);
// The file-system path of the item the path parses to. S_OK or E_FAIL.
HRESULT GetItemFileSystemPath(const wchar_t* path, WideString& out);
