#include "plugin/refresh.h"

#include <cstdio>
#include <cstring>

#include "plugin/eventcallback.h"
#include "prefs/prefs.h"
#include "prefs/regkey.h"
#include "scan/compare.h"
#include "scan/scanlog.h"

namespace {

constexpr DWORD kRefreshLogPathBuffer = 512;
constexpr DWORD kPurgeLogPathBuffer = 260;
constexpr DWORD kFolderBuffer = 512;
constexpr std::size_t kKeyPathBuffer = 256;
constexpr std::size_t kSubkeyNameBuffer = 32;
// A change list's name is composed in 520 bytes, as the scan logs' are.
constexpr std::size_t kMaxFileNameLength = 519;
constexpr char kWatchChangeList[] = "fldrscan.out";

// The n of "WatchFolder<n>" (ASCII case ignored, as the registry does), written the way the
// refresh writes it: decimal, no sign, no leading zero.
bool ParseFolderNumber(const char* name, DWORD* number) {
  constexpr char kPrefix[] = "WatchFolder";
  constexpr std::size_t kPrefixLength = sizeof(kPrefix) - 1;
  if (_strnicmp(name, kPrefix, kPrefixLength) != 0) return false;
  const char* digits = name + kPrefixLength;
  if (*digits < '0' || *digits > '9' || (digits[0] == '0' && digits[1] != '\0')) return false;
  unsigned long long value = 0;
  for (const char* p = digits; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > MAXDWORD) return false;
  }
  *number = static_cast<DWORD>(value);
  return true;
}

// "LogPath" into the buffer (default empty). False when the value is there but does not fit:
// the default would put logs and change lists into the current directory instead.
bool ReadLogPrefix(char* destination, DWORD size) {
  bool too_long = false;
  ReadPrefString(true, "LogPath", "", destination, size, kWatchFoldersKey, &too_long);
  return !too_long;
}

// How many numbered entries can exist: one past the highest "WatchFolder<n>" subkey, at most
// count. A hostile "NumFolders" (up to 4,294,967,295) would otherwise cost one registry read per
// number; the entries skipped here have no key and would be passed over anyway.
DWORD ExistingFolderBound(DWORD count) {
  RegKey key;
  if (!key.OpenForRead(HKEY_CURRENT_USER, kWatchFoldersKey)) return 0;
  DWORD bound = 0;
  char name[kSubkeyNameBuffer];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof(name);
    const LONG status = RegEnumKeyExA(key.Handle(), index, name, &length, nullptr, nullptr,
                                      nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;  // far longer than any numbered entry
    if (status != ERROR_SUCCESS) break;
    DWORD number = 0;
    if (ParseFolderNumber(name, &number) && number < count && number + 1 > bound) {
      bound = number + 1;
    }
  }
  return bound;
}

}  // namespace

const char kPicturesChangeList[] = "fldrscan2.out";

bool FolderFitsScanLogs(const char* folder, const char* log_prefix, const char* change_list) {
  ScanLogNames names;
  return FormScanLogNames(folder, log_prefix, &names) &&
         std::strlen(log_prefix) + std::strlen(change_list) <= kMaxFileNameLength;
}

void RefreshWatchFolders(bool init_mode) {
  char log_prefix[kRefreshLogPathBuffer] = {};
  if (!ReadLogPrefix(log_prefix, sizeof(log_prefix))) return;
  DWORD count = 0;
  ReadPrefDword(true, "NumFolders", 0, &count, kWatchFoldersKey);
  count = ExistingFolderBound(count);

  for (DWORD i = 0; i < count; ++i) {
    char key_path[kKeyPathBuffer] = {};
    std::snprintf(key_path, sizeof(key_path), "%s\\WatchFolder%lu", kWatchFoldersKey,
                  static_cast<unsigned long>(i));
    DWORD dirty = 0;
    ReadPrefDword(true, "Dirty", 0, &dirty, key_path);
    if (!init_mode && dirty != 1) continue;

    char folder[kFolderBuffer] = {};
    ReadPrefString(true, "Folder", "", folder, sizeof(folder), key_path);
    // Skipped whole, flag included: there is nothing to rescan until the host fixes the entry.
    if (!FolderFitsScanLogs(folder, log_prefix, kWatchChangeList)) continue;

    char name[kSubkeyNameBuffer] = {};
    std::snprintf(name, sizeof(name), "WatchFolder%lu", static_cast<unsigned long>(i));
    SetFolderDirty(name, false);
    RebuildScanLog(folder, log_prefix, init_mode, false, nullptr);
    if (!init_mode) CompareScanLogs(folder, log_prefix, kWatchChangeList, false);
  }

  RefreshPicturesFolder(log_prefix, init_mode);
}

void PurgeFolder(const char* folder) {
  if (!folder) return;
  char log_prefix[kPurgeLogPathBuffer] = {};
  if (!ReadLogPrefix(log_prefix, sizeof(log_prefix))) return;
  if (!FolderFitsScanLogs(folder, log_prefix, kPicturesChangeList)) return;
  RebuildScanLog(folder, log_prefix, false, true, nullptr);
  CompareScanLogs(folder, log_prefix, kPicturesChangeList, true);
}
