// RegKey: owner of one open registry key, and the typed reads of the module's settings.
//
// Reads never create anything; CreateOrOpen creates the key when it is missing. Every read
// answers false when the value did not come from the registry (missing key or value, wrong
// type, too long) and then leaves a defined value behind: the default, or the destination
// untouched when no key is open. A destination is always left NUL-terminated.
#pragma once

#include <windows.h>

#include "platform/handles.h"

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  RegKey(RegKey&& other) noexcept = default;
  RegKey& operator=(RegKey&& other) noexcept = default;

  // Closes any key held, then creates or opens root\subkey with read and write rights.
  bool CreateOrOpen(HKEY root, const char* subkey);
  // Closes any key held, then opens root\subkey for reading only.
  bool OpenForRead(HKEY root, const char* subkey);
  // Closes the key held, if any; the caller's last error stays as it was.
  void Close() { key_.Close(); }

  // REG_SZ into a buffer of size bytes (zero-filled, always terminated); the default otherwise.
  // A string that needs all size bytes for its characters leaves no room for the terminator and
  // counts as too long: the default, not a cut copy, since a cut path names another place.
  bool ReadString(const char* name, const char* default_text, char* destination, DWORD size);
  // As above; *unusable (when given) tells a value that is there but unusable (a REG_SZ that
  // does not fit, or any other type) from a missing one, for callers that must not use the
  // default in its place.
  bool ReadString(const char* name, const char* default_text, char* destination, DWORD size,
                  bool* unusable);
  // REG_DWORD; the default otherwise.
  bool ReadDword(const char* name, DWORD default_value, DWORD* destination);

  HKEY Handle() const { return key_.Get(); }
  bool IsOpen() const { return key_.IsOpen(); }

 private:
  RegistryKey key_;
};
