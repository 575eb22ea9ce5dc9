#include <windows.h>

#include <cstdio>

#include "plugin/eventcallback.h"
#include "plugin/refresh.h"
#include "prefs/prefs.h"
#include "scan/compare.h"
#include "scan/mediatype.h"
#include "scan/scanlog.h"
#include "shellfolders/picturesfolder.h"
#include "shellfolders/widestring.h"
#include "text/bytestring.h"

namespace {

constexpr char kPicturesSubkey[] = "WatchFolderPicture";

// Leaves an empty scan log in place, so that the rebuild rotates it into the previous scan log
// and the comparison reports every picture now present as an addition. No directories are made
// for it: when the log folder is missing, the rebuild creates it and there is nothing to compare.
void CreateEmptyScanLog(const char* folder, const char* log_prefix) {
  ScanLogNames names;
  if (!FormScanLogNames(folder, log_prefix, &names)) return;
  if (FILE* file = std::fopen(names.log, "w")) std::fclose(file);
}

}  // namespace

void RefreshPicturesFolder(const char* log_prefix, bool init_mode) {
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
  if (!FolderFitsScanLogs(folder.CStr(), log_prefix, kPicturesChangeList)) return;

  SetFolderDirty(kPicturesSubkey, false);
  ByteString image_patterns;
  GetImageExtensions(image_patterns);
  if (init_mode) CreateEmptyScanLog(folder.CStr(), log_prefix);
  RebuildScanLog(folder.CStr(), log_prefix, false, false, image_patterns.CStr());
  CompareScanLogs(folder.CStr(), log_prefix, kPicturesChangeList, true);
}
