#include "prefs/fileutil.h"

#include <windows.h>

FilePresence ProbeFile(const char* path) {
  if (!path) return FilePresence::kUnknown;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return FilePresence::kPresent;
  }
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FilePresence::kMissing
                                                                        : FilePresence::kUnknown;
}

bool FileExists(const char* path) {
  // A directory (error 5) or a file nobody may read counts as missing, and callers rely on that.
  return ProbeFile(path) == FilePresence::kPresent;
}

bool IsExistingDirectory(const char* path) {
  if (!path) return false;
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectoryChain(ByteString path) {
  const int last = path.ReverseFind('\\');
  if (last >= 0 && last == path.Length() - 1) path = path.Left(last);

  if (CreateDirectoryA(path.CStr(), nullptr)) return true;
  const DWORD error = GetLastError();
  // Checked by attributes: the top of a drive may be refused rather than reported as existing.
  if (IsExistingDirectory(path.CStr())) return true;
  if (error == ERROR_ALREADY_EXISTS) return false;
  const int separator = path.ReverseFind('\\');
  if (separator < 0) return false;
  // One level up per missing ancestor; the depth is bounded by the backslashes of the path.
  if (!CreateDirectoryChain(path.Left(separator + 1))) return false;
  return CreateDirectoryA(path.CStr(), nullptr) != FALSE;
}
