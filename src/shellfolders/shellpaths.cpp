#include "shellfolders/shellpaths.h"

#include "shellfolders/comowners.h"
#include "shellfolders/mediafolderplatform.h"
#include "shellfolders/shell32dll.h"
#include "shellfolders/shellconstants.h"

HRESULT GetKnownFolderParsingName(REFKNOWNFOLDERID id, WideString& out) {
  ByteString name;
  HRESULT result;
  {
    const CShell32DLL shell;
    result = shell.GetKnownFolderName(id, SIGDN_DESKTOPABSOLUTEPARSING, name);
  }
  if (result != S_OK) return E_FAIL;
  return AnsiToWide(name.CStr(), out) ? S_OK : E_FAIL;
}

HRESULT GetCsidlFolderPath(int csidl, WideString& out) {
  char buffer[MAX_PATH] = {};
  const HRESULT result = GetMediaFolderPlatform().shGetFolderPathA(nullptr, csidl, nullptr,
                                                                   SHGFP_TYPE_CURRENT, buffer);
  // S_FALSE means the folder does not exist yet: not a path to use.
  if (result != S_OK) return E_FAIL;
  buffer[MAX_PATH - 1] = '\0';
  return AnsiToWide(buffer, out) ? S_OK : E_FAIL;
}

HRESULT GetKnownFolderPath(REFKNOWNFOLDERID id, int csidl, WideString& out) {
  if (GetKnownFolderParsingName(id, out) == S_OK) return S_OK;
  if (GetCsidlFolderPath(csidl, out) == S_OK) return S_OK;
  return GetCsidlFolderPath(CSIDL_PERSONAL, out);
}

HRESULT ResolveFileSystemPath(const WideString& input, WideString& out) {
  if (input.IsEmpty()) return OLE_E_BLANK;
  WideString resolved;
  if (FAILED(ResolveShellPath(input.CStr(), resolved)) && !resolved.Assign(input)) {
    return E_OUTOFMEMORY;
  }
  out.Swap(resolved);
  return S_OK;
}

HRESULT ResolveShellPath(const wchar_t* path, WideString& out) {
  const ComInitialization com;
  // Declared after the initialisation, so released before it is undone.
  ComPtr<IShellLibrary> library;
  if (LoadShellLibrary(path, library.Put()) == S_OK && library) {
    return GetLibrarySaveFolderPath(library.Get(), out);
  }
  return GetItemFileSystemPath(path, out);
}

HRESULT LoadShellLibrary(const wchar_t* path, IShellLibrary** library) {
  if (!library) return E_FAIL;
  const CShell32DLL shell;
  ComPtr<IShellItem> item;
  if (FAILED(shell.CreateItemFromParsingName(path, item.Put())) || !item) return E_FAIL;

  // What the SDK's inline SHLoadLibraryFromItem does, with the platform's CoCreateInstance.
  *library = nullptr;
  ComPtr<IShellLibrary> loaded;
  HRESULT result;
  {
    ComPtr<IShellLibrary> created;
    result = GetMediaFolderPlatform().coCreateInstance(kClsidShellLibrary, nullptr,
                                                       CLSCTX_INPROC_SERVER, kIidShellLibrary,
                                                       created.PutVoid());
    if (SUCCEEDED(result) && !created) result = E_FAIL;
    if (SUCCEEDED(result)) result = created->LoadLibraryFromItem(item.Get(), STGM_READ);
    if (SUCCEEDED(result)) {
      result = created->QueryInterface(kIidShellLibrary, loaded.PutVoid());
    }
  }
  // Only an exact S_OK counts; a reference obtained on the way is given back, not handed out.
  if (result != S_OK || !loaded) return E_FAIL;
  *library = loaded.Detach();
  return S_OK;
}

HRESULT GetLibrarySaveFolderPath(IShellLibrary* library, WideString& out) {
  if (!library) return E_INVALIDARG;
  ComPtr<IShellItem> folder;
  if (library->GetDefaultSaveFolder(DSFT_DETECT, kIidShellItem, folder.PutVoid()) !=
          S_OK ||
      !folder) {
    return E_FAIL;
  }
  // The display name's own result is not consulted: a text is what counts.
  CoTaskMemText text;
  folder->GetDisplayName(SIGDN_FILESYSPATH, text.Put());
  if (!text) return E_FAIL;
  return out.Assign(text.Get()) ? S_OK : E_FAIL;
}

HRESULT GetItemFileSystemPath(const wchar_t* path, WideString& out) {
  const CShell32DLL shell;
  // Declared after the shell object, so released before it unloads and undoes COM.
  ComPtr<IShellItem> item;
  if (FAILED(shell.CreateItemFromParsingName(path, item.Put())) || !item) return E_FAIL;
  CoTaskMemText text;
  if (item->GetDisplayName(SIGDN_FILESYSPATH, text.Put()) != S_OK || !text) return E_FAIL;
  return out.Assign(text.Get()) ? S_OK : E_FAIL;
}
