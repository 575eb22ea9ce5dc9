// The registry part of watchhost status: the Preferences and WatchFolders keys and the player's
// pictures preference, each value with its type and what the plug-in makes of a missing or
// wrong one.
#pragma once

#include <string>

// Prints the three sections. *log_path is set to "LogPath" and *log_path_known to whether the
// plug-in's files can be found from it (not when it is missing, empty or unusable).
void PrintRegistryStatus(std::string* log_path, bool* log_path_known);
