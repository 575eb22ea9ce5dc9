#include "plugin/eventcallback.h"

#include <cstdio>
#include <cstring>

#include "plugin/refresh.h"
#include "prefs/prefs.h"

namespace {

constexpr char kTimerEvent[] = "WatchFolders_Timer";
constexpr char kInitLogsEvent[] = "WatchFolders_InitLogs";
constexpr char kChangeNoticePrefix[] = "WatchFolder";
constexpr char kPurgePrefix[] = "Purge";
// "Purge", one separator character whose value does not matter, then the folder path.
constexpr std::size_t kPurgePathOffset = 6;
constexpr std::size_t kKeyPathBuffer = 512;

bool StartsWith(const char* text, const char* prefix) {
  return _strnicmp(text, prefix, std::strlen(prefix)) == 0;
}

void Dispatch(const char* event) {
  // The two whole names also begin with "WatchFolder": they must be tried first.
  if (_stricmp(event, kTimerEvent) == 0) {
    RefreshWatchFolders(false);
  } else if (_stricmp(event, kInitLogsEvent) == 0) {
    RefreshWatchFolders(true);
  } else if (StartsWith(event, kChangeNoticePrefix)) {
    SetFolderDirty(event, true);
  } else if (StartsWith(event, kPurgePrefix)) {
    // Look no further than the terminator: "Purge" and "Purge:" carry no path.
    if (strnlen(event, kPurgePathOffset + 1) > kPurgePathOffset) {
      PurgeFolder(event + kPurgePathOffset);
    }
  }
}

}  // namespace

extern "C" HRESULT __stdcall EventCallback(const char* event) {
  if (!event) return E_POINTER;
  // One event at a time: two host threads refreshing together would rotate and rewrite the same
  // scan logs under each other.
  static SRWLOCK event_lock = SRWLOCK_INIT;
  AcquireSRWLockExclusive(&event_lock);
  // The host sees only 0: nothing thrown below, not even a failed allocation, may reach it.
  try {
    Dispatch(event);
  } catch (...) {
  }
  ReleaseSRWLockExclusive(&event_lock);
  return 0;
}

HRESULT SetFolderDirty(const char* name, bool dirty) {
  if (!name) return E_POINTER;
  DWORD skip = 0;
  ReadPrefDword(true, "SkipFolderScan", 0, &skip, kPreferencesKey);
  if (skip != 0) return 0;

  char key_path[kKeyPathBuffer] = {};
  const int length = std::snprintf(key_path, sizeof(key_path), "%s\\%s", kWatchFoldersKey, name);
  // A name that does not fit is refused whole: a cut name would flag some other folder.
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof(key_path)) return 0;
  WritePrefDword(true, "Dirty", dirty ? 1 : 0, key_path);
  return 0;
}
