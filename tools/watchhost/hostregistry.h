// The registry settings a host writes for the plug-in, and the flags the plug-in writes back.
//
// Layout (below HKEY_CURRENT_USER):
//   Software\Norvane\Tamblin\1.0\Preferences               "ExemptWatch" (REG_SZ), "SkipFolderScan"
//   ...\Preferences\WatchFolders                           "LogPath" (REG_SZ, ends in '\'), "NumFolders"
//   ...\Preferences\WatchFolders\WatchFolder<i>            "Folder" (REG_SZ), "Dirty" (REG_DWORD)
//   ...\Preferences\WatchFolders\WatchFolderPicture        "Dirty"
//   Software\Norvane\Brisola\12.0\Preferences\PicturesPath (default value, REG_SZ)
#pragma once

#include <string>
#include <vector>

struct HostSettings {
  std::string log_path;              // ends in a backslash
  std::vector<std::string> folders;  // WatchFolder0..N-1
  std::string pictures;              // empty: leave the player's preference alone
  std::string exempt;                // empty: no exempt folder
};

// Writes the settings; folders beyond the new count are removed. False with *problem on failure.
bool WriteHostSettings(const HostSettings& settings, std::string* problem);

// Reads the settings back. Missing values stay empty.
HostSettings ReadHostSettings();

struct DirtyFlag {
  std::string name;  // "WatchFolder0", ..., "WatchFolderPicture"
  bool present;      // the "Dirty" value exists
  unsigned long value;
};
std::vector<DirtyFlag> ReadDirtyFlags();
