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
