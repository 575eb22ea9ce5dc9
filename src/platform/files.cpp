#include "platform/files.h"

#include <windows.h>

#include "platform/handles.h"

FilePresence ProbeFile(const char* path) {
  if (!path) return FilePresence::kUnknown;
  const KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.IsOpen()) return FilePresence::kPresent;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FilePresence::kMissing
                                                                        : FilePresence::kUnknown;
}

bool FileExists(const char* path) { return ProbeFile(path) == FilePresence::kPresent; }
