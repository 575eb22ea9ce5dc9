#include "platform/directories.h"

#include <cstring>

#include "text/mbtext.h"

namespace {

bool IsSeparatorAt(const char* p) { return MbIsSingleByteAt(p, '\\') || MbIsSingleByteAt(p, '/'); }

}  // namespace

bool DirectoryExists(const char* path) {
  if (!path) return false;
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool DirectoryExists(const ParsedPath& path) { return DirectoryExists(path.GetPath().CStr()); }

HRESULT CreateDirectoryPath(const ParsedPath& path) {
  if (DirectoryExists(path)) return S_OK;

  ParsedPath current = path.Drive();
  ByteString rest = path.GetPath();
  if (current.IsValid()) {
    rest.Replace(current.GetPath().CStr(), "", false);
  } else if (rest.CStr()[0] == '\\') {
    // Rooted at the current drive: start from that root, or Join would make the path relative.
    current = ParsedPath("\\");
  }

  const int fields = rest.CountFields('\\');
  for (int index = 1; index <= fields; ++index) {
    ByteString field = rest.Field('\\', index);
    field.TrimLeft();
    field.TrimRight();
    if (field.IsEmpty()) continue;
    current = current.Join(field.CStr());
    if (!current.IsValid()) return E_FAIL;  // out of memory
    if (!DirectoryExists(current) && !CreateDirectoryA(current.GetPath().CStr(), nullptr)) {
      return E_FAIL;
    }
  }
  // With no level left to create (a drive root, a bare server) nothing above has checked that
  // the root is there: answer for what exists now, not for what was attempted.
  return DirectoryExists(current) ? S_OK : E_FAIL;
}

bool CreateDirectoryChain(ByteString path) {
  if (EndsWithBackslash(path.CStr())) path = path.Left(path.Length() - 1);

  if (CreateDirectoryA(path.CStr(), nullptr)) return true;
  const DWORD error = GetLastError();
  // Checked by attributes: the top of a drive may be refused rather than reported as existing.
  if (DirectoryExists(path.CStr())) return true;
  if (error == ERROR_ALREADY_EXISTS) return false;
  const int separator = path.ReverseFind('\\');
  if (separator < 0) return false;
  // One level up per missing ancestor; the depth is bounded by the backslashes of the path.
  if (!CreateDirectoryChain(path.Left(separator + 1))) return false;
  return CreateDirectoryA(path.CStr(), nullptr) != FALSE;
}

bool CreateFolderChain(const char* folder) noexcept {
  char path[kFolderChainPathSize];
  std::memset(path, 0, sizeof path);
  if (folder == nullptr || std::strlen(folder) >= sizeof path) return false;
  BoundedCopy(path, folder, sizeof path);
  if (path[0] == '\0') return false;

  // Past the root, which is never created: "C:\", "\\server\share\" or a leading "\".
  char* p = path;
  if (path[1] == ':') {
    p = path + 2;
    if (IsSeparatorAt(p)) p = MbNext(p);
  } else if (IsSeparatorAt(path) && IsSeparatorAt(path + 1)) {
    p = path + 2;
    for (int part = 0; part < 2 && *p != '\0'; ++part) {
      while (*p != '\0' && !IsSeparatorAt(p)) p = MbNext(p);
      if (*p != '\0') p = MbNext(p);
    }
  } else if (IsSeparatorAt(path)) {
    p = path + 1;
  }
  for (; *p != '\0'; p = MbNext(p)) {
    if (!IsSeparatorAt(p)) continue;
    const char separator = *p;
    *p = '\0';
    CreateDirectoryA(path, nullptr);  // an existing folder answers 183, which is fine
    *p = separator;
  }
  CreateDirectoryA(path, nullptr);
  return DirectoryExists(path);
}
