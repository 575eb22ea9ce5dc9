// What a player does with the plug-in's change lists: read every entry, act on it, empty the list.
//
// "fldrscan.out" holds one added file per line; "fldrscan2.out" holds added files and, prefixed
// with "-", removed ones. Lines end in CR LF.
#pragma once

#include <string>
#include <vector>

struct ChangeEntry {
  std::string list;  // "fldrscan.out" or "fldrscan2.out"
  bool removed;
  std::string path;
};

// Reads both lists in the log folder (log_path ends in a backslash) and, when consume is set,
// empties them afterwards.
std::vector<ChangeEntry> ReadChangeLists(const std::string& log_path, bool consume);

// Prints "<time> <list> + <path>" or "- <path>" for each entry.
void PrintChanges(const std::vector<ChangeEntry>& entries);

// The plug-in's scan log of a folder: the log path, the folder with a backslash added unless it
// ends in one and every '\' and ':' made '_', then kind ("" or, for the pictures folder when a
// numbered folder is the same folder, "pictures."), then "scan.log". Single-byte code pages only:
// a double-byte character's trail byte can be a backslash the plug-in leaves alone.
std::string ScanLogPath(const std::string& log_path, const std::string& folder, const char* kind);
