#include "plugin/eventcallback.h"

#include <cstdio>

#include "plugin/eventdispatch.h"
#include "plugin/refresh.h"
#include "prefs/prefs.h"

namespace {

constexpr std::size_t kKeyPathBuffer = 512;

void Dispatch(const char* event) {
  const EventRequest request = ClassifyEvent(event);
  switch (request.kind) {
    case EventKind::kTimer:
      RefreshWatchFolders(false);
      break;
    case EventKind::kInitLogs:
      RefreshWatchFolders(true);
      break;
    case EventKind::kChangeNotice:
      SetFolderDirty(request.argument, true);
      break;
    case EventKind::kPurge:
      PurgeFolder(request.argument);
      break;
    case EventKind::kNone:
      break;
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
