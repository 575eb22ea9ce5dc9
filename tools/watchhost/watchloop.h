// The live host: watches the folders with the system's change notifications, tells the plug-in
// which folders changed, sends the timer event every interval and prints what the plug-in found.
//
// Notifications are hints: they can be lost (network shares send none), so a watch that cannot
// be set up marks its folder dirty at every tick, and every rescan_every ticks all folders are
// marked dirty anyway.
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
  std::vector<WatchedFolder> folders;
  unsigned interval_ms = 5000;
  unsigned rescan_every = 0;  // 0: never
  unsigned max_ticks = 0;     // 0: until stopped
  bool verbose = false;
};

// Runs until Ctrl+C (or a console close) or max_ticks; returns the process exit code.
int RunWatchLoop(const Plugin& plugin, const WatchOptions& options);
