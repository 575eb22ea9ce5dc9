// The live host: watches the folders with the system's change notifications, tells the plug-in
// which folders changed, sends the timer event every interval and prints what the plug-in found.
//
// Notifications are hints, and the loop does not rely on them alone:
// - at start, after "WatchFolders_InitLogs", every numbered folder that already had a scan log (of
//   an earlier run) is rescanned, so that what changed while no host ran is reported;
// - every rescan_every ticks every folder is marked dirty (notifications can be lost, network
//   shares send none, and some systems send none for subfolders);
// - a folder whose watch cannot be set up is marked dirty at every tick, and a watch whose folder
//   was deleted or replaced is set up again on the new folder, which is then rescanned.
#pragma once

#include <string>
#include <vector>

#include "plugin.h"

struct WatchedFolder {
  std::string path;
  std::string notice;  // the event that marks it dirty: "WatchFolder<i>" or "WatchFolderPicture"
};

struct WatchOptions {
  std::string log_path;
  std::vector<WatchedFolder> folders;  // the numbered ones, then the pictures folder if there is one
  size_t numbered = 0;
  unsigned interval_ms = 5000;
  unsigned rescan_every = 0;  // 0: never
  unsigned max_ticks = 0;     // 0: until stopped
  bool verbose = false;
};

// At most this many folders, the pictures folder included: one wait covers them and the stop event.
constexpr size_t kMaxWatchedFolders = 63;

// Runs until Ctrl+C (or a console close) or max_ticks; returns the process exit code.
int RunWatchLoop(const Plugin& plugin, const WatchOptions& options);
