#include "hostregistry.h"

#include <windows.h>

#include "registrykey.h"

const char kPreferencesKey[] = "Software\\Norvane\\Tamblin\\1.0\\Preferences";
const char kWatchFoldersKey[] = "Software\\Norvane\\Tamblin\\1.0\\Preferences\\WatchFolders";
const char kPicturesPreferenceKey[] = "Software\\Norvane\\Brisola\\12.0\\Preferences\\PicturesPath";

namespace {

std::string FolderKey(size_t i) { return std::string(kWatchFoldersKey) + "\\WatchFolder" + std::to_string(i); }

bool IsDirty(const std::string& key_path) {
  RegistryKey key;
  DWORD dirty = 0;
  return key.Open(key_path) && key.Query("Dirty").AsDword(&dirty) && dirty == 1;
}

}  // namespace

bool ParseNumberedEntry(const std::string& name, unsigned long* number) {
  const std::string prefix = "WatchFolder";
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 10 ||
      CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), static_cast<int>(prefix.size()),
                     prefix.c_str(), static_cast<int>(prefix.size())) != CSTR_EQUAL) {
    return false;
  }
  const std::string digits = name.substr(prefix.size());
  if (digits.find_first_not_of("0123456789") != std::string::npos || (digits[0] == '0' && digits.size() > 1)) {
    return false;
  }
  const unsigned long long value = std::stoull(digits);
  if (value > MAXDWORD) return false;
  *number = static_cast<unsigned long>(value);
  return true;
}

bool WriteHostSettings(const HostSettings& settings, std::vector<std::string>* notes, std::string* problem) {
  RegistryKey watch;
  if (!watch.Create(kWatchFoldersKey)) {
    *problem = "cannot write the registry key HKCU\\" + std::string(kWatchFoldersKey);
    return false;
  }
  // Entries of an earlier, longer list must not linger: a later NumFolders would bring them back.
  for (const std::string& name : watch.Subkeys()) {
    unsigned long number = 0;
    if (ParseNumberedEntry(name, &number) && number >= settings.folders.size()) {
      DeleteRegistryTree(std::string(kWatchFoldersKey) + "\\" + name);
      notes->push_back("removed " + name + " of an earlier run");
    }
  }
  bool ok = watch.SetString("LogPath", settings.log_path) &&
            watch.SetDword("NumFolders", static_cast<DWORD>(settings.folders.size()));
  for (size_t i = 0; ok && i < settings.folders.size(); ++i) {
    RegistryKey folder;
    ok = folder.Create(FolderKey(i)) && folder.SetString("Folder", settings.folders[i]);
  }

  RegistryKey preferences;
  ok = ok && preferences.Create(kPreferencesKey);
  DWORD skip = 0;
  if (ok && preferences.Query("SkipFolderScan").AsDword(&skip) && skip != 0) {
    notes->push_back("SkipFolderScan was " + std::to_string(skip) + ", which stops every change notice: set to 0");
  }
  ok = ok && preferences.SetDword("SkipFolderScan", 0) &&
       (settings.exempt.empty() ? preferences.DeleteValue("ExemptWatch")
                                : preferences.SetString("ExemptWatch", settings.exempt));

  RegistryKey pictures;
  if (ok && settings.pictures.empty()) {
    // Cleared: the plug-in falls back to the shell's pictures folder.
    if (pictures.Open(kPicturesPreferenceKey) && pictures.Query("").present) {
      RegistryKey writable;
      ok = writable.Create(kPicturesPreferenceKey) && writable.DeleteValue("");
    }
  } else if (ok) {
    ok = pictures.Create(kPicturesPreferenceKey) && pictures.SetString("", settings.pictures);
  }
  if (!ok) *problem = "cannot write the watch-folder settings to the registry";
  return ok;
}

std::string ReadLogPath() {
  RegistryKey watch;
  if (!watch.Open(kWatchFoldersKey)) return std::string();
  const RegistryValue value = watch.Query("LogPath");
  return value.type == REG_SZ ? value.Text() : std::string();
}

size_t CountDirtyFolders(size_t count) {
  size_t dirty = IsDirty(std::string(kWatchFoldersKey) + "\\WatchFolderPicture") ? 1 : 0;
  for (size_t i = 0; i < count; ++i) dirty += IsDirty(FolderKey(i)) ? 1 : 0;
  return dirty;
}
