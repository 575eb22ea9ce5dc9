#include "hostregistry.h"

#include <windows.h>

#include <cstdio>

namespace {

const char kPreferences[] = "Software\\Norvane\\Tamblin\\1.0\\Preferences";
const char kWatchFolders[] = "Software\\Norvane\\Tamblin\\1.0\\Preferences\\WatchFolders";
const char kPicturesPreference[] = "Software\\Norvane\\Brisola\\12.0\\Preferences\\PicturesPath";

class Key {
 public:
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  bool Create(const std::string& path) {
    return RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                           nullptr, &key_, nullptr) == ERROR_SUCCESS;
  }
  bool Open(const std::string& path) {
    return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key_) == ERROR_SUCCESS;
  }
  bool SetString(const char* name, const std::string& text) {
    return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
  }
  bool SetDword(const char* name, DWORD value) {
    return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value)) == ERROR_SUCCESS;
  }
  void Delete(const char* name) { RegDeleteValueA(key_, name); }
  std::string GetString(const char* name) const {
    char buffer[1024] = {};
    DWORD type = 0, size = sizeof(buffer) - 1;
    if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS || type != REG_SZ) {
      return std::string();
    }
    return buffer;
  }
  bool GetDword(const char* name, DWORD* value) const {
    DWORD type = 0, size = sizeof(*value);
    return RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
               ERROR_SUCCESS && type == REG_DWORD;
  }
  HKEY handle() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::string FolderKey(size_t i) {
  return std::string(kWatchFolders) + "\\WatchFolder" + std::to_string(i);
}

}  // namespace

bool WriteHostSettings(const HostSettings& settings, std::string* problem) {
  Key watch;
  if (!watch.Create(kWatchFolders)) {
    *problem = "cannot write the registry key HKCU\\" + std::string(kWatchFolders);
    return false;
  }
  // Folders of an earlier, longer list must not linger behind the new count.
  DWORD old_count = 0;
  watch.GetDword("NumFolders", &old_count);
  for (size_t i = settings.folders.size(); i < old_count && i < 4096; ++i) {
    RegDeleteTreeA(HKEY_CURRENT_USER, FolderKey(i).c_str());
  }
  bool ok = watch.SetString("LogPath", settings.log_path) &&
            watch.SetDword("NumFolders", static_cast<DWORD>(settings.folders.size()));
  for (size_t i = 0; ok && i < settings.folders.size(); ++i) {
    Key folder;
    ok = folder.Create(FolderKey(i)) && folder.SetString("Folder", settings.folders[i]);
  }
  Key preferences;
  ok = ok && preferences.Create(kPreferences);
  if (ok && settings.exempt.empty()) {
    preferences.Delete("ExemptWatch");
  } else if (ok) {
    ok = preferences.SetString("ExemptWatch", settings.exempt);
  }
  if (ok && !settings.pictures.empty()) {
    Key pictures;
    ok = pictures.Create(kPicturesPreference) && pictures.SetString("", settings.pictures);
  }
  if (!ok) *problem = "cannot write the watch-folder settings to the registry";
  return ok;
}

HostSettings ReadHostSettings() {
  HostSettings settings;
  Key watch;
  if (watch.Open(kWatchFolders)) {
    settings.log_path = watch.GetString("LogPath");
    DWORD count = 0;
    watch.GetDword("NumFolders", &count);
    for (DWORD i = 0; i < count && i < 4096; ++i) {
      Key folder;
      settings.folders.push_back(folder.Open(FolderKey(i)) ? folder.GetString("Folder") : "");
    }
  }
  Key preferences;
  if (preferences.Open(kPreferences)) settings.exempt = preferences.GetString("ExemptWatch");
  Key pictures;
  if (pictures.Open(kPicturesPreference)) settings.pictures = pictures.GetString("");
  return settings;
}

std::vector<DirtyFlag> ReadDirtyFlags() {
  std::vector<DirtyFlag> flags;
  Key watch;
  if (!watch.Open(kWatchFolders)) return flags;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof(name);
    if (RegEnumKeyExA(watch.handle(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    Key sub;
    DirtyFlag flag{name, false, 0};
    DWORD value = 0;
    if (sub.Open(std::string(kWatchFolders) + "\\" + name) && sub.GetDword("Dirty", &value)) {
      flag.present = true;
      flag.value = value;
    }
    flags.push_back(flag);
  }
  return flags;
}
