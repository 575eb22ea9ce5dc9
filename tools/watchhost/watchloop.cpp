#include "watchloop.h"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "changelists.h"

namespace {

HANDLE g_stop = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  SetEvent(g_stop);
  return TRUE;
}

struct Watch {
  const WatchedFolder* folder = nullptr;
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool reported = false;  // a notice went out since the last tick

  ~Watch() { Close(); }
  void Close() {
    if (handle != INVALID_HANDLE_VALUE) FindCloseChangeNotification(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  bool Arm() {
    if (handle != INVALID_HANDLE_VALUE) return true;
    handle = FindFirstChangeNotificationA(
        folder->path.c_str(), TRUE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
            FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
    return handle != INVALID_HANDLE_VALUE;
  }
};

void Log(const char* what, const std::string& detail) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::printf("%02u:%02u:%02u %s %s\n", now.wHour, now.wMinute, now.wSecond, what, detail.c_str());
  std::fflush(stdout);
}

void SendNotice(const Plugin& plugin, Watch& watch, const char* why, bool verbose) {
  if (watch.reported) return;
  plugin.Send(watch.folder->notice);
  watch.reported = true;
  if (verbose) Log("notice", watch.folder->notice + " (" + why + ")");
}

}  // namespace

int RunWatchLoop(const Plugin& plugin, const WatchOptions& options) {
  // One wait covers the stop event and every watch.
  if (options.folders.size() + 1 > MAXIMUM_WAIT_OBJECTS) {
    std::fprintf(stderr, "watchhost: at most %d folders can be watched\n", MAXIMUM_WAIT_OBJECTS - 1);
    return 2;
  }
  g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  std::vector<std::unique_ptr<Watch>> watches;
  for (const WatchedFolder& folder : options.folders) {
    watches.push_back(std::make_unique<Watch>());
    watches.back()->folder = &folder;
    if (!watches.back()->Arm()) {
      Log("warning", "cannot watch " + folder.path + "; it is rescanned at every tick");
    }
  }

  unsigned tick = 0;
  DWORD next_tick = GetTickCount() + options.interval_ms;
  for (;;) {
    std::vector<HANDLE> handles{g_stop};
    std::vector<Watch*> owners{nullptr};
    for (auto& watch : watches) {
      if (watch->handle != INVALID_HANDLE_VALUE) {
        handles.push_back(watch->handle);
        owners.push_back(watch.get());
      }
    }
    const DWORD now = GetTickCount();
    const DWORD wait = static_cast<LONG>(next_tick - now) > 0 ? next_tick - now : 0;
    const DWORD result =
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, wait);
    if (result == WAIT_OBJECT_0) break;
    if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + handles.size()) {
      Watch* watch = owners[result - WAIT_OBJECT_0];
      SendNotice(plugin, *watch, "changed", options.verbose);
      if (!FindNextChangeNotification(watch->handle)) watch->Close();
      continue;
    }
    if (result == WAIT_FAILED) Sleep(options.interval_ms);

    // A tick: folders without a working watch, and all of them every rescan_every ticks, are
    // marked dirty because their changes may have gone unnoticed.
    ++tick;
    const bool rescan_all = options.rescan_every && tick % options.rescan_every == 0;
    for (auto& watch : watches) {
      if (!watch->Arm()) {
        SendNotice(plugin, *watch, "not watched", options.verbose);
      } else if (rescan_all) {
        SendNotice(plugin, *watch, "periodic rescan", options.verbose);
      }
    }
    plugin.Send("WatchFolders_Timer");
    if (options.verbose) Log("timer", "tick " + std::to_string(tick));
    PrintChanges(ReadChangeLists(options.log_path, true));
    for (auto& watch : watches) watch->reported = false;
    next_tick = GetTickCount() + options.interval_ms;
    if (options.max_ticks && tick >= options.max_ticks) break;
  }

  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  CloseHandle(g_stop);
  g_stop = nullptr;
  return 0;
}
