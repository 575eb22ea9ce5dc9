// The work behind the host's refresh and purge events.
#pragma once

#include <cstddef>
#include <cstdint>

class ExemptFolderSource;

// Whether this event's rescans may be quick: the host's "QuickRescan" (0: never; missing: yes),
// and the stamp time from which a folder's last full walk counts. The first walk of a folder
// after the module is loaded is a full one, and so is one an hour or more after the last.
struct QuickWalkRule {
  bool allowed = false;
  std::uint64_t full_walk_since = 0;
};
QuickWalkRule ReadQuickWalkRule();

// Timer mode (false) rescans the dirty numbered folders and reports additions to
// "fldrscan.out"; init mode (true) builds the scan logs that are missing. Both end with the
// pictures folder.
void RefreshWatchFolders(bool init_mode);
// Reports every file of the folder's last scan as removed in "fldrscan2.out".
void PurgeFolder(const char* folder);
// The pictures folder's part of a refresh: rescans it when its "Dirty" flag is 1 (in init mode
// always) and reports additions and removals to "fldrscan2.out". exempt: the refresh's exempt
// folder (null: none); quick: the event's rule (none: full walks).
void RefreshPicturesFolder(const char* log_prefix, bool init_mode, ExemptFolderSource* exempt,
                           const QuickWalkRule& quick = QuickWalkRule());

// The change list of purges and of the pictures folder.
extern const char kPicturesChangeList[];

// True when the folder is not empty and it, and every file name made from it and the log prefix,
// fit the buffers of the scan-log code; a folder that does not is skipped, never cut.
bool FolderFitsScanLogs(const char* folder, const char* log_prefix, const char* change_list,
                        const char* log_kind = nullptr);

// True when one of the numbered folders (those the refresh can reach) would write its scan logs
// under the same names as this folder: the same folder in another letter case, with or without its
// trailing backslash.
bool SharesNumberedFolderLogs(const char* folder, const char* log_prefix);

// The change list's full path (prefix + name) into the buffer; false when it does not fit.
bool ComposeChangeListPath(const char* log_prefix, const char* change_list, char* destination,
                           std::size_t size);
