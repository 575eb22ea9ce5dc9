#include "plugin/refresh.h"

#include <cstdio>
#include <cstring>

#include "plugin/eventcallback.h"
#include "plugin/exemptwatch.h"
#include "platform/directorystamp.h"
#include "prefs/prefs.h"
#include "prefs/regkey.h"
#include "scan/asciifold.h"
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
// A full walk at least this often (100 ns units: one hour), so that stamps are never trusted
// for long without being checked.
constexpr std::uint64_t kFullWalkInterval = 36000000000ull;

// When this load of the module first refreshed (stamp time; 0: not yet). Events arrive one at
// a time, so a plain value does.
std::uint64_t g_first_refresh_time = 0;

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

// The key of numbered entry i.
void FolderKeyPath(DWORD i, char* destination, std::size_t size) {
  std::snprintf(destination, size, "%s\\WatchFolder%lu", kWatchFoldersKey, static_cast<unsigned long>(i));
}

// How many numbered entries the refresh visits: "NumFolders", bounded by the existing entries.
DWORD NumberedFolderCount() {
  DWORD count = 0;
  ReadPrefDword(true, "NumFolders", 0, &count, kWatchFoldersKey);
  return ExistingFolderBound(count);
}

}  // namespace

const char kPicturesChangeList[] = "fldrscan2.out";

QuickWalkRule ReadQuickWalkRule() {
  const std::uint64_t now = CurrentStampTime();
  if (g_first_refresh_time == 0) g_first_refresh_time = now;
  DWORD quick = 1;
  ReadPrefDword(true, "QuickRescan", 1, &quick, kWatchFoldersKey);
  QuickWalkRule rule;
  rule.allowed = quick != 0;
  // A walk made before this load counts for nothing: whatever happened while no host ran is
  // found by a full walk.
  rule.full_walk_since = now > kFullWalkInterval ? now - kFullWalkInterval : 0;
  if (rule.full_walk_since < g_first_refresh_time) rule.full_walk_since = g_first_refresh_time;
  return rule;
}

bool FolderFitsScanLogs(const char* folder, const char* log_prefix, const char* change_list,
                        const char* log_kind) {
  ScanLogNames names;
  return FormScanLogNames(folder, log_prefix, &names, log_kind) &&
         std::strlen(log_prefix) + std::strlen(change_list) <= kMaxFileNameLength;
}

bool SharesNumberedFolderLogs(const char* folder, const char* log_prefix) {
  ScanLogNames own;
  if (!FormScanLogNames(folder, log_prefix, &own)) return false;
  const DWORD count = NumberedFolderCount();
  for (DWORD i = 0; i < count; ++i) {
    char key_path[kKeyPathBuffer] = {};
    FolderKeyPath(i, key_path, sizeof(key_path));
    char numbered[kFolderBuffer] = {};
    ReadPrefString(true, "Folder", "", numbered, sizeof(numbered), key_path);
    ScanLogNames names;
    // The file system takes the names in any letter case.
    if (FormScanLogNames(numbered, log_prefix, &names) && EqualsIgnoringAsciiCase(names.log, own.log)) {
      return true;
    }
  }
  return false;
}

void RefreshWatchFolders(bool init_mode) {
  char log_prefix[kRefreshLogPathBuffer] = {};
  if (!ReadLogPrefix(log_prefix, sizeof(log_prefix))) return;
  const DWORD count = NumberedFolderCount();
  char change_list[kMaxFileNameLength + 1] = {};
  ComposeChangeListPath(log_prefix, kWatchChangeList, change_list, sizeof(change_list));
  // Read once for the event, by the first folder that is walked.
  ExemptWatchSetting exempt;
  const QuickWalkRule quick = ReadQuickWalkRule();

  for (DWORD i = 0; i < count; ++i) {
    char key_path[kKeyPathBuffer] = {};
    FolderKeyPath(i, key_path, sizeof(key_path));
    DWORD dirty = 0;
    ReadPrefDword(true, "Dirty", 0, &dirty, key_path);
    if (!init_mode && dirty != 1) continue;

    char folder[kFolderBuffer] = {};
    ReadPrefString(true, "Folder", "", folder, sizeof(folder), key_path);
    // Skipped whole, flag included: there is nothing to rescan until the host fixes the entry.
    if (!FolderFitsScanLogs(folder, log_prefix, kWatchChangeList)) continue;

    ScanLogUpdate update;
    update.init_mode = init_mode;
    update.empty_when_unreachable = init_mode;
    update.exempt = &exempt;
    update.quick_allowed = quick.allowed;
    update.full_walk_since = quick.full_walk_since;
    if (!init_mode) update.change_list = change_list;
    const ScanLogOutcome outcome = UpdateScanLog(folder, log_prefix, update);
    // The flag is cleared once the new scan log is in place, and when the folder cannot be
    // reached: an offline share would otherwise hold the host's thread for a network time-out at
    // every tick. Its scan log stays as it was, so the next rescan the host asks for reports all
    // that changed meanwhile. Failures that are ours and cheap to retry (a host that dies during
    // the scan, a change list or scan log that cannot be written) leave the flag set, and a later
    // timer does the work again. Notices sent meanwhile wait for this event to finish, so none of
    // them is cleared unseen. Init mode keeps a scan log without looking at the folder, so a flag
    // of 1 (changes not yet reported, perhaps from a host that died in the middle of a timer) is
    // left for the timer rather than cleared unseen.
    const bool done = outcome == ScanLogOutcome::kUpdated || outcome == ScanLogOutcome::kUnreachable ||
                      (outcome == ScanLogOutcome::kKept && dirty != 1);
    if (done) {
      char name[kSubkeyNameBuffer] = {};
      std::snprintf(name, sizeof(name), "WatchFolder%lu", static_cast<unsigned long>(i));
      SetFolderDirty(name, false);
    }
  }

  RefreshPicturesFolder(log_prefix, init_mode, &exempt, quick);
}

void PurgeFolder(const char* folder) {
  if (!folder) return;
  char log_prefix[kPurgeLogPathBuffer] = {};
  if (!ReadLogPrefix(log_prefix, sizeof(log_prefix))) return;
  if (!FolderFitsScanLogs(folder, log_prefix, kPicturesChangeList)) return;
  char change_list[kMaxFileNameLength + 1] = {};
  ComposeChangeListPath(log_prefix, kPicturesChangeList, change_list, sizeof(change_list));
  // The removals are written before the scan log is emptied: a host killed in between purges
  // again and reports them once more rather than never.
  ScanLogUpdate update;
  update.rotate_only = true;
  update.change_list = change_list;
  update.removals = true;
  UpdateScanLog(folder, log_prefix, update);
}

bool ComposeChangeListPath(const char* log_prefix, const char* change_list, char* destination,
                           std::size_t size) {
  const int length = std::snprintf(destination, size, "%s%s", log_prefix, change_list);
  return length >= 0 && static_cast<std::size_t>(length) < size;
}
