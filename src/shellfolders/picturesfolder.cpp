#include "shellfolders/picturesfolder.h"

#include "platform/directories.h"
#include "platform/pathtext.h"
#include "shellfolders/registrystring.h"
#include "shellfolders/shellconstants.h"
#include "shellfolders/shellpaths.h"
#include "text/bytestring.h"
#include "text/parsedpath.h"

const char kPlayerPreferencesKey[] = "Software\\Norvane\\Brisola\\12.0\\Preferences";
const char kPicturesPreferenceName[] = "PicturesPath";

namespace {

struct DefaultLocation {
  MediaFolderKind kind;
  const GUID* knownFolder;
  int csidl;
};

const DefaultLocation kDefaultLocations[] = {
    {MediaFolderKind::Music, &kFolderIdMusicLibrary, CSIDL_MYMUSIC},
    {MediaFolderKind::Videos, &kFolderIdVideosLibrary, CSIDL_MYVIDEO},
    {MediaFolderKind::Pictures, &kFolderIdPicturesLibrary, CSIDL_MYPICTURES},
};

// '*' or '?' anywhere but in a leading \\?\ can be no part of a folder's name. A '?' is also
// what the ANSI code page puts for a character it lacks, and Wine's shell resolves X\? to X\.
// (X itself): asking the shell would hand back a folder the preference never named.
bool HasWildcard(const wchar_t* text) {
  if (text[0] == L'\\' && text[1] == L'\\' && text[2] == L'?' && text[3] == L'\\') text += 4;
  for (; *text; ++text) {
    if (*text == L'*' || *text == L'?') return true;
  }
  return false;
}

// A candidate is usable when it resolves to a directory that exists or could be created.
bool IsUsableCandidate(const WideString& candidate) {
  if (HasWildcard(candidate.CStr())) return false;
  WideString resolved;
  if (ResolveFileSystemPath(candidate, resolved) != S_OK) return false;
  return EnsureFolderExists(resolved) == S_OK;
}

}  // namespace

HRESULT GetPicturesFolder(WideString& folder) {
  WideString candidate;
  if (GetMediaFolderPreference(kPicturesPreferenceName, MediaFolderKind::Pictures, candidate) !=
      S_OK) {
    return E_FAIL;
  }
  WideString resolved;
  if (ResolveFileSystemPath(candidate, resolved) != S_OK) return E_FAIL;
  folder.Swap(resolved);
  return S_OK;
}

HRESULT GetMediaFolderPreference(const char* name, MediaFolderKind kind, WideString& folder) {
  if (!name || !*name) return E_INVALIDARG;
  WideString candidate;
  if (ReadPlayerPreference(name, candidate) == S_OK && IsUsableCandidate(candidate)) {
    folder.Swap(candidate);
    return S_OK;
  }
  if (GetDefaultMediaFolder(kind, candidate) == S_OK && IsUsableCandidate(candidate)) {
    folder.Swap(candidate);
    return S_OK;
  }
  return E_FAIL;
}

HRESULT ReadPlayerPreference(const char* name, WideString& text) {
  // An empty name would read the default value of the preferences key itself.
  if (!name || !*name) return E_INVALIDARG;
  ByteString key_path;
  if (key_path.Format("%s\\%s", kPlayerPreferencesKey, name) < 0) return E_FAIL;
  ByteString value;
  if (ReadRegistryString(HKEY_CURRENT_USER, key_path.CStr(), "", value) != ERROR_SUCCESS) {
    return E_FAIL;
  }
  WideString converted;
  if (!AnsiToWide(value.CStr(), converted)) return E_FAIL;
  text.Swap(converted);
  return S_OK;
}

HRESULT GetDefaultMediaFolder(MediaFolderKind kind, WideString& folder) {
  for (const DefaultLocation& location : kDefaultLocations) {
    if (location.kind == kind) {
      return GetKnownFolderPath(*location.knownFolder, location.csidl, folder);
    }
  }
  return E_FAIL;
}

HRESULT EnsureFolderExists(const WideString& path) {
  if (HasWildcard(path.CStr())) return E_FAIL;
  ByteString text;
  if (!WideToAnsi(path.CStr(), text)) return E_FAIL;
  if (text.Length() >= MAX_PATH || !IsFullyQualified(text.CStr())) return E_FAIL;
  const ParsedPath parsed(text);
  if (DirectoryExists(parsed)) return S_OK;
  return CreateDirectoryPath(parsed) == S_OK ? S_OK : E_FAIL;
}
