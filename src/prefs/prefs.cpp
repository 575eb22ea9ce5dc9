#include "prefs/prefs.h"

#include "prefs/regkey.h"

const char kPreferencesKey[] = "Software\\Norvane\\Tamblin\\1.0\\Preferences";
const char kWatchFoldersKey[] = "Software\\Norvane\\Tamblin\\1.0\\Preferences\\WatchFolders";

namespace {

HKEY RootOf(bool current_user) { return current_user ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT; }

}  // namespace

bool ReadPrefString(bool current_user, const char* name, const char* default_text,
                    char* destination, DWORD size, const char* subkey) {
  return ReadPrefString(current_user, name, default_text, destination, size, subkey, nullptr);
}

bool ReadPrefString(bool current_user, const char* name, const char* default_text,
                    char* destination, DWORD size, const char* subkey, bool* unusable) {
  if (unusable) *unusable = false;
  RegKey key;
  if (!key.OpenForRead(RootOf(current_user), subkey)) return false;
  return key.ReadString(name, default_text, destination, size, unusable);
}

bool ReadPrefDword(bool current_user, const char* name, DWORD default_value,
                   DWORD* destination, const char* subkey) {
  RegKey key;
  if (!key.OpenForRead(RootOf(current_user), subkey)) return false;
  return key.ReadDword(name, default_value, destination);
}

bool WritePrefDword(bool current_user, const char* name, DWORD value, const char* subkey) {
  RegKey key;
  if (!key.CreateOrOpen(RootOf(current_user), subkey)) return false;
  const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                        static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
  return RegSetValueExA(key.Handle(), name, 0, REG_DWORD, data, sizeof(data)) == ERROR_SUCCESS;
}
