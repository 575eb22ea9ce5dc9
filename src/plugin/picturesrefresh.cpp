#include <windows.h>

#include <cstdio>

#include "plugin/eventcallback.h"
#include "plugin/refresh.h"
#include "prefs/prefs.h"
#include "scan/mediatype.h"
#include "scan/scanlog.h"
#include "shellfolders/picturesfolder.h"
#include "shellfolders/widestring.h"
#include "text/bytestring.h"

namespace {

constexpr char kPicturesSubkey[] = "WatchFolderPicture";
constexpr std::size_t kChangeListBuffer = 520;
// The pictures folder's own logs when a numbered folder is the same folder: "<stem>pictures.scan.log"
// and so on. The numbered refresh lists media files, this one images, and each would otherwise
// read the other's lines as files that came and went.
constexpr char kSharedFolderLogKind[] = "pictures.";

}  // namespace

void RefreshPicturesFolder(const char* log_prefix, bool init_mode, ExemptFolderSource* exempt,
                           const QuickWalkRule& quick) {
  char key_path[256] = {};
  std::snprintf(key_path, sizeof(key_path), "%s\\%s", kWatchFoldersKey, kPicturesSubkey);
  DWORD dirty = 0;
  ReadPrefDword(true, "Dirty", 0, &dirty, key_path);
  if (!init_mode && dirty != 1) return;

  // The folder is found afresh at every refresh; its result code says nothing an empty path
  // does not.
  WideString wide_folder;
  GetPicturesFolder(wide_folder);
  ByteString folder;
  if (wide_folder.IsEmpty() || !WideToAnsi(wide_folder.CStr(), folder) || folder.IsEmpty()) return;
  const char* log_kind = SharesNumberedFolderLogs(folder.CStr(), log_prefix) ? kSharedFolderLogKind : nullptr;
  if (!FolderFitsScanLogs(folder.CStr(), log_prefix, kPicturesChangeList, log_kind)) return;

  ByteString image_patterns;
  GetImageExtensions(image_patterns);
  char change_list[kChangeListBuffer] = {};
  if (!ComposeChangeListPath(log_prefix, kPicturesChangeList, change_list, sizeof(change_list))) return;

  ScanLogUpdate update;
  update.patterns = image_patterns.CStr();
  update.exempt = exempt;
  update.change_list = change_list;
  update.removals = true;
  update.log_kind = log_kind;
  // Init mode measures the scan against an empty one, so every picture present is reported; with
  // no log folder yet there is nothing to measure against and nothing is reported.
  update.everything_new = init_mode;
  update.empty_when_unreachable = init_mode;
  update.quick_allowed = quick.allowed;
  update.full_walk_since = quick.full_walk_since;
  // As for the numbered folders: the flag is cleared once the new scan log is in place, or when
  // the folder cannot be listed (its scan logs stay as they were); other failures keep it.
  const ScanLogOutcome outcome = UpdateScanLog(folder.CStr(), log_prefix, update);
  if (outcome == ScanLogOutcome::kUpdated || outcome == ScanLogOutcome::kUnreachable) {
    SetFolderDirty(kPicturesSubkey, false);
  }
}
