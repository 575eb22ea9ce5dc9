#include "watchloop.h"

#include <windows.h>

#include <memory>

#include "changelists.h"
#include "folderwatch.h"
#include "handles.h"
#include "hostregistry.h"
#include "output.h"
#include "progress.h"

namespace {

HANDLE g_stop = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  SetEvent(g_stop);
  return TRUE;
}

std::string Rescanned(size_t folders) { return Format("%zu folder(s) rescanned", folders); }

struct Watched {
  explicit Watched(const WatchedFolder& folder) : watch(folder.path, folder.notice) {}
  FolderWatch watch;
  bool reported = false;   // a notice went out since the last tick
  bool unwatched = false;  // the watch was lost or never set up: changes may have gone unseen
};

class Loop {
 public:
  Loop(const Plugin& plugin, const WatchOptions& options) : plugin_(plugin), options_(options) {}
  int Run();

 private:
  void ArmAll();
  void CheckWatches();
  void CheckPicturesScanned(const std::string& pictures) const;
  void Notice(Watched& watched, const char* why);
  // Sends a refresh event with progress reports and prints what it gave and what it cost.
  void Refresh(const char* event, const std::string& label, const std::string& scanned);

  const Plugin& plugin_;
  const WatchOptions& options_;
  std::vector<std::unique_ptr<Watched>> watched_;
};

void Loop::Notice(Watched& watched, const char* why) {
  if (watched.reported) return;
  plugin_.Send(watched.watch.notice());
  watched.reported = true;
  if (options_.verbose) Stamped("notice %s (%s)\n", watched.watch.notice().c_str(), why);
}

void Loop::ArmAll() {
  size_t numbered = 0;
  bool pictures = false;
  for (size_t i = 0; i < options_.folders.size(); ++i) {
    watched_.push_back(std::make_unique<Watched>(options_.folders[i]));
    DWORD error = 0;
    if (watched_.back()->watch.Arm(&error)) {
      if (i < options_.numbered) ++numbered;
      else pictures = true;
      continue;
    }
    watched_.back()->unwatched = true;
    Err("watchhost: warning: cannot watch %s now (error %lu); it is rescanned at every tick until it can be\n",
        options_.folders[i].path.c_str(), static_cast<unsigned long>(error));
  }
  std::string what = "watching " + (numbered == options_.numbered ? std::to_string(numbered)
                                                                   : Format("%zu of %zu", numbered, options_.numbered)) +
                     " folder(s)";
  if (options_.folders.size() > options_.numbered) {
    what += pictures ? " and the pictures folder" : " (the pictures folder cannot be watched now)";
  }
  Out("%s; a tick every %u s, logs in %s\n", what.c_str(), options_.interval_ms / 1000, options_.log_path.c_str());
}

void Loop::CheckWatches() {
  for (auto& watched : watched_) {
    FolderWatch& watch = watched->watch;
    if (watch.Armed() && !watch.StillSameFolder()) {
      watch.Disarm();
      watched->unwatched = true;
      Stamped("%s is gone or was replaced; it is watched again once it is there\n", watch.path().c_str());
    }
    DWORD error = 0;
    if (!watch.Arm(&error)) {
      Notice(*watched, "not watched");
    } else if (watched->unwatched) {
      // Whatever happened while it was not watched was not seen: a rescan catches up.
      watched->unwatched = false;
      Stamped("watching %s again\n", watch.path().c_str());
      Notice(*watched, "watched again");
    }
  }
}

// The init event scans the pictures folder the plug-in found; when that is not the one watched
// here (its preference was refused, or the shell answers it otherwise), the user is told.
void Loop::CheckPicturesScanned(const std::string& pictures) const {
  for (const char* kind : {"", "pictures."}) {
    if (GetFileAttributesA(ScanLogPath(options_.log_path, pictures, kind).c_str()) != INVALID_FILE_ATTRIBUTES) return;
  }
  Err("watchhost: warning: the plug-in wrote no scan log for %s at init: it may use another pictures folder "
      "(see watchhost status)\n", pictures.c_str());
}

void Loop::Refresh(const char* event, const std::string& label, const std::string& scanned) {
  const ULONGLONG start = GetTickCount64();
  {
    EventProgress progress(event, options_.log_path, kProgressPeriodMs);
    plugin_.Send(event);
  }
  const double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
  const std::vector<ChangeEntry> entries = ReadChangeLists(options_.log_path, true);
  PrintChanges(entries);
  Stamped("%s: %s, %zu entr%s read, %.2f s\n", label.c_str(), scanned.c_str(), entries.size(),
          entries.size() == 1 ? "y" : "ies", seconds);
  for (auto& watched : watched_) watched->reported = false;
}

int Loop::Run() {
  ArmAll();
  // The numbered folders with a scan log of an earlier run: the init event keeps those logs as
  // they are, so what changed while no host ran is found by a rescan right after it.
  std::vector<Watched*> earlier;
  for (size_t i = 0; i < options_.numbered; ++i) {
    if (GetFileAttributesA(ScanLogPath(options_.log_path, options_.folders[i].path, "").c_str()) !=
        INVALID_FILE_ATTRIBUTES) {
      earlier.push_back(watched_[i].get());
    }
  }
  // Init lists the whole pictures folder and writes the first scan of each new folder.
  const size_t first_scans = options_.numbered - earlier.size();
  const bool pictures = options_.folders.size() > options_.numbered;
  Refresh("WatchFolders_InitLogs", "init",
          Format("%zu first scan(s)%s", first_scans, pictures ? " and the pictures folder listed in full" : ""));
  if (pictures) CheckPicturesScanned(options_.folders.back().path);
  for (Watched* watched : earlier) Notice(*watched, "start-up rescan");
  if (!earlier.empty()) {
    Refresh("WatchFolders_Timer", "start-up rescan", Rescanned(CountDirtyFolders(options_.numbered)));
  }

  unsigned tick = 0;
  ULONGLONG next_tick = GetTickCount64() + options_.interval_ms;
  for (;;) {
    std::vector<HANDLE> handles{g_stop};
    std::vector<Watched*> owners{nullptr};
    for (auto& watched : watched_) {
      if (watched->watch.Armed()) {
        handles.push_back(watched->watch.handle());
        owners.push_back(watched.get());
      }
    }
    const ULONGLONG now = GetTickCount64();
    const DWORD wait = next_tick > now ? static_cast<DWORD>(next_tick - now) : 0;
    const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, wait);
    if (result == WAIT_OBJECT_0) break;
    if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + handles.size()) {
      Watched* watched = owners[result - WAIT_OBJECT_0];
      Notice(*watched, "changed");
      // A watch that cannot go on is set up again at the next tick.
      if (!watched->watch.Continue()) watched->unwatched = true;
      continue;
    }
    if (result == WAIT_FAILED) Sleep(options_.interval_ms);

    ++tick;
    CheckWatches();
    if (options_.rescan_every && tick % options_.rescan_every == 0) {
      for (auto& watched : watched_) Notice(*watched, "periodic rescan");
    }
    Refresh("WatchFolders_Timer", "tick " + std::to_string(tick), Rescanned(CountDirtyFolders(options_.numbered)));
    next_tick = GetTickCount64() + options_.interval_ms;
    if (options_.max_ticks && tick >= options_.max_ticks) break;
  }
  return 0;
}

}  // namespace

int RunWatchLoop(const Plugin& plugin, const WatchOptions& options) {
  KernelHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  g_stop = stop.Get();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  const int code = Loop(plugin, options).Run();
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  g_stop = nullptr;
  return code;
}
