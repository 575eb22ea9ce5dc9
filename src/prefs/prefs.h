// One-call access to the module's settings below the current user's registry.
//
// Each helper opens its key for the one call and closes it again. current_user selects
// HKEY_CURRENT_USER (every caller in the module); false selects HKEY_CLASSES_ROOT.
// When the key cannot be opened a read returns false and leaves the destination untouched,
// so callers set their defaults first.
#pragma once

#include <windows.h>

// "Software\Norvane\Tamblin\1.0\Preferences" and its "WatchFolders" subkey.
extern const char kPreferencesKey[];
extern const char kWatchFoldersKey[];

bool ReadPrefString(bool current_user, const char* name, const char* default_text,
                    char* destination, DWORD size, const char* subkey);
// As above; *unusable (when given) is set when the value exists but is not a REG_SZ that fits
// size: the default then stands in for a setting that was given, not for a missing one.
bool ReadPrefString(bool current_user, const char* name, const char* default_text,
                    char* destination, DWORD size, const char* subkey, bool* unusable);
bool ReadPrefDword(bool current_user, const char* name, DWORD default_value,
                   DWORD* destination, const char* subkey);
// Creates the subkey when missing; true when the value was written.
bool WritePrefDword(bool current_user, const char* name, DWORD value, const char* subkey);
