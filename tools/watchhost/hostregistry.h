// The registry settings a host writes for the plug-in, and the flags the plug-in writes back.
//
// Layout (below HKEY_CURRENT_USER):
//   Software\Norvane\Tamblin\1.0\Preferences               "ExemptWatch" (REG_SZ), "SkipFolderScan" (REG_DWORD)
//   ...\Preferences\WatchFolders                           "LogPath" (REG_SZ, ends in '\'), "NumFolders" (REG_DWORD)
//   ...\Preferences\WatchFolders\WatchFolder<i>            "Folder" (REG_SZ), "Dirty" (REG_DWORD)
//   ...\Preferences\WatchFolders\WatchFolderPicture        "Dirty"
//   Software\Norvane\Brisola\12.0\Preferences\PicturesPath (default value, REG_SZ)
#pragma once

#include <string>
#include <vector>

extern const char kPreferencesKey[];
extern const char kWatchFoldersKey[];
extern const char kPicturesPreferenceKey[];

struct HostSettings {
  std::string log_path;              // ends in a backslash
  std::vector<std::string> folders;  // WatchFolder0..N-1
  std::string pictures;              // empty: no preference, the shell's pictures folder
  std::string exempt;                // empty: no exempt folder
};

// Writes every setting watchhost owns, so that nothing of an earlier run stays in force: the
// folders (numbered entries past the new count removed), the log folder, the exempt folder and
// the pictures preference (removed when not given), and "SkipFolderScan" 0. What it changed
// beyond the given settings is added to *notes. False with *problem on failure.
bool WriteHostSettings(const HostSettings& settings, std::vector<std::string>* notes, std::string* problem);

// "WatchFolder<n>" as the plug-in writes it (decimal, no leading zero): true with *number.
bool ParseNumberedEntry(const std::string& name, unsigned long* number);

// "LogPath" as a REG_SZ, or empty.
std::string ReadLogPath();

// How many entries' "Dirty" is 1 among WatchFolder0..count-1 and WatchFolderPicture: the folders the
// next timer event rescans.
size_t CountDirtyFolders(size_t count);
