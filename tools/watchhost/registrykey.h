// One open key below HKEY_CURRENT_USER, closed when the object goes, and its values as stored:
// type and bytes, so that a caller can tell a missing value from one of the wrong type.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RegistryValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;

  // The text of a string value up to its first NUL (any string type); "" for other types.
  std::string Text() const;
  // True for a REG_DWORD of at most 8 bytes, as the plug-in reads it (its first four bytes).
  bool AsDword(DWORD* value) const;
};

// "REG_SZ", "REG_DWORD", ... or "type <n>".
std::string RegistryTypeName(DWORD type);

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool Open(const std::string& path);    // for reading; false when it is not there
  bool Create(const std::string& path);  // for reading and writing, made when missing
  bool IsOpen() const { return key_ != nullptr; }

  RegistryValue Query(const char* name) const;
  bool SetString(const char* name, const std::string& text);
  bool SetDword(const char* name, DWORD value);
  // True when the value is gone afterwards (also when it was never there).
  bool DeleteValue(const char* name);
  // The names of the subkeys, in the registry's order.
  std::vector<std::string> Subkeys() const;

 private:
  HKEY key_ = nullptr;
};

// Deletes a key below HKEY_CURRENT_USER with everything below it.
bool DeleteRegistryTree(const std::string& path);
